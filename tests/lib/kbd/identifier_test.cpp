// The keyboard identifier: its probe, the class each keyboard type selects, and answers too
// short to read.
#include "KbdBench.h"
#include "Oracle_1C_1D.h"

namespace kbdbench {
namespace {

class Identifier : public KbdBench {
protected:
    void SetUp() override {
        KbdBench::SetUp();
        slot_->requested.clear();
    }
    void TearDown() override {
        oracle_.reset();
        KbdBench::TearDown();
    }
    // A new identifier: link reset, then the probe answered with `answer`.
    void identify(const Bytes& answer) {
        oracle_ = std::make_unique<OnBench<Oracle_1C_1D>>(&adapter_);
        Bytes rec = linkrec::received(kPort, kAddress, 0x0F);
        oracle_->ProcessInput(rec.data(), static_cast<int>(rec.size()));
        rec = linkrec::received(kPort, kAddress, 0x63);
        oracle_->ProcessInput(rec.data(), static_cast<int>(rec.size()));
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
        const int ns = oracle_->GetReceiveSequence(), nr = oracle_->GetSendSequence();
        rec = linkrec::received(kPort, kAddress, static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1), answer);
        oracle_->ProcessInput(rec.data(), static_cast<int>(rec.size()));
    }
    std::unique_ptr<OnBench<Oracle_1C_1D>> oracle_;
};

TEST_F(Identifier, EachKeyboardTypeSelectsItsClass) {
    struct Case {
        unsigned char type, info6;
        long cls;
    };
    const Case cases[] = {
        {1, 0x00, 16100}, {1, 0x10, 16700}, {2, 0x00, 16100}, {3, 0x00, 16200}, {4, 0x00, 16300},
        {5, 0x00, 16400}, {6, 0x00, 16800}, {10, 0x00, 17200}, {11, 0x00, 17300}, {12, 0x00, 17500},
        {28, 0x00, 17400},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.type));
        slot_->requested.clear();
        ASSERT_NO_FATAL_FAILURE(identify({0x00, 0x04, 0x10, 0x00, 0x10, k.type, k.info6, 0x00, 0x21}));
        EXPECT_EQ(slot_->requested, std::vector<long>{k.cls});
        // The slot refused: the identifier stays and acknowledges the answer.
        std::vector<linkrec::Sent> f = sent();
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].control & 0x1F, 0x01);
    }
    EXPECT_EQ(Oracle_1C_1D::TypeFor(7, 0), 0);
}

TEST_F(Identifier, ShortAndBadAnswersAreLoggedAndNameNoClass) {
    struct Case {
        Bytes answer;
        uint32_t log;
    };
    const Case cases[] = {
        {{0x00, 0x04, 0x10}, 16001},
        {{0x00, 0x04, 0x10, 0x00}, 16005},
        {{0x00, 0x04, 0x10, 0x00, 0x10, 0x02}, 16005},
        {{0x80, 0x00, 0x10, 0x00}, 16002},
        {{0x00, 0x80, 0x10, 0x00}, 16003},
        {{0x00, 0x04, 0x10, 0x00, 0x11, 0x07, 0x00}, 16004},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.log);
        ovkhost::clearCaptures();
        ASSERT_NO_FATAL_FAILURE(identify(k.answer));
        EXPECT_TRUE(ovkhost::errorLogged(k.log));
        EXPECT_TRUE(slot_->requested.empty());
        EXPECT_EQ(sent().size(), 1u);
    }
}

} // namespace
} // namespace kbdbench
