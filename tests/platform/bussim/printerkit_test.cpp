// The printer kit of the simulated bus: a station with the test printer answers commands
// with its status, records commands and printed lines, loses scripted frames, asks to come
// online again after a reset command, reports scripted changes unasked, and takes the
// printer commands of ovksim.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "busstation.h"
#include "ovkhost.h"
#include "ovksimconfig.h"
#include "ovksimcontrol.h"
#include "testprintermodel.h"

namespace {

using namespace bussim;
using Bytes = std::vector<uint8_t>;

class PrinterStation : public ::testing::Test {
protected:
    PrinterStation() : station_(0x11, 0x36, std::make_unique<TestPrinterModel>()) {}

    TestPrinterModel& model() { return static_cast<TestPrinterModel&>(station_.model()); }

    // Brings the link to normal mode: ROL, SNRM, NSA.
    void online() {
        ASSERT_EQ(station_.poll()->control, ctl::kROL);
        station_.receive(LinkFrame{ctl::kSNRM, {}, false});
        ASSERT_EQ(station_.poll()->control, ctl::kNSA);
        ns_ = nr_ = 0;
    }
    // One command from the host, then the station's answer to one poll.
    std::optional<LinkFrame> send(const Bytes& payload) {
        station_.receive(LinkFrame{ctl::info(ns_, nr_), payload, false});
        ns_ = (ns_ + 1) & 7;
        std::optional<LinkFrame> answer = station_.poll();
        if (answer && ctl::isInfo(answer->control)) nr_ = (ctl::ns(answer->control) + 1) & 7;
        return answer;
    }

    Station station_;
    int ns_ = 0, nr_ = 0;
};

TEST_F(PrinterStation, AnswersPrintsAndRecords) {
    online();
    const std::optional<LinkFrame> a = send({0x01, 0x00, 'H', 'I', 0x07});
    ASSERT_TRUE(a && ctl::isInfo(a->control));
    EXPECT_EQ(ctl::nr(a->control), 1); // acknowledges the command
    EXPECT_EQ(a->data, (Bytes{0x01, 0x00}));
    send({0x02, 0x01, 0x02});  // two empty lines on the journal
    send({0x03});              // cut
    EXPECT_EQ(send({0x09})->data, (Bytes{0x80, 0x00})); // unknown: rejected
    ASSERT_EQ(model().lines(PrinterModel::CR).size(), 1u);
    EXPECT_EQ(model().lines(PrinterModel::CR)[0], "HI"); // non-printable bytes dropped
    EXPECT_EQ(model().lineCount(PrinterModel::SJ), 2u);
    EXPECT_EQ(model().cuts(), 1);
    EXPECT_EQ(model().commandCount(), 4u);
    EXPECT_EQ(model().commands().front(), (Bytes{0x01, 0x00, 'H', 'I', 0x07}));
}

TEST_F(PrinterStation, KeepsTheNewestCommandsAndLinesAndCountsThemAll) {
    online();
    for (int i = 0; i < 4100; ++i) {
        const std::string n = std::to_string(i);
        Bytes c{0x01, 0x02};
        c.insert(c.end(), n.begin(), n.end());
        send(c);
    }
    EXPECT_EQ(model().commandCount(), 4100u);
    EXPECT_EQ(model().commands().size(), PrinterModel::kCommandLimit);
    EXPECT_EQ(model().commands().front(), (Bytes{0x01, 0x02, '4'}));
    EXPECT_EQ(model().lineCount(PrinterModel::DI), 4100u);
    EXPECT_EQ(model().lines(PrinterModel::DI).front(), "4");
    EXPECT_EQ(model().lines(PrinterModel::DI).back(), "4099");
}

TEST_F(PrinterStation, ALostFrameIsNeitherAnsweredNorAcknowledgedNorCounted) {
    online();
    model().dropNext(1);
    EXPECT_FALSE(send({0x01, 0x00, 'A'}).has_value());
    EXPECT_EQ(station_.vr(), 0);
    EXPECT_EQ(model().commandCount(), 0u);
    // The host resets the sequence and sends the line again: now it prints.
    station_.receive(LinkFrame{ctl::kSNRM, {}, false});
    ASSERT_EQ(station_.poll()->control, ctl::kNSA);
    ns_ = nr_ = 0;
    EXPECT_EQ(send({0x01, 0x00, 'A'})->data, (Bytes{0x01, 0x00}));
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 1u);
}

TEST_F(PrinterStation, AResetCommandIsAnsweredWithARequestOnline) {
    online();
    const int before = model().resets();
    EXPECT_EQ(send({0x05})->control, ctl::kROL); // not acknowledged
    EXPECT_EQ(station_.link(), Station::Link::PowerOn);
    EXPECT_EQ(model().resets(), before + 1);
    station_.receive(LinkFrame{ctl::kSNRM, {}, false});
    EXPECT_EQ(station_.poll()->control, ctl::kNSA);
    ns_ = nr_ = 0;
    EXPECT_EQ(send({0x04})->data, (Bytes{0x01, 0x00}));
}

TEST_F(PrinterStation, ScriptedChangesGoOutUnaskedAndRejectsAnswerTheNextCommands) {
    online();
    EXPECT_TRUE(model().setPaper(PrinterModel::SJ, true));
    EXPECT_FALSE(model().setPaper(PrinterModel::SJ, true));
    EXPECT_FALSE(model().setPaper(3, true));
    EXPECT_TRUE(model().setCover(true));
    EXPECT_TRUE(model().setDocument(true));
    station_.tick(0);
    std::optional<LinkFrame> report = station_.poll();
    ASSERT_TRUE(report && ctl::isInfo(report->control));
    EXPECT_EQ(report->data, (Bytes{0x00, 0x02 | 0x08 | 0x10}));
    nr_ = 1;
    station_.tick(0); // nothing more due
    // A line on the journal without paper is rejected; the script rejects the next two.
    EXPECT_EQ(send({0x01, 0x01, 'X'})->data[0], 0x80);
    model().rejectNext(2);
    EXPECT_EQ(send({0x04})->data[0], 0x80);
    EXPECT_EQ(send({0x04})->data[0], 0x80);
    EXPECT_EQ(send({0x04})->data[0], 0x01);
}

// --- ovksim commands ------------------------------------------------------------------------

class PrinterCommands : public ::testing::Test {
protected:
    static TerminalFile terminal() {
        TerminalFile f;
        std::string error;
        EXPECT_TRUE(parseTerminalFile("slot 1 rs485 type 5 kind 5 ports 2\n"
                                      "station 1 0x11 0x36 testprinter\n"
                                      "station 1 0x11 0x54 drawer\n", f, error)) << error;
        return f;
    }
    static ModelRegistry models() {
        ModelRegistry r;
        registerBuiltinModels(r);
        return r;
    }
    void SetUp() override {
        ovkhost::useManualClock(true);
        std::string error;
        ASSERT_TRUE(sim_.attachStations(file_.stations, error)) << error;
    }
    void TearDown() override { ovkhost::useManualClock(false); }

    TerminalFile file_ = terminal();
    Simulator sim_{file_, models()};
};

TEST_F(PrinterCommands, ScriptAndReadThePrinter) {
    struct Case {
        const char* command;
        const char* reply;
    } cases[] = {
        {"paper 1 0x11 0x36 cr out", "ok paper cr out"},
        {"paper 1 0x11 0x36 cr out", "error no change"},
        {"paper 1 0x11 0x36 xx out", "error usage: paper <slot> <port> <address> <cr|sj|di> <out|in>"},
        {"paper 1 0x11 0x36 cr", "error usage: paper <slot> <port> <address> <cr|sj|di> <out|in>"},
        {"cover 1 0x11 0x36 open", "ok cover open"},
        {"cover 1 0x11 0x36 shut", "error usage: cover <slot> <port> <address> <open|closed>"},
        {"document 1 0x11 0x36 in", "ok document in"},
        {"document 1 0x11 0x36 out", "ok document out"},
        {"reject 1 0x11 0x36", "ok reject 1"},
        {"reject 1 0x11 0x36 3", "ok reject 4"},
        {"reject 1 0x11 0x36 -1", "error usage: reject <slot> <port> <address> [n]"},
        {"drop 1 0x11 0x36 2", "ok drop 2"},
        {"printed 1 0x11 0x36", "ok cr 0 sj 0 di 0"},
        {"printed 1 0x11 0x36 sj", "ok 0"},
        {"printed 1 0x11 0x36 xx", "error usage: printed <slot> <port> <address> [cr|sj|di]"},
        {"payloads 1 0x11 0x36", "ok 0"},
        {"counts 1 0x11 0x36", "ok commands=0 cr=0 sj=0 di=0"},
        {"paper 1 0x11 0x54 cr out", "error drawer at 1.11.54 takes no command paper"},
        {"paper 1 0x11 0x37 cr out", "error no station at 1.11.37"},
    };
    for (const Case& c : cases) EXPECT_EQ(sim_.execute(c.command), c.reply) << c.command;
    const std::string models = sim_.execute("models");
    EXPECT_NE(models.find("testprinter(counts,cover,document,drop,paper,payloads,printed,reject)"),
              std::string::npos) << models;
}

} // namespace
