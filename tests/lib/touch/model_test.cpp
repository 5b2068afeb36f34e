// The simulated touch controllers on their own: answers, scripts, tones, restarts.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ovkhost.h"
#include "touchmodel.h"

namespace {

using bussim::TouchModel;
using Bytes = std::vector<uint8_t>;

class Link : public bussim::ModelLink {
public:
    void send(const Bytes& payload) override { sent.push_back(payload); }
    void requestOnline() override { ++restarts; }
    std::vector<Bytes> take() {
        std::vector<Bytes> out;
        out.swap(sent);
        return out;
    }
    std::vector<Bytes> sent;
    int restarts = 0;
};

TouchModel::Options Opts(TouchModel::Kind kind) {
    TouchModel::Options o;
    o.kind = kind;
    o.id = kind == TouchModel::Kind::Elo ? 19 : 16;
    return o;
}

TEST(TouchModel, Touch95AnswersItsCommands) {
    struct Case {
        Bytes command;
        std::vector<Bytes> answers;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x01}, {{0x00, 0x04, 0x00, 0x00, 0x0D, 16, 0x50, 0x88, 0x02}}},
        {{0x22, 0x02, 0xAA, 0xBB}, {{0x00, 0x20, 0x00, 0x00}}},
        {{0x22, 0x05, 0xAA}, {{0x00, 0x80, 0x00, 0x00}}}, // length does not match
        {{0x21, 0x51, 0x22, 0x00}, {{0x00, 0x40, 0x00, 0x00}}},
        {{0x24, 0x20, 0x07, 0x08}, {{0x00, 0x10, 0x00, 0x00}}},
        {{0x26, 0x01, 0x05}, {{0x00, 0x00, 0x40, 0x00}}},
        {{0x27}, {{0x00, 0x00, 0x80, 0x00, 0x05}}},
        {{0x13, 0x20, 0x00}, {{0x00, 0x00, 0x01, 0x00}}}, // continuous tone on
        {{0x13, 0x40, 0x00}, {{0x00, 0x00, 0x00, 0x00}}}, // off
        {{0x33, 'S', 'X', 0, 0, 0, 0, 0, 0}, {{0x00, 0x80, 0x00, 0x00}}}, // not this one's
        {{}, {{0x00, 0x80, 0x00, 0x00}}},
    };
    TouchModel m(Opts(TouchModel::Kind::Touch95));
    Link link;
    for (const Case& c : cases) {
        m.receive(c.command, link);
        EXPECT_EQ(link.take(), c.answers);
    }
    EXPECT_EQ(m.commands().size(), sizeof cases / sizeof cases[0]);
    EXPECT_EQ(m.codeBlocks(), (std::vector<Bytes>{{0xAA, 0xBB}}));
    EXPECT_EQ(m.state(), "tone=off configure=21512200 backlight=24200708 brightness=5 calibrating=0 blocks=1");
    // The reset restarts the controller: no answer, the station asks to come online.
    m.receive({0x00, 0x40}, link);
    EXPECT_TRUE(link.take().empty());
    EXPECT_EQ(link.restarts, 1);
}

TEST(TouchModel, TimedToneEndsByItselfAndIsReported) {
    // Also when the clock wraps while it sounds (past 2^31 and past 2^32).
    for (const int32_t start : {int32_t{1000}, INT32_MAX - 10, int32_t{-15}}) {
        SCOPED_TRACE(start);
        TouchModel m(Opts(TouchModel::Kind::Touch95));
        Link link;
        m.tick(start, link);
        m.receive({0x13, 0x0C, 0x02}, link);
        EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x00, 0x00, 0x01, 0x00}}));
        m.tick(chTimeAdd(start, 19), link);
        EXPECT_TRUE(link.take().empty());
        m.tick(chTimeAdd(start, 20), link);
        EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x00, 0x00, 0x00, 0x00}}));
        EXPECT_FALSE(m.toneSounding());
    }
}

TEST(TouchModel, EloScalesPassesThroughAndReportsCalibration) {
    TouchModel m(Opts(TouchModel::Kind::Elo));
    Link link;
    m.receive({0x33, 'S', 'Y', 0x3F, 0x01, 0, 0, 0, 0}, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x00, 0x02, 0x08, 0x00}}));
    m.receive({0x43, 0x03, 0x01, 'R', 0x0D}, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x00, 0x02, 0x00, 0x00},
                                               {0x00, 0x00, 0x00, 0x00, 0x01, '0', 0x0D}}));
    m.receive({0x43, 0x04, 0x01, 'C', 'X', 0x0D}, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x00, 0x02, 0x00, 0x00}}));
    EXPECT_TRUE(m.calibrating());
    for (const Bytes& c : {Bytes{0x22, 0x00}, Bytes{0x27}, Bytes{0x26, 0x01, 0x00},
                           Bytes{0x43, 0x09, 0x01, 'C', 0x0D}})
        m.receive(c, link);
    EXPECT_EQ(link.take(), std::vector<Bytes>(4, Bytes{0x00, 0x80, 0x00, 0x00}));

    m.calibrationPoint(true);
    m.calibrationPoint(false);
    m.calibrationDone();
    m.touch(0x1234, 0x0178);
    m.lift(1, 2);
    EXPECT_TRUE(link.sent.empty()); // sent at the next tick
    m.tick(0, link);
    EXPECT_EQ(link.take(),
              (std::vector<Bytes>{{0, 0, 0, 0, 0x01, '1', 0x0D},
                                  {0, 0, 0, 0, 0x01, '2', 0x0D},
                                  {0, 0, 0, 0, 0x01, '0', 0x0D},
                                  {0, 0, 0, 0, 'T', 1, 0x34, 0x12, 0x78, 0x01, 0, 0},
                                  {0, 0, 0, 0, 'T', 4, 0x01, 0x00, 0x02, 0x00, 0, 0}}));
    EXPECT_FALSE(m.calibrating());
}

TEST(TouchModel, FaultsAndRecordsOfTouch95) {
    TouchModel m(Opts(TouchModel::Kind::Touch95));
    Link link;
    m.touch(0x20, 0x10);
    m.lift(0x21, 0x11);
    EXPECT_TRUE(m.fault("overflow"));
    EXPECT_TRUE(m.fault("diag"));
    EXPECT_TRUE(m.fault("reject"));
    EXPECT_FALSE(m.fault("smoke"));
    m.tick(0, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0, 0, 0, 0, 0xFE, 0x20, 0x10, 0x00},
                                               {0, 0, 0, 0, 0xFD, 0x21, 0x11, 0x00},
                                               {0x80, 0, 0, 0},
                                               {0x02, 0, 0, 0},
                                               {0, 0x80, 0, 0}}));
    // A controller that does not answer still records.
    m.setAnswering(false);
    m.receive({0x00, 0x00, 0x01}, link);
    EXPECT_TRUE(link.take().empty());
    EXPECT_EQ(m.commands().back(), (Bytes{0x00, 0x00, 0x01}));
}

} // namespace
