// The simulated cash-drawer unit on its own: answers, recorded commands, script changes.
#include <gtest/gtest.h>

#include <vector>

#include "drawermodel.h"

namespace {

using bussim::DrawerModel;
using Bytes = std::vector<uint8_t>;

class Link : public bussim::ModelLink {
public:
    void send(const Bytes& payload) override { sent.push_back(payload); }
    std::vector<Bytes> take() {
        std::vector<Bytes> out;
        out.swap(sent);
        return out;
    }
    std::vector<Bytes> sent;
};

TEST(DrawerModel, AnswersEachCommandWithItsStatus) {
    struct Case {
        Bytes command;
        Bytes answer;
    };
    // Each row runs on the state the rows before it left.
    const Case cases[] = {
        {{0x00, 0x80}, {0x00, 0x18, 0x21}},                         // status, with the EC level
        {{0x80, 0x01, 0x86, 0xA0, 0x00, 0x13, 0x88}, {0x00, 0x08, 0x21}}, // pulse times
        {{0x01}, {0x40, 0x08, 0x21}},                               // drawer 1 opens
        {{0x02}, {0x60, 0x08, 0x21}},                               // drawer 2 opens
        {{0x06}, {0x61, 0x08, 0x21}},                               // alarm sounds
        {{0x08}, {0x60, 0x08, 0x21}},                               // and is silenced
        {{0x05}, {0xE0, 0x00, 0x21}},                               // unknown: rejected
        {{0x80, 0x01}, {0xE0, 0x00, 0x21}},                         // short pulse command
        {{}, {0xE0, 0x00, 0x21}},
    };
    DrawerModel m;
    Link link;
    std::vector<Bytes> commands;
    for (const Case& c : cases) {
        m.receive(c.command, link);
        EXPECT_EQ(link.take(), std::vector<Bytes>{c.answer});
        commands.push_back(c.command);
    }
    EXPECT_EQ(m.received(), commands);
    EXPECT_EQ(m.pulseTime(1), 100000u);
    EXPECT_EQ(m.pulseTime(2), 5000u);
    EXPECT_TRUE(m.drawerOpen(1));
    EXPECT_TRUE(m.drawerOpen(2));
    EXPECT_FALSE(m.alarmSounding());
}

TEST(DrawerModel, UnpluggedPartsRefuseTheirCommands) {
    DrawerModel m({false, false, 0x30});
    Link link;
    m.receive({0x00, 0x80}, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x18, 0x18, 0x30}}));
    for (const Bytes& cmd : {Bytes{0x01}, Bytes{0x02}, Bytes{0x06}}) {
        m.receive(cmd, link);
        EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x98, 0x00, 0x30}}));
    }
    EXPECT_FALSE(m.openDrawer(1));
    EXPECT_FALSE(m.alarmSounding());
}

TEST(DrawerModel, ScriptChangesAreReportedOnceAtTheNextTick) {
    DrawerModel m;
    Link link;
    EXPECT_TRUE(m.openDrawer(1));
    EXPECT_FALSE(m.openDrawer(1)); // already open
    EXPECT_FALSE(m.openDrawer(3));
    m.tick(0, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x40, 0x00, 0x21}}));
    m.tick(10, link);
    EXPECT_TRUE(link.take().empty());

    EXPECT_TRUE(m.closeDrawer(1));
    EXPECT_FALSE(m.closeDrawer(2)); // not open
    m.tick(20, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x00, 0x00, 0x21}}));

    // Unplugging drawer 2 stops the alarm with it.
    m.receive({0x06}, link);
    link.take();
    EXPECT_TRUE(m.setConnected(2, false));
    EXPECT_FALSE(m.alarmSounding());
    m.tick(30, link);
    EXPECT_EQ(link.take(), (std::vector<Bytes>{{0x08, 0x00, 0x21}}));

    // A change already told in an answer is not reported again.
    EXPECT_TRUE(m.setConnected(2, true));
    m.receive({0x00, 0x80}, link);
    link.take();
    m.tick(40, link);
    EXPECT_TRUE(link.take().empty());
}

TEST(DrawerModel, PowerOnSilencesTheAlarmAndForgetsThePulseTimes) {
    DrawerModel m;
    Link link;
    m.receive({0x80, 0x00, 0x00, 0x05, 0x00, 0x00, 0x06}, link);
    m.receive({0x06}, link);
    m.receive({0x01}, link);
    m.reset();
    EXPECT_EQ(m.resets(), 1);
    EXPECT_FALSE(m.alarmSounding());
    EXPECT_TRUE(m.drawerOpen(1)); // a drawer stays as it is
    EXPECT_EQ(m.pulseTime(1), 80000u);
    EXPECT_EQ(m.pulseTime(2), 80000u);
}

} // namespace
