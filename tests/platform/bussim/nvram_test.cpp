// Simulated NVRAM: memory kept in files across simulator restarts, a file of the wrong size
// refused, planned power cuts; the NVRAM stations' answers and the adapter's NVRAM requests
// of the driver node; the control commands of both.
#include <gtest/gtest.h>

#include <cstring>

#include "busengine.h"
#include "nvrammodel.h"
#include "nvramstore.h"
#include "ovksimcontrol.h"
#include "TempRoot.h"

namespace bussim {
namespace {

struct Recorder : ModelLink {
    void send(const std::vector<uint8_t>& payload) override { sent.push_back(payload); }
    std::vector<std::vector<uint8_t>> sent;
};

TEST(NvramStore, KeptInAFileReadBackAndRefusedAtAnotherSize) {
    TempRoot root;
    const std::string path = root.at("/memory");
    {
        NvramStore store(16);
        std::string error;
        ASSERT_TRUE(store.attachFile(path, error)) << error;
        EXPECT_EQ(store.read(0, 16), std::vector<uint8_t>(16, 0));
        const uint8_t bytes[3] = {1, 2, 3};
        EXPECT_TRUE(store.write(5, bytes, 3));
    }
    NvramStore again(16);
    std::string error;
    ASSERT_TRUE(again.attachFile(path, error)) << error;
    EXPECT_EQ(again.read(4, 5), (std::vector<uint8_t>{0, 1, 2, 3, 0}));
    NvramStore other(32);
    EXPECT_FALSE(other.attachFile(path, error));
    EXPECT_NE(error.find("holds 16 bytes, not the 32"), std::string::npos) << error;
}

TEST(NvramStore, PlannedCutAppliesWholeWritesThenPartOfTheNext) {
    NvramStore store(8);
    store.planCut(1, 2);
    const uint8_t a[3] = {1, 1, 1}, b[3] = {2, 2, 2};
    EXPECT_TRUE(store.write(0, a, 3));
    EXPECT_FALSE(store.write(4, b, 3));
    EXPECT_TRUE(store.cut());
    EXPECT_FALSE(store.write(0, b, 3)); // gone
    EXPECT_EQ(store.read(0, 8), (std::vector<uint8_t>{1, 1, 1, 0, 2, 2, 0, 0}));
}

TEST(NvramModelAnswers, CommandsOfTheJournalledNvram) {
    NvramModel m({NvramModel::Kind::Ocr, 0x21});
    Recorder link;
    struct Case {
        std::vector<uint8_t> command;
        std::vector<uint8_t> answer;
    } cases[] = {
        {{0x00, 0x80}, {0x01, 0x40, 0x21, 0, 0, 0, 0}},
        {{0x03, 0x00, 0x4C, 0x02, 0x00, 0xAA, 0xBB}, {0x29, 0, 0, 0, 0, 0}},
        {{0x40, 0x00, 0x0C, 0x02, 0x00, 0x00, 0x4C}, {0x29, 0, 0, 0, 0, 0}},
        {{0x02, 0x00, 0x0C, 0x02, 0x00}, {0x29, 0, 0, 0, 2, 0, 0xAA, 0xBB}},
        {{0x03, 0x00, 0x0B, 0x01, 0x00, 0x01}, {0x29, NvramModel::kErrorAddress, 0, 0, 0, 0}}, // below
        {{0x03, 0x0F, 0x50, 0x02, 0x00, 1, 2}, {0x29, NvramModel::kErrorAddress, 0, 0, 0, 0}},  // past the end
        {{0x03, 0x00, 0x0C, 0x00, 0x00}, {0x29, NvramModel::kErrorLength, 0, 0, 0, 0}},        // length 0
        {{0x03, 0x00, 0x0C, 0x01, 0x04}, {0x29, NvramModel::kErrorLength, 0, 0, 0, 0}},        // too long
        {{0x03, 0x00, 0x0C, 0x03, 0x00, 1}, {0x29, NvramModel::kErrorLength, 0, 0, 0, 0}},     // data missing
        {{0x80, 0x00, 0x00}, {0x29, 0, 0, 0, 0, 0}},
        {{0x77}, {0xA9, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        link.sent.clear();
        m.receive(c.command, link);
        ASSERT_EQ(link.sent.size(), 1u);
        EXPECT_EQ(link.sent[0], c.answer) << hexBytes(c.command);
    }
    EXPECT_TRUE(m.powerOff());
    EXPECT_EQ(m.received().size(), sizeof cases / sizeof cases[0]);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(m.dump(0xC00, 2, bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAA, 0xBB}));
}

TEST(NvramModelAnswers, CutStationGoesSilent) {
    NvramModel m({NvramModel::Kind::Cop, 0x10});
    Recorder link;
    m.planCut(0, 1);
    m.receive({0x03, 0x00, 0x01, 0x02, 0x41, 0x42}, link);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_TRUE(m.silent());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(m.dump(0x100, 2, bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x41, 0x00}));
}

TEST(AdapterNvram, NodeMovesRecordsWithinTheMemoryAndDropsAfterACut) {
    TempRoot root;
    TerminalFile file;
    std::string error;
    ASSERT_TRUE(parseTerminalFile("slot 1 rs485 type 5 kind 5 nvramsize 4096 journal 100\n"
                                  "station 1 0x11 0x51 nvocr\n", file, error)) << error;
    ModelRegistry models;
    registerBuiltinModels(models);
    Simulator sim(file, std::move(models));
    ASSERT_TRUE(sim.persistIn(root.at("/var/lib/ovksim"), error)) << error;
    ASSERT_TRUE(sim.attachStations(file.stations, error)) << error;

    BusEngine& node = sim.engine();
    int fd = -1;
    ASSERT_EQ(node.open("/dev/ovkdcs", fd), 0);
    std::vector<uint8_t> info(56, 0);
    info[4] = 1;
    node.ioctl(fd, req::kNvramInfo, info.data(), info.size());
    uint32_t size = 0, journal = 0;
    std::memcpy(&size, &info[48], 4);
    std::memcpy(&journal, &info[20], 4);
    EXPECT_EQ(size, 4096u);
    EXPECT_EQ(journal, 100u);

    auto transfer = [&](unsigned long request, uint32_t offset, uint32_t length, const char* data) {
        std::vector<uint8_t> rec(2064, 0);
        rec[4] = 1;
        std::memcpy(&rec[8], &offset, 4);
        std::memcpy(&rec[12], &length, 4);
        if (data) std::memcpy(&rec[16], data, length);
        node.ioctl(fd, request, rec.data(), rec.size());
        return rec;
    };
    EXPECT_EQ(transfer(req::kNvramWrite, 10, 3, "abc")[0], 0);
    EXPECT_EQ(sim.execute("addump 1 9 5"), "ok 0061626300");
    EXPECT_NE(transfer(req::kNvramWrite, 4094, 3, "xyz")[0], 0); // past the end
    EXPECT_NE(transfer(req::kNvramRead, 0, 2049, nullptr)[0], 0); // more than a record holds
    const std::vector<uint8_t> back = transfer(req::kNvramRead, 10, 3, nullptr);
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(std::string(back.begin() + 16, back.begin() + 19), "abc");

    EXPECT_EQ(sim.execute("nvdump 1 0x11 0x51 0xc00 2"), "ok 0000");
    EXPECT_EQ(sim.execute("nvcut 1 0x11 0x51 1"), "ok cut after 1 writes and 0 bytes");
    EXPECT_EQ(sim.execute("adcut 1 0 2").substr(0, 2), "ok");
    EXPECT_NE(transfer(req::kNvramWrite, 20, 3, "def")[0], 0);
    EXPECT_TRUE(node.dropped());
    EXPECT_EQ(sim.execute("addump 1 20 3"), "ok 646500");
    node.close(fd);

    // A restarted simulator finds the memory again.
    Simulator again(file, ModelRegistry());
    ASSERT_TRUE(again.persistIn(root.at("/var/lib/ovksim"), error)) << error;
    EXPECT_EQ(again.execute("addump 1 9 5"), "ok 0061626300");
}

} // namespace
} // namespace bussim
