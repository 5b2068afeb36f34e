// The core records (component 0): calls and returns, events, the error log, the link frames
// and exchange buffers, the filters, and counts in the payload that claim more than it holds.
#include <gtest/gtest.h>

#include <string>

#include "FormatterRun.h"

namespace {

std::string Prefix(const std::string& name, const std::string& time = "") {
    std::string s = name;
    if (s.size() < 13) s.resize(13, ' ');
    return s + " " + time + std::string(10, ' ');
}
const std::string kIndent(25, ' '); // continuation indent with every column empty

TraceRec Core(uint32_t minor, const std::string& payload, double clock = 0) {
    TraceRec r;
    r.minor = minor;
    r.payload = payload;
    r.clock = clock;
    return r;
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

class CoreRecords : public ::testing::Test, protected FormatterFixture {
protected:
    std::string One(const TraceRec& r, const std::vector<std::string>& options = {"-m"}) {
        TraceFileBuilder f;
        f.Marker().V3(r);
        return Format(f, options).out;
    }
};

TEST_F(CoreRecords, CallsAndReturns) {
    EXPECT_EQ(One(Core(9999, "")), "Unknown" + std::string(18, ' ') + "minorCode=9999\n");
    EXPECT_EQ(One(Core(6, Words({1, 9999, 0, 0}))), Prefix(">>PosIOCtl") + "Handle=1, 9999   (0x0000270F), nargs=0\n");
    // The count of an initialisation is its fourth word.
    EXPECT_EQ(One(Core(1, Words({0x1000, 0x2000, 0x3000, 2, 0, 0}))),
              Prefix(">>PosInit") + "Application Name=1000, ResourceFile=2000, nargs=2\n");
    EXPECT_EQ(One(Core(21, Words({0, 5}))), Prefix("<<PosWrite") + "rc=OK, Bytes Written=5\n");
    EXPECT_EQ(One(Core(18, Words({0, 3}))), Prefix("<<PosOpen") + "rc=OK, Handle=3\n");
    // A failed open names its result, not the handle word.
    EXPECT_EQ(One(Core(18, Words({811, 0}))), Prefix("<<PosOpen") + "rc=POSERR_SIO_UNDELIVERABLE_MSG\n");
}

TEST_F(CoreRecords, DeviceOnlineEvent) {
    EXPECT_EQ(One(Core(8, Words({0x420D, 0x02113503, 0}))),
              "Event" + std::string(19, ' ') + "POSM_SYS_DEVICE_ONLINE - SLOT_2, PORT_1, PRINTER\n" + kIndent +
                  std::string(25, ' ') + "Device: PRINTER_6397  (Subtype: NONE)\n");
}

TEST_F(CoreRecords, PrinterErrorEventWithItsStatus) {
    const std::string out = One(Core(8, Words({0x4205, 0x00010002, 0x1001})));
    EXPECT_NE(out.find("Error Reason:  PosERROR_COVER_OPEN\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Printer Status:\n"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string(17, ' ') + "COVER_OPEN\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("PRINTER_OFFLINE"), std::string::npos) << out;
    EXPECT_NE(One(Core(8, Words({0x4205, 0x00010002, 0}))).find("PRINTER_OFFLINE"), std::string::npos);
}

TEST_F(CoreRecords, ErrorLogThroughTheProbeTable) {
    const std::string out = One(Core(64, Words({803, 811, 0x15FFFF})));
    EXPECT_EQ(out, Prefix("Error Log") + std::string(19, ' ') + "File:  sys/sysioam\n" + std::string(36, ' ') +
                       "Probe: UNDELIVERABLE_ERROR\n" + kIndent + " Major: POSERR_SIO_UNDELIVERABLE_MSG\n" + kIndent +
                       " Minor: 0x15ffff(1441791)\n");
}

TEST_F(CoreRecords, ExchangeBufferAndPrinterFrames) {
    std::string buffer(2048, '\0');
    buffer[2047] = 0x48;
    const std::string got = One(Core(101, buffer));
    EXPECT_NE(got.find("\n   bSSB=0x48 ( POR ENABLE )\n"), std::string::npos) << got;
    // A sent information frame to the model-6397 printer carrying ESC "@".
    const std::string frame = Bytes({1, 6, 0, 0x11, 0x40, 0x00, 0x35, 0x00, 0x1B, '@'});
    const std::string sent = One(Core(44, frame));
    EXPECT_EQ(sent.compare(0, 13, "S-IFrame     "), 0) << sent;
    EXPECT_NE(sent.find("1  11 35 40 00 0/0  1b.40"), std::string::npos) << sent;
    EXPECT_NE(sent.find("(Reinitialize the printer)"), std::string::npos) << sent;
}

TEST_F(CoreRecords, FiltersKeepTheTimeBase) {
    TraceFileBuilder f;
    f.Marker()
        .V3(Core(17, Words({0, 0}), 10))
        .V3(Core(2, Words({1, 2, 0, 0}), 20))
        .V3(Core(301, "<markup>", 25))
        .V3(Core(44, Bytes({1, 5, 0, 0x11, 0, 0, 0x22, 0x00, 1}), 26))
        .V3(Core(42, std::string("hello\n", 7), 30));
    FormatterResult r = Format(f, {"-P"});
    EXPECT_EQ(r.out, Prefix("Text", "30.000     ") + "hello\n");
    r = Format(f, {"-T", "-m"});
    EXPECT_EQ(r.out, Prefix("<<PosInit") + "rc=OK\n" + Prefix(">>PosOpen") + "Device Name=0x1, DeviceClass=0x2, nargs=0\n" +
                         "S-IFrame       1  11 22 00 00 0/0  01 (00.00)\n" + std::string(36, ' ') + ". (00.00)\n");
    // Text beginning "SYCOMD:" is shown even with -T.
    TraceFileBuilder sy;
    sy.Marker().V3(Core(42, std::string("SYCOMD: up\n", 12)));
    EXPECT_EQ(Format(sy, {"-T", "-m"}).out, Prefix("Text") + "SYCOMD: up\n");
    // -S hides the exchange-buffer records; remote API records need -A.
    TraceFileBuilder s;
    s.Marker().V3(Core(100, "")).V3(Core(253, Words({4711})));
    EXPECT_EQ(Format(s, {"-m"}).out, Prefix("sio") + "RequestBuffer\n");
    EXPECT_EQ(Format(s, {"-m", "-S", "-A"}).out, Prefix("TcpPort") + "API Socket Port is 4711\n");
}

TEST_F(CoreRecords, WriteDataAndItsCopy) {
    TraceFileBuilder f;
    f.Marker().V3(Core(301, "HELLO"));
    const FormatterResult r = Format(f, {"-m", "-a", Path("copy")});
    EXPECT_EQ(r.out.compare(0, 24 + 14, Prefix("WriteText") + "48.45.4c.4c.4f"), 0) << r.out;
    EXPECT_NE(r.out.find("HELLO"), std::string::npos);
    TraceFileBuilder none;
    none.Marker();
    Format(none, {"-m"});
    std::string copy;
    {
        FILE* c = std::fopen(Path("copy").c_str(), "rb");
        ASSERT_NE(c, nullptr);
        char buf[256];
        const size_t n = std::fread(buf, 1, sizeof buf, c);
        copy.assign(buf, n);
        std::fclose(c);
    }
    EXPECT_EQ(copy, ">>WriteText\n48.45.4c.4c.4f\nHELLO\n");
}

TEST_F(CoreRecords, CountsThatClaimMoreThanThePayloadHolds) {
    TraceFileBuilder f;
    std::string xmit(2048, '\0');
    xmit[5] = static_cast<char>(255); // 255 messages in the buffer
    xmit[303] = static_cast<char>(0xFF);
    xmit[304] = static_cast<char>(0x07);
    std::string got(2048, '\0');
    got[12] = 0x18; // a message and an error in the buffer
    got[271] = static_cast<char>(200);
    got[303] = static_cast<char>(0xFF);
    got[304] = static_cast<char>(0xFF);
    f.Marker()
        .V3(Core(35, Bytes({1, 2, 0, 0x11, 0x22, 0x00})))         // L 2: a negative message length
        .V3(Core(36, Bytes({1, 200, 0, 0x11, 0, 0, 0x22, 0x00, 1}))) // L 200 with one byte
        .V3(Core(34, Bytes({1, 200, 0x15, 1, 2, 3})))             // 200 bytes claimed, 4 there
        .V3(Core(102, xmit))
        .V3(Core(101, got))
        .V3(Core(102, xmit.substr(0, 400)))                        // a buffer cut short
        .V3(Core(609, Bytes({1, 0x11, 0x22, 0}) + Words({1, 5}) + Le16(4000) + "<rs485>N"))
        .V3(Core(252, Words({1, 0}) + Le16(4000) + "abc"))
        .V3(Core(254, Words({1}) + Le16(0) + Le16(4000) + "<vusk><type>1</type>"));
    const FormatterResult r = Format(f);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("R-Error Msg"), std::string::npos);
    EXPECT_NE(r.out.find("! 58R7731"), std::string::npos);
    EXPECT_NE(r.out.find("Msg 1: (length=2050)"), std::string::npos) << r.out;
}

} // namespace

namespace {

TraceRec Opos(uint32_t level, const std::string& method, const std::string& text, double clock = 0) {
    TraceRec r;
    r.component = 1;
    r.minor = 100;
    r.payload = TextPayload(level, "CPosPrinter", method, text);
    r.clock = clock;
    return r;
}

class OposRecords : public ::testing::Test, protected FormatterFixture {};

TEST_F(OposRecords, PropertyNumbersAndNames) {
    TraceFileBuilder f;
    f.Marker()
        .V3(Opos(1, "GetPropertyNumber", "entered, PropIndex=3"))
        .V3(Opos(1, "GetPropertyNumber", "returning PropIndex=3, Value=1\n"))
        .V3(Opos(1, "GetPropertyNumber", "returning PropIndex=9999, Value=5"))
        .V3(Opos(1, "GetPropertyNumber", "m_lState=2 entered"))
        .V3(Opos(1, "GetPropertyNumber", "returning PropIndex=7, Value=501"))
        .V3(Opos(1, "SetPropertyNumber", "entered PropIndex=2 new=1"))
        .V3(Opos(1, "GetPropertyString", "PropIndex=1000003, string='printer'"))
        .V3(Opos(1, "Open", "the device"));
    const std::string p = "Opos" + std::string(20, ' ') + "CPosPrinter(";
    EXPECT_EQ(Format(f).out, p + "GetPropertyNumber): DeviceEnabled=TRUE\n" + p +
                                 "GetPropertyNumber): 9999=5\n" + p +
                                 "GetPropertyNumber): ResultCodeExtended=QORVEL_EPTR_IMAGE_SCAN_FAILED, State=OPOS_S_IDLE\n" +
                                 p + "SetPropertyNumber): DataEventEnabled=TRUE\n" + p +
                                 "GetPropertyString): DeviceName='printer'\n" + p + "Open): the device\n");
    // -U prints the lines as traced.
    TraceFileBuilder u;
    u.Marker().V3(Opos(1, "GetPropertyNumber", "returning PropIndex=3, Value=1"));
    EXPECT_EQ(Format(u, {"-m", "-U"}).out, p + "GetPropertyNumber): returning PropIndex=3, Value=1\n");
}

TEST_F(OposRecords, LevelFilterKeepsTheTimeBase) {
    TraceFileBuilder f;
    f.Marker().V3(Opos(3, "Open", "a", 10)).V3(Opos(4, "Open", "b", 20)).V3(Opos(2, "Open", "c", 25));
    const std::string out = Format(f, {"-o", "3"}).out;
    EXPECT_EQ(out, "Opos          10.000               CPosPrinter(Open): a\n"
                   "Opos          15.000               CPosPrinter(Open): c\n");
}

} // namespace
