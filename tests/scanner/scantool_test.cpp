// The scanner set-up program's layers in process on a scripted port: port settings, the omni
// and line protocols, the command line; and the Linux port's read bursts on a pseudo-terminal.
#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ConfigObject.h"
#include "LineScanner.h"
#include "LinuxSerialPort.h"
#include "OmniScanner.h"
#include "ScriptedSerialPort.h"
#include "TempRoot.h"
#include "Util.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const Bytes kOmniAck{0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C};
const Bytes kLineAck{0x02, 0x00, 0x06, 0x00, 0x03};
const Bytes kAutoSyncDone{0x02, 0x00, 0x0C, 0x00, 0x03};

ConfigObject Options(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("ovkscantool")};
    for (std::string& a : args) argv.push_back(&a[0]);
    return ConfigObject(static_cast<int>(argv.size()), argv.data());
}

// The text of the thrown error ("" when none).
template <typename F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (ZelException* e) {
        std::string text = e->getMessage();
        delete e;
        return text;
    }
    return "";
}

TEST(ScanToolPortData, ConfigurationsInTheOrderTheyAreTried) {
    LineScannerPortData line;
    OmniScannerPortData omni;
    ASSERT_EQ(line.getSupportedSerialPortConfigs().size(), 140u);
    ASSERT_EQ(omni.getSupportedSerialPortConfigs().size(), 80u);
    EXPECT_STREQ(line.getDefaultPortConfig()->toString(), "baud=19200 parity=N data=8 stop=1");
    EXPECT_STREQ(line.getSupportedSerialPortConfigs()[1]->toString(), "baud=57600 parity=N data=8 stop=1");
    EXPECT_STREQ(line.getSupportedSerialPortConfigs()[7]->toString(), "baud=19200 parity=O data=8 stop=1");
    EXPECT_STREQ(line.getSupportedSerialPortConfigs()[35]->toString(), "baud=19200 parity=N data=7 stop=1");
    EXPECT_STREQ(line.getSupportedSerialPortConfigs()[70]->toString(), "baud=19200 parity=N data=8 stop=2");
    EXPECT_STREQ(omni.getDefaultPortConfig()->toString(), "baud=9600 parity=N data=8 stop=1");
    EXPECT_EQ(omni.getSupportedSerialPortConfig(57600), nullptr);
    ASSERT_NE(line.getSupportedSerialPortConfig(38400), nullptr);
    EXPECT_EQ(line.getSupportedSerialPortConfig(38400)->getBaudRate().scannerCode, 9);
    // An index outside a table gives its first entry.
    EXPECT_STREQ(omni.getSupportedBaudRateData(99).name, "9600");
    EXPECT_EQ(line.getSupportedDataBits(-1), '8');
}

TEST(ScanToolUtil, HexAndAsciiTexts) {
    EXPECT_EQ(Util::toHexString(Bytes{0x34, 0x0A}), "34/0A/");
    EXPECT_EQ(Util::toHexString(Bytes{}), " ");
    EXPECT_EQ(Util::toASCIIString(Bytes{'4', 'A', '0', 0x00}), "4 0 ");
}

class OmniTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.answer = [](const Bytes&, ScriptedSerialPort& p) { p.queue(kOmniAck); };
    }
    ScriptedSerialPort port;
    ConfigObject options = Options({});
};

TEST_F(OmniTest, DetectedOnlyWhenCtsFollowsRts) {
    OmniScanner scanner(&port, &options);
    EXPECT_EQ(ErrorOf([&] { scanner.detect(); }), "");
    port.ctsStuckHigh = true;
    EXPECT_EQ(ErrorOf([&] { scanner.detect(); }), "Omni Scanner not detected");
}

TEST_F(OmniTest, ASettingPassesAtTheSecondAnswerNotTheFirst) {
    OmniScanner scanner(&port, &options);
    OmniScannerPortData data;
    SerialPortConfig* config = data.getDefaultPortConfig();
    int beeps = 0;
    port.answer = [&](const Bytes&, ScriptedSerialPort& p) {
        if (++beeps == 5) p.queue(kOmniAck); // one answer in the eight tries
    };
    EXPECT_EQ(ErrorOf([&] { scanner.testCommunication(config); }), "Test failed");
    EXPECT_EQ(beeps, 8);
    beeps = 0;
    port.answer = [&](const Bytes&, ScriptedSerialPort& p) {
        if (++beeps >= 3) p.queue(kOmniAck);
    };
    EXPECT_EQ(ErrorOf([&] { scanner.testCommunication(config); }), "");
    EXPECT_EQ(beeps, 4);
    EXPECT_EQ(port.written.back(), (Bytes{0x05, 0xE6, 0x04, 0x00, 0x00, 0xFF, 0x11}));
}

TEST_F(OmniTest, RequestedBaudRateGoesIntoThePermanentParameters) {
    struct Case {
        std::vector<std::string> args;
        Bytes tail; // bytes 6, 19 and 20
        const char* rate;
        bool notSupported;
    };
    const Case cases[] = {
        {{"-b38400"}, {0x08, 0xF9, 0x77}, "38400", false},
        {{}, {0x06, 0xF9, 0x79}, "9600", false},
        {{"-b57600"}, {0x06, 0xF9, 0x79}, "9600", true},
    };
    for (const Case& c : cases) {
        ConfigObject o = Options(c.args);
        OmniScanner scanner(&port, &o);
        port.written.clear();
        CaptureStdout();
        EXPECT_EQ(ErrorOf([&] { scanner.setDefaults(); }), "");
        const std::string out = GetCapturedStdout();
        ASSERT_EQ(port.written.size(), 1u);
        const Bytes& sent = port.written[0];
        ASSERT_EQ(sent.size(), 21u);
        EXPECT_EQ((Bytes{sent[6], sent[19], sent[20]}), c.tail) << c.rate;
        EXPECT_NE(out.find(std::string("value=\"") + c.rate + "\"/>"), std::string::npos) << out;
        EXPECT_EQ(out.find("*Requested baudrate not supported") != std::string::npos, c.notSupported) << out;
    }
}

TEST_F(OmniTest, DecodedBarCodesAndTheirAcknowledgement) {
    OmniScanner scanner(&port, &options);
    port.answer = nullptr;
    struct Case {
        unsigned char type;
        const char* name;
    };
    for (const Case c : {Case{0x0A, "EAN8"}, Case{0x0B, "EAN13"}, Case{0x08, "UPCA"}, Case{0x09, "UPCE"},
                         Case{0x33, "UNKNOWN"}}) {
        port.written.clear();
        port.queue({0x09, 0xF3, 0x00, 0x00, c.type, '1', '2', '3', '4', 0xAA, 0xBB});
        std::unique_ptr<Barcode> code(scanner.scan());
        EXPECT_EQ(code->toString(), c.name);
        EXPECT_EQ(code->getData(), (Bytes{'1', '2', '3', '4'}));
        EXPECT_EQ(port.written, std::vector<Bytes>{kOmniAck});
    }
    port.queue({0x06, 0x22, 0x00, 0x00, 0x0A, 0x00, 0x00});
    EXPECT_EQ(ErrorOf([&] { delete scanner.scan(); }), "No barcode decoded.");
    port.queue({0x09, 0xF3, 0x00});
    EXPECT_EQ(ErrorOf([&] { delete scanner.scan(); }), "No valid omni scanner packet readed");
    // A length byte beyond what came: the data stop at the bytes received.
    port.queue({0xFF, 0xF3, 0x00, 0x00, 0x0B, '9', '8'});
    EXPECT_EQ(ErrorOf([&] { delete scanner.scan(); }), "No valid omni scanner packet readed");
    port.queue({0x07, 0xF3, 0x00, 0x00, 0x0B, '9', '8', '7', '6'});
    std::unique_ptr<Barcode> cut(scanner.scan());
    EXPECT_EQ(cut->getData(), (Bytes{'9', '8'}));
}

TEST_F(OmniTest, RevisionAnswer) {
    OmniScanner scanner(&port, &options);
    port.answer = [](const Bytes&, ScriptedSerialPort& p) {
        p.queue({0x10, 0xA4, 0x00, 0x00, 'R', '1', '.', '2', ' ', 'F', 0x00, 0x48, 0x00, 0x12, 0x34, 0x00, 0x00, 0x00});
    };
    EXPECT_EQ(scanner.requestFirmware(),
              "Software Revision: R1.2\nBoard Type: Flashable\nEngine: SE 3223 Standard\nProgram checksum: 0x1234");
    // Fields past the packet's end read as zero rather than past the bytes received.
    port.answer = [](const Bytes&, ScriptedSerialPort& p) {
        p.queue({0x09, 0xA4, 0x00, 0x00, 'R', '9', ' ', 'X', 0x00, 0x48, 0x12, 0x34});
    };
    EXPECT_EQ(scanner.requestFirmware(),
              "Software Revision: R9\nBoard Type: Unknown  (X)\nEngine: Unknown (0x00)\nProgram checksum: 0x0000");
    port.answer = [](const Bytes&, ScriptedSerialPort& p) { p.queue({0x06, 0xA5, 0x00, 0x00, 0x00, 0x00}); };
    EXPECT_EQ(ErrorOf([&] { scanner.requestFirmware(); }), "REPLY_REVISION not received");
}

class LineTest : public ::testing::Test {
protected:
    void SetUp() override { LineScanner::resetProtocolState(); }
    void TearDown() override { LineScanner::resetProtocolState(); }
    ScriptedSerialPort port;
    ConfigObject options = Options({});
};

TEST_F(LineTest, StuffingAndChecksum) {
    LineScanner scanner(&port, &options);
    const unsigned char body[] = {0x01, 0x03, 0x10, 0x02};
    EXPECT_EQ(scanner.encodeDLE(body, 4), (Bytes{0x02, 0x01, 0x10, 0x43, 0x10, 0x50, 0x10, 0x42, 0x03}));
    Bytes frame{0x02, 0x10, 0x43, 0x41, 0x03};
    EXPECT_EQ(scanner.decodeDLE(frame.data(), 5), 2);
    EXPECT_EQ((Bytes{frame[0], frame[1]}), (Bytes{0x03, 0x41}));
    const unsigned char three[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(scanner.calcCheckSum(three, 3), 10u);
    // Both delimiters are needed; a lone DLE at the end escapes nothing.
    for (Bytes bad : {Bytes{0x02, 0x41}, Bytes{0x41, 0x03}, Bytes{0x03}}) {
        EXPECT_EQ(ErrorOf([&] { scanner.decodeDLE(bad.data(), static_cast<int>(bad.size())); }), "Invalid packet");
    }
    Bytes lone{0x02, 0x41, 0x10, 0x03};
    EXPECT_EQ(scanner.decodeDLE(lone.data(), 4), 1);
}

TEST_F(LineTest, ReadPortSplitsBurstsIntoPackets) {
    LineScanner scanner(&port, &options);
    port.queue({0x55, 0x02, 0x00, 0x06, 0x00, 0x03, 0x03, 0x02, 0x00, 0x0C, 0x00, 0x03});
    unsigned char buffer[300];
    ASSERT_EQ(scanner.readPort(buffer), 5);
    EXPECT_EQ(Bytes(buffer, buffer + 5), kLineAck);
    ASSERT_EQ(scanner.readPort(buffer), 5);
    EXPECT_EQ(Bytes(buffer, buffer + 5), kAutoSyncDone);
    // Nothing more: a time-out is a malformed packet here.
    EXPECT_EQ(ErrorOf([&] { scanner.readPort(buffer); }), "Malformed line packet received.");
    port.queue({0x02, 0x00, 0x03});
    EXPECT_EQ(ErrorOf([&] { scanner.readPort(buffer); }), "Malformed line packet received.");
    port.queue({0x02, 0x00, 0x06, 0x00});
    EXPECT_EQ(ErrorOf([&] { scanner.readPort(buffer); }), "Malformed line packet received.");
}

// Answers every command frame with the acknowledgement and a reply packet.
void AckAndReply(const Bytes& reply, ScriptedSerialPort& port) {
    port.answer = [reply](const Bytes& written, ScriptedSerialPort& p) {
        if (written == kLineAck) return;
        Bytes burst = kLineAck;
        burst.insert(burst.end(), reply.begin(), reply.end());
        p.queue(burst);
    };
}

TEST_F(LineTest, CommandFramesCarryTheFrameNumbers) {
    LineScanner scanner(&port, &options);
    AckAndReply({0x02, 0x00, 0x11, 0x00, 0x03}, port);
    const unsigned char enable[] = {0x42, 0x20, 0x40, 0x01};
    std::vector<unsigned char> controls;
    for (int i = 0; i < 10; ++i) {
        port.written.clear();
        scanner.sendHighLevelFrame(enable, 0, 4);
        ASSERT_EQ(port.written.size(), 2u); // the frame, then the acknowledgement of the reply
        Bytes frame = port.written[0];
        EXPECT_EQ(port.written[1], kLineAck);
        const int n = scanner.decodeDLE(frame.data(), static_cast<int>(frame.size()));
        ASSERT_EQ(n, 8);
        EXPECT_EQ(scanner.calcCheckSum(frame.data(), 6), static_cast<unsigned>(frame[6] << 8 | frame[7]));
        controls.push_back(frame[5]);
    }
    // 0, 1, ..., 8 and 0 again; the first frame of the run is marked.
    EXPECT_EQ(controls, (std::vector<unsigned char>{0x68, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x60}));
    port.answer = nullptr;
    EXPECT_EQ(ErrorOf([&] { scanner.sendHighLevelFrame(enable, 0, 4); }), "Malformed line packet received.");
    port.answer = [](const Bytes&, ScriptedSerialPort& p) { p.queue(kAutoSyncDone); };
    EXPECT_EQ(ErrorOf([&] { scanner.sendHighLevelFrame(enable, 0, 4); }), "ACK not received");
}

TEST_F(LineTest, ResetFrameAsTheScannerReceivesIt) {
    LineScanner scanner(&port, &options);
    AckAndReply({0x02, 0x00, 0x11, 0x00, 0x03}, port);
    CaptureStdout();
    scanner.setDefaults();
    const std::string out = GetCapturedStdout();
    ASSERT_GE(port.written.size(), 4u);
    EXPECT_EQ(port.written[0], (Bytes{0x02, 0x00, 0x42, 0x40, 0x10, 0x42, 0x68, 0x10, 0x42, 0x34, 0x03}));
    EXPECT_NE(out.find("value=\"19200\"/>"), std::string::npos) << out;

    LineScanner::resetProtocolState();
    port.written.clear();
    ConfigObject fast = Options({"-b38400"});
    LineScanner again(&port, &fast);
    CaptureStdout();
    again.setDefaults();
    const std::string out2 = GetCapturedStdout();
    ASSERT_EQ(port.written.size(), 6u);
    EXPECT_EQ(port.written[4], (Bytes{0x02, 0x00, 0x41, 0x63, 0x40, 0x09, 0x62, 0x04, 0x05, 0x03}));
    EXPECT_NE(out2.find("value=\"38400\"/>"), std::string::npos) << out2;

    // A scanner that does not answer: the failure is printed and no reminder.
    port.answer = nullptr;
    CaptureStdout();
    again.setDefaults();
    const std::string out3 = GetCapturedStdout();
    EXPECT_EQ(out3, "couldn't set defaults: Malformed line packet received.\n");
}

TEST_F(LineTest, AutoSyncPassesAtTheSecondAnswer) {
    LineScanner scanner(&port, &options);
    LineScannerPortData data;
    SerialPortConfig* config = data.getDefaultPortConfig();
    int syncs = 0;
    port.answer = [&](const Bytes&, ScriptedSerialPort& p) {
        if (++syncs == 2) p.queue(kAutoSyncDone);
    };
    EXPECT_EQ(ErrorOf([&] { scanner.testCommunication(config); }), "Auto sync done not received");
    EXPECT_EQ(syncs, 4);
    port.answer = [](const Bytes&, ScriptedSerialPort& p) { p.queue(kAutoSyncDone); };
    EXPECT_EQ(ErrorOf([&] { scanner.testCommunication(config); }), "");
    EXPECT_EQ(port.written.back(), (Bytes{0x02, 0x00, 0x16, 0x00, 0x03}));
}

TEST_F(LineTest, BarCodePacketsAndFirmware) {
    LineScanner scanner(&port, &options);
    // [00 60 N 'F' digits] stuffed; N counts the symbology and the digits.
    const std::string digits = "4006381333931";
    Bytes packet{0x00, 0x60, 0x00, static_cast<unsigned char>(digits.size() + 1), 'F'};
    packet.insert(packet.end(), digits.begin(), digits.end());
    port.queue(scanner.encodeDLE(packet.data(), static_cast<int>(packet.size())));
    std::unique_ptr<Barcode> code(scanner.scan());
    EXPECT_EQ(code->toString(), "EAN13");
    EXPECT_EQ(Util::toASCIIString(code->getData()), digits);
    EXPECT_EQ(port.written.back(), kLineAck);
    // A length beyond the packet: the data stop at its end.
    Bytes longer{0x00, 0x60, 0x01, 0x00, 0xFF, '1', '2'};
    port.queue(scanner.encodeDLE(longer.data(), static_cast<int>(longer.size())));
    std::unique_ptr<Barcode> cut(scanner.scan());
    EXPECT_EQ(cut->toString(), "EAN8");
    EXPECT_EQ(cut->getData(), (Bytes{'1', '2'}));
    Bytes wrong{0x00, 0x61, 0x00, 0x01, 'A'};
    port.queue(scanner.encodeDLE(wrong.data(), static_cast<int>(wrong.size())));
    EXPECT_EQ(ErrorOf([&] { delete scanner.scan(); }), "Invalid decode packet.");

    int step = 0;
    port.answer = [&](const Bytes& written, ScriptedSerialPort& p) {
        if (written == kLineAck) return;
        Bytes burst = kLineAck;
        const Bytes firmware{0x02, 0x00, 0x53, 0x30, 0xC0, 0x00, 0x04, 'V', '1', '.', '0', 0x00, 0x03};
        // The declared length of the identifier reply is beyond it: bounded by what came.
        const Bytes hardware{0x02, 0x00, 0x53, 0x30, 0x82, 0x12, 0x34, 0x03};
        const Bytes& reply = step++ == 0 ? firmware : hardware;
        burst.insert(burst.end(), reply.begin(), reply.end());
        p.queue(burst);
    };
    EXPECT_EQ(scanner.requestFirmware(), "Firmware version: V1.0\nHardware identifier: 0x1234");
    step = 0;
    port.answer = [&](const Bytes& written, ScriptedSerialPort& p) {
        if (written == kLineAck) return;
        Bytes burst = kLineAck;
        const Bytes overlong{0x02, 0x00, 0x53, 0x30, 0xC0, 0xFF, 0xFF, 'V', '2', 0x03};
        burst.insert(burst.end(), overlong.begin(), overlong.end());
        p.queue(burst);
    };
    EXPECT_EQ(ErrorOf([&] { scanner.requestFirmware(); }), "HARDWARE IDENTIFIER not received");
}

TEST(ScanToolOptions, CommandLineCases) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"-p4", "-p3"}, "Port number setted twice"},
        {{"-b384000"}, "Invalid parameter"},
        {{"-h", "-p2"}, "Help requested"},
        {{"-h", "-x"}, "Invalid parameter"},
        {{"-"}, "Help requested"},
        {{""}, "Help requested"},
        {{"-p0"}, "Invalid port number"},
        {{"-pa"}, "Invalid port number"},
        {{"-p123"}, "Invalid parameter"},
        {{"-b000"}, "Couldn't recognize baud rate"},
        {{"-b9600", "-b4800"}, "Incorrect baud rate submitted"},
        {{"-b96"}, "Invalid parameter"},
        {{"-lo", "-sr", "-nc", "-no", "-nl", "-nf", "DEBUG_MODE", "-p12", "-b19200"}, ""},
    };
    for (const Case& c : cases) {
        std::string error = ErrorOf([&] { Options(c.args); });
        EXPECT_EQ(error, c.error) << ::testing::PrintToString(c.args);
    }
    ConfigObject all = Options({"-lo", "-sr", "-nc", "-no", "-nl", "-nf", "DEBUG_MODE", "-p12", "-b19200"});
    EXPECT_EQ(all.getRequestedPortNumber(), 12);
    EXPECT_EQ(all.getRequestedBaudrate(), 19200);
    EXPECT_TRUE(all.baudRateRequested() && all.isLeaveLaserOffSet() && all.isSmartRasterModeSet() &&
                all.isLeaveCurrentSettingsSet() && all.isDebugModeSet());
    EXPECT_FALSE(all.isTryToDetectOmniSet() || all.isTryToDetectLineSet() || all.isRequestedFirmwareSet());
    ConfigObject none = Options({});
    EXPECT_EQ(none.getRequestedPortNumber(), 4);
    EXPECT_FALSE(none.baudRateRequested());
    EXPECT_TRUE(none.isTryToDetectOmniSet() && none.isTryToDetectLineSet() && none.isRequestedFirmwareSet());
}

TEST(ScanToolLinuxPort, ReadsABurstOnAPseudoTerminal) {
    TempRoot root;
    int master, slave;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    root.write("/dev/.keep", "");
    ASSERT_EQ(symlink(name, root.at("/dev/ttyS0").c_str()), 0);
    EXPECT_EQ(LinuxSerialPort::devicePath(1), root.at("/dev/ttyS0"));

    LinuxSerialPort port(1);
    CaptureStdout();
    port.open();
    EXPECT_EQ(GetCapturedStdout(), "Using " + root.at("/dev/ttyS0") + "\n");
    LineScannerPortData data;
    port.setConfig(data.getDefaultPortConfig());
    port.setReadTimeout(100);
    // A pseudo-terminal has no modem lines: RTS does nothing and CTS reads 0.
    port.setRTS(true);
    EXPECT_FALSE(port.isCTS());

    const unsigned char ten[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(::write(master, ten, 10), 10);
    unsigned char buffer[300];
    int n = sizeof buffer;
    port.read(buffer, &n);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(Bytes(buffer, buffer + n), Bytes(ten, ten + 10));
    // A burst longer than the buffer stops at its size; the rest waits for the next read.
    ASSERT_EQ(::write(master, ten, 10), 10);
    n = 4;
    port.read(buffer, &n);
    EXPECT_EQ(n, 4);
    n = sizeof buffer;
    port.read(buffer, &n);
    EXPECT_EQ(n, 6);
    n = sizeof buffer;
    EXPECT_EQ(ErrorOf([&] { port.read(buffer, &n); }), "(ERR_0)Timeout while polling port");
    // What the program writes reaches the other side.
    port.write(ten, 2, 3);
    unsigned char got[8];
    EXPECT_EQ(::read(master, got, sizeof got), 3);
    EXPECT_EQ(got[0], 2);
    port.close();
    ::close(slave);
    ::close(master);

    LinuxSerialPort missing(7);
    CaptureStdout();
    EXPECT_EQ(ErrorOf([&] { missing.open(); }), "Invalid handle value");
    GetCapturedStdout();
}

} // namespace
