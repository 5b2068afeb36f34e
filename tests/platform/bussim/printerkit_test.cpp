// The printer kit of the simulated bus: a station with the test printer answers commands
// with its status, records commands and printed lines, loses scripted frames, asks to come
// online again after a reset command, reports scripted changes unasked, and takes the
// printer commands of ovksim.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "busstation.h"
#include "m3fprintermodel.h"
#include "ovkhost.h"
#include "ovksimconfig.h"
#include "ovksimcontrol.h"
#include "p6397model.h"
#include "sycrc.h"
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

// --- the model-6397 printer ----------------------------------------------------------------

class P6397Station : public ::testing::Test {
protected:
    void make(const P6397Model::Options& options = {}) {
        station_ = std::make_unique<Station>(0x11, 0x35, std::make_unique<P6397Model>(options));
        ASSERT_EQ(station_->poll()->control, ctl::kROL);
        station_->receive(LinkFrame{ctl::kSNRM, {}, false});
        ASSERT_EQ(station_->poll()->control, ctl::kNSA);
        ns_ = nr_ = 0;
    }
    P6397Model& model() { return static_cast<P6397Model&>(station_->model()); }
    // One command; the answer's data (empty when none came).
    Bytes send(const Bytes& payload) {
        station_->receive(LinkFrame{ctl::info(ns_, nr_), payload, false});
        ns_ = (ns_ + 1) & 7;
        std::optional<LinkFrame> answer = station_->poll();
        if (!answer || !ctl::isInfo(answer->control)) return {};
        nr_ = (ctl::ns(answer->control) + 1) & 7;
        return answer->data;
    }
    static Bytes status(uint8_t b0 = 0x01, uint8_t b1 = 0x47, uint8_t b2 = 0, uint8_t b4 = 0) {
        return {b0, b1, b2, 0, b4, 0, 0, 0};
    }
    static Bytes plus(Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    std::unique_ptr<Station> station_;
    int ns_ = 0, nr_ = 0;
};

TEST_F(P6397Station, AnswersItsQueries) {
    P6397Model::Options o;
    o.serial = "ABCDEFGH";
    make(o);
    const struct Case {
        const char* what;
        Bytes command;
        Bytes answer;
    } cases[] = {
        {"device information", {0x00, 0x00, 0x01}, plus(status(0x01, 0x47, 0, 0x01), {0x30, 0x04, 0x03, 0x00, 0x14})},
        {"status request", {0x00, 0x20, 0x00}, status()},
        {"code page", {0x1B, 0x53, 0x50}, plus(status(0x01, 0x47, 0, 0x08), {0x03, 0x5A})},
        {"serial 0-1", {0x1B, 0x53, 0x69}, plus(status(0x01, 0x47, 0, 0x08), {'A', 'B'})},
        {"serial 6-7", {0x1B, 0x53, 0x6C}, plus(status(0x01, 0x47, 0, 0x08), {'G', 'H'})},
        {"MCT 0x56", {0x1B, 0x53, 0x56}, plus(status(0x01, 0x47, 0, 0x08), {0x00, 0x00})},
        {"logo checksum", {0x1B, 0x22, 0x01}, plus(status(0x01, 0x47, 0, 0x08), {0x00, 0x00})},
        {"firmware step", {0x1B, 0x29, 0x00, 0x1B, 0x23, 0x01}, status(0x01, 0x47, 0x80)},
        {"firmware step alone", {0x1B, 0x23, 0x05}, status(0x01, 0x47, 0x80)},
        {"flash write", {0x1B, 0x27, 0x02, 0x00, 0x01, 0x00, 0xAA, 0xBB}, status(0x01, 0x47, 0x80)},
        {"flash read", {0x1B, 0x34, 0x03, 0x00, 0x01, 0x00}, plus(status(0x01, 0x47, 0, 0x10), {0xAA, 0xBB, 0xFF})},
        {"flash size", {0x1B, 0x34, 0x08, 0xFF, 0xFF, 0xFF}, plus(status(0x01, 0x47, 0, 0x10), {'0', '0', '0', '6', '5', '5', '3', '6'})},
        {"chase 82", {0x07, 0x1B, 0x53, 0x0A}, status(0x01, 0x47, 0, 0x02)},
        {"chase 159", {0x1B, 0x3D, 0x99}, status(0x01, 0x47, 0, 0x02)},
        {"chase 19", {0x1B, 0x00, 0x80, 0x00}, status(0x01, 0x47, 0, 0x02)},
    };
    for (const Case& c : cases) EXPECT_EQ(send(c.command), c.answer) << c.what;
    // The flash survives a reset.
    EXPECT_TRUE(send({0x00, 0x40, 0x00}).empty()); // answered with ROL
    EXPECT_EQ(station_->link(), Station::Link::PowerOn);
    station_->receive(LinkFrame{ctl::kSNRM, {}, false});
    ASSERT_EQ(station_->poll()->control, ctl::kNSA);
    ns_ = nr_ = 0;
    EXPECT_EQ(model().flashByte(0x100), 0xAA);
    EXPECT_EQ(model().resets(), 2);
}

TEST_F(P6397Station, LongDeviceInformationBringsTheSixteenByteStatus) {
    P6397Model::Options o;
    o.info = Bytes(15, 0x11);
    make(o);
    const Bytes a = send({0x00, 0x00, 0x01});
    ASSERT_EQ(a.size(), 31u);
    EXPECT_EQ(a[4], 0x01);
    EXPECT_EQ(Bytes(a.begin() + 16, a.end()), Bytes(15, 0x11));
}

TEST_F(P6397Station, PrintsTextOnTheSelectedStationSkippingCommands) {
    make();
    send({'H', 'E', 'L', 'L', 'O', 0x0A});
    send({0x1B, 0x63, 0x30, 0x01, 0x1B, 0x63, 0x31, 0x01, 'J', 0x1B, 0x61, 0x41, 'N', 0x0A});
    send({0x1B, 0x63, 0x30, 0x04, 0x1B, 0x63, 0x31, 0x04, 'D', 0x0A, 0x1B, 0x6D});
    send({0x1B, 0x63, 0x30, 0x80, 0x1B, 0x63, 0x31, 0x03, 'B', 0x1D, 0x2F, 0x01, 0x02, 0x0A});
    // The set-up commands of an acquire (tab stops: 16-bit positions up to a zero pair), each as
    // long as the printer takes it, then a line.
    send({0x1B, 0x63, 0x34, 0x3C, 0x1B, 0x29, 0x10, 0x1B, 0x29, 0x00, 0x1B, 0x44, 0x00, 0x64, 0x01, 0x2C,
          0x00, 0x00, 'S', 'E', 'T', 0x0A});
    EXPECT_EQ(model().lines(PrinterModel::CR), (std::deque<std::string>{"HELLO", "B", "SET"}));
    EXPECT_EQ(model().lines(PrinterModel::SJ), (std::deque<std::string>{"JN"}));
    EXPECT_EQ(model().lines(PrinterModel::DI), (std::deque<std::string>{"D"}));
}

// A frame that ends in a chase is print data too: every line in it is printed.
TEST_F(P6397Station, LinesInAFrameEndingInAChaseArePrinted) {
    make();
    const Bytes chased = status(0x01, 0x47, 0, 0x02);
    EXPECT_EQ(send({'A', 0x0A, 'B', 0x0A, 0x07, 0x1B, 0x53, 0x0A}), chased);
    EXPECT_EQ(send({'C', 0x0A, 0x1B, 0x3D, 0x99}), chased);
    EXPECT_EQ(send({'D', 0x0A, 0x1B, 0x00, 0x80, 0x00}), chased);
    EXPECT_EQ(send({0x1B, 0x53, 0x0A}), plus(status(0x01, 0x47, 0, 0x08), {0x00, 0x00})); // an MCT read
    EXPECT_EQ(model().lines(PrinterModel::CR), (std::deque<std::string>{"A", "B", "C", "D"}));
}

TEST_F(P6397Station, ScriptedStateShowsInTheStatusBytes) {
    make();
    const struct Case {
        const char* what;
        std::function<void(P6397Model&)> script;
        Bytes answer; // to the status request afterwards
    } cases[] = {
        {"paper out CR", [](P6397Model& m) { m.setPaper(PrinterModel::CR, true); }, status(0x01, 0x43)},
        {"paper out SJ and DI", [](P6397Model& m) { m.setPaper(PrinterModel::SJ, true); m.setPaper(PrinterModel::DI, true); }, status(0x01, 0x40)},
        {"cover open", [](P6397Model& m) { m.setCover(true); }, status(0x41, 0x40)},
        {"document out", [](P6397Model& m) { m.setDocument(false); }, status(0x61, 0x40)},
        {"busy and full", [](P6397Model& m) { m.setFault(P6397Model::kFaultBusy, true); m.setFault(P6397Model::kFaultFull, true); }, status(0x61, 0xC0, 0x02)},
        {"error, printer, eeprom", [](P6397Model& m) { m.clearFaults(); m.setFault(P6397Model::kFaultError, true); m.setFault(P6397Model::kFaultPrinter, true); m.setFault(P6397Model::kFaultEeprom, true); }, status(0x61, 0x40, 0x0D)},
        {"status byte", [](P6397Model& m) { m.clearFaults(); m.setStatusByte(3, 0x99); }, Bytes{0x61, 0x40, 0, 0x99, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        station_->receive(LinkFrame{ctl::rr(nr_), {}, false}); // the last answer is taken
        c.script(model());
        // The change reports itself unasked (byte 0 bit 0 clear), then answers carry it.
        station_->tick(0);
        std::optional<LinkFrame> report = station_->poll();
        ASSERT_TRUE(report && ctl::isInfo(report->control)) << c.what;
        nr_ = (ctl::ns(report->control) + 1) & 7;
        Bytes unasked = c.answer;
        unasked[0] &= 0xFE;
        EXPECT_EQ(report->data, unasked) << c.what;
        EXPECT_EQ(send({0x00, 0x20, 0x00}), c.answer) << c.what;
    }
    model().rejectNext(1);
    EXPECT_EQ(send({'X', 0x0A})[0], 0xE0);
    EXPECT_EQ(model().lineCount(PrinterModel::CR), 0u);
}

TEST_F(P6397Station, KeepsLogosReadsMicrAndReportsImages) {
    P6397Model::Options o;
    o.feature = 0x04;
    make(o);
    const Bytes erase = {0x1B, 0x29, 0x00, 0x1B, 0x23, 0x01};
    EXPECT_EQ(send(erase), status(0x01, 0x47, 0x80));
    send({0x1D, 0x2A, 0x01, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8});
    send({0x1B, 0x2E, 9, 10, 11, 12, 13, 14, 15, 16});
    const Bytes stored = {0x01, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(model().logoMemory(), stored);
    const uint16_t crc = CalculateCRC(stored.data(), static_cast<int>(stored.size()));
    EXPECT_EQ(send({0x1B, 0x22, 0x01}),
              plus(status(0x01, 0x47, 0, 0x08), {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)}));
    send({0x1B, 0x2E, 0x41, 0x0A}); // not after logo data: printed
    EXPECT_EQ(model().logoMemory().size(), stored.size());

    // MICR: the code line after a status byte.
    model().setCodeLine({'7', '7'});
    EXPECT_EQ(send({0x1B, 0x49}), plus(status(0x01, 0x47, 0, 0x04), {0x00, '7', '7'}));

    // Images: unasked reports, then their locations.
    EXPECT_EQ(send({0x1D, 0x4E, 0x01, 0x01}), plus(status(0x01, 0x47, 0, 0x08), {0, 0}));
    ASSERT_TRUE(model().scanData({0xAB}, false));
    ASSERT_TRUE(model().scanData({0, 0, 0, 1}, true));
    for (uint8_t bit : {uint8_t(0x80), uint8_t(0x40)}) {
        station_->receive(LinkFrame{ctl::rr(nr_), {}, false});
        station_->tick(0);
        std::optional<LinkFrame> report = station_->poll();
        ASSERT_TRUE(report && ctl::isInfo(report->control));
        nr_ = (ctl::ns(report->control) + 1) & 7;
        EXPECT_EQ(report->data[0] & 0x01, 0);
        EXPECT_EQ(report->data[4], bit);
    }
    EXPECT_EQ(send({0x1D, 0x4E, 0x01, 0x00}), plus(status(0x01, 0x47, 0, 0x08), {0, 2}));
    EXPECT_EQ(send({0x1D, 0x4E, 0x01, 0x01}), plus(status(0x01, 0x47, 0, 0x08), {0, 1}));

    // The logos survive a reset; the erase empties them.
    send({0x00, 0x40, 0x00});
    station_->receive(LinkFrame{ctl::kSNRM, {}, false});
    ASSERT_EQ(station_->poll()->control, ctl::kNSA);
    ns_ = nr_ = 0;
    EXPECT_EQ(model().logoMemory(), stored);
    send(erase);
    EXPECT_EQ(send({0x1B, 0x22, 0x01}), plus(status(0x01, 0x47, 0, 0x08), {0, 0}));
}

TEST_F(P6397Station, WithoutImagingNoScanIsReported) {
    make();
    EXPECT_FALSE(model().scanData({1}, false));
    EXPECT_EQ(send({0x1D, 0x4E, 0x01, 0x00}), status()); // printed as a command, answered plainly
}

// --- ovksim commands ------------------------------------------------------------------------

class PrinterCommands : public ::testing::Test {
protected:
    static TerminalFile terminal() {
        TerminalFile f;
        std::string error;
        EXPECT_TRUE(parseTerminalFile("slot 1 rs485 type 5 kind 5 ports 2\n"
                                      "station 1 0x11 0x36 testprinter\n"
                                      "station 1 0x11 0x54 drawer\n"
                                      "station 1 0x11 0x35 p6397 subtype=6 serial=ABCDEFGH\n", f, error)) << error;
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
        {"paper 1 0x11 0x35 di out", "ok paper di out"},
        {"status 1 0x11 0x35 12 21", "ok status 12 21"},
        {"status 1 0x11 0x35 16 21", "error usage: status <slot> <port> <address> <byte 0-15> <hex>"},
        {"fault 1 0x11 0x35 busy", "ok fault busy"},
        {"fault 1 0x11 0x35 clear", "ok fault clear"},
        {"fault 1 0x11 0x35 fire", "error usage: fault <slot> <port> <address> <error|printer|eeprom|busy|full|clear>"},
        {"mct 1 0x11 0x35 0x50 932", "ok mct 80 932"},
        {"mct 1 0x11 0x35 256 1", "error usage: mct <slot> <port> <address> <index 0-255> <value 0-65535>"},
        {"status 1 0x11 0x36 0 00", "error testprinter at 1.11.36 takes no command status"},
        {"micr 1 0x11 0x35 313233", "ok micr 313233"},
        {"micr 1 0x11 0x35 zz", "error usage: micr <slot> <port> <address> <hex, at most 200 bytes>"},
        {"scan 1 0x11 0x35 01", "error the printer has no imaging (feature=0x04)"},
        {"scandone 1 0x11 0x35", "error usage: scandone <slot> <port> <address> <hex, at most 240 bytes>"},
        {"flash 1 0x11 0x35 0x100 2", "ok ffff"},
        {"flash 1 0x11 0x35 0x100 0", "error usage: flash <slot> <port> <address> <address> <count 1-4096>"},
        {"logos 1 0x11 0x35", "ok checksum 0000 bytes 0"},
        {"attach 1 0x22 0x36 p6397 feature=4", "ok attached 1.22.36 p6397"},
        {"scan 1 0x22 0x36 0102", "ok scan 0102"},
        {"attach 1 0x22 0x35 p6397 serial=ABC", "error p6397: option serial must be 8 characters"},
        {"attach 1 0x22 0x35 p6397 info=0102", "error p6397: option info must be 5 to 64 hex bytes"},
    };
    for (const Case& c : cases) EXPECT_EQ(sim_.execute(c.command), c.reply) << c.command;
    const std::string models = sim_.execute("models");
    EXPECT_NE(models.find("testprinter(counts,cover,document,drop,paper,payloads,printed,reject)"),
              std::string::npos) << models;
}

// The fiscal printer reports itself unasked every 2 s until it is identified, also while
// the clock wraps (past 2^31 and past 2^32).
TEST(M3FPrinterStation, ReportsUnaskedEveryTwoSecondsAcrossTheWrap) {
    for (const int32_t start : {int32_t{1000}, INT32_MAX - 1000, int32_t{-1000}}) {
        SCOPED_TRACE(start);
        Station station(0x11, 0x38, std::make_unique<M3FPrinterModel>(M3FPrinterModel::Options{}));
        ASSERT_EQ(station.poll()->control, ctl::kROL);
        station.receive(LinkFrame{ctl::kSNRM, {}, false});
        ASSERT_EQ(station.poll()->control, ctl::kNSA);
        // An information frame at the next poll, acknowledged at once.
        auto unasked = [&station] {
            std::optional<LinkFrame> f = station.poll();
            if (!f || !ctl::isInfo(f->control)) return false;
            station.receive(LinkFrame{ctl::rr(ctl::ns(f->control) + 1), {}, false});
            return true;
        };
        station.tick(start);
        EXPECT_TRUE(unasked());
        station.tick(chTimeAdd(start, 1999));
        EXPECT_FALSE(unasked());
        station.tick(chTimeAdd(start, 2000));
        EXPECT_TRUE(unasked());
    }
}

} // namespace
