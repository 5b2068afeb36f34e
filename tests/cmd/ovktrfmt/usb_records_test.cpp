// The USB records 400 to 408: the two record forms, the model-6397 printer's status reports
// and command data, other devices' data, feature reports, the HID switch, and length words
// that claim more than the record holds.
#include <gtest/gtest.h>

#include <string>

#include "FormatterRun.h"

namespace {

const std::string kStatusIndent(41, ' '); // 24-blank indent with every column empty
const std::string kDataIndent(36, ' ');   // 19-blank indent
const std::string kCommandLine = std::string(35, ' ') + " |";

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

TraceRec Usb(uint32_t minor, const std::string& payload) {
    TraceRec r;
    r.minor = minor;
    r.payload = payload;
    return r;
}

class UsbRecords : public ::testing::Test, protected FormatterFixture {
protected:
    std::string One(const TraceRec& r, const std::vector<std::string>& options = {"-m"}) {
        TraceFileBuilder f;
        f.Marker().V3(r);
        return Format(f, options).out;
    }
};

TEST_F(UsbRecords, PrinterStatusReport) {
    // Card byte 0x03, card reset 0x70, then the printer's status bytes at 4, 5, 6 and 8, the
    // line count at 9 and byte 10 (bits that report by being clear are set but 0x08 of 10).
    const std::string data = Bytes({0x03, 0x70, 0, 0, 0x28, 0x07, 0x40, 0, 0x02, 0x05, 0x10});
    const std::string head = "HIDRead       " + std::string(" 8  11 35 00 00 r=1  ") +
                             "03.70.00.00.28.07.40.00.02.05.10";
    const std::string lines = "\n" + kStatusIndent + "USB command complete" + "\n" + kStatusIndent +
                              "USB printer card RESET!!!!!" + "\n" + kStatusIndent + "Ribbon cover open" + "\n" +
                              kStatusIndent + "Firmware error (running from boot sector)" + "\n" + kStatusIndent +
                              "EC level available (#1)" + "\n" + kStatusIndent + "Cash drawer closed" + "\n" +
                              kStatusIndent + "Printer key pressed" + "\n";
    EXPECT_EQ(One(Usb(401, Bytes({0, 0, 0x35, 0x01}) + data)), head + lines);
    // -C first shows the printer's line count.
    EXPECT_EQ(One(Usb(401, Bytes({0, 0, 0x35, 0x01}) + data), {"-m", "-C"}),
              head + "\n" + kStatusIndent + " >> Receive Line Count 05 <<" + lines);
    // Bit 7 of the usage byte shows the device as 255: no printer decoding then.
    EXPECT_EQ(One(Usb(401, Bytes({0, 0, 0x35, 0x81, 'A'}))),
              "HIDRead        8  11 ff 00 00 r=1  41\n" + kDataIndent + "A\n");
}

TEST_F(UsbRecords, ReadsAndFeatureReportsOfOtherDevices) {
    // The second form: slot, port and device in bytes 4 to 6, the data from byte 8.
    EXPECT_EQ(One(Usb(406, Bytes({0, 0, 0, 0x02, 2, 0x11, 0x22, 0, 'A', 'B'}))),
              "HIDRead        2  11 22 00 00 r=2  41.42\n" + kDataIndent + "AB\n");
    EXPECT_EQ(One(Usb(402, Bytes({0, 0, 0x22, 0}))),
              "HIDGetFeat     8  11 22 00 00 r=0  \n" + kDataIndent + "Data:  <<< NO DATA >>>\n");
    EXPECT_EQ(One(Usb(407, Bytes({0, 0, 0, 0, 3, 0x12, 0x23, 0, 1, 2}))),
              "HIDGetFeat     3  12 23 00 00 r=0  \n" + kDataIndent + "Data:  01.02\n");
    EXPECT_EQ(One(Usb(408, Bytes({0, 0, 0, 0, 3, 0x12, 0x23, 0, 'o', 'k'}))),
              "HIDSetFeat     3  12 23 00 00 r=0  6f.6b\n" + std::string(25, ' ') + "ok\n");
}

TEST_F(UsbRecords, WritesToThePrinterAreDecodedAsCommands) {
    // Length word 8 (the data is 10 bytes with it), a 6-byte head, then ESC "@", "A", LF.
    const std::string data = Le16(8) + Bytes({0, 0, 0, 0, 0x1B, '@', 'A', 0x0A, 0x99, 0x99});
    EXPECT_EQ(One(Usb(400, Bytes({0, 0, 0x35, 0}) + data)),
              "HIDWrite       8  11 35 00 00 r=0  08.00.00.00.00.00.1b.40.41.0a\n" + kCommandLine +
                  "  (Reinitialize the printer)\n" + kCommandLine + "A\\n\n" + kCommandLine + "\n");
    // Another device: the rest of the record, as characters.
    EXPECT_EQ(One(Usb(405, Bytes({0, 0, 0, 0, 2, 0x11, 0x22, 0, 'h', 'i'}))),
              "HIDWrite       2  11 22 00 00 r=0  68.69\n" + kCommandLine + "hi\n");
}

TEST_F(UsbRecords, LengthWordsAreBoundedByTheRecord) {
    // A printer write claiming 4000 bytes with 3 there, and one with no room for its head.
    TraceFileBuilder f;
    f.Marker()
        .V3(Usb(400, Bytes({0, 0, 0x35, 0}) + Le16(4000) + "\x1b"))
        .V3(Usb(405, Bytes({0, 0, 0, 0, 1, 0x11, 0x35, 0}) + Le16(0xFFFF)))
        .V3(Usb(401, Bytes({0, 0, 0x35, 0, 0x01})))
        .V3(Usb(406, Bytes({0, 0, 0, 0})));
    const FormatterResult r = Format(f);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("HIDWrite       8  11 35 00 00 r=0  a0.0f.1b\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HIDWrite       1  11 35 00 00 r=0  ff.ff\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("USB command complete"), std::string::npos) << r.out;
}

TEST_F(UsbRecords, TheFirstUsbRecordHidesTheHidRecords) {
    TraceFileBuilder f;
    f.Marker().V3(Usb(200, "a")).V3(Usb(402, Bytes({0, 0, 0x22, 0}))).V3(Usb(201, "b")).V3(Usb(200, "c"));
    const std::string out = Format(f).out;
    EXPECT_EQ(out.find("HIDWrite       8  11 35 00 00 0/0  61\n"), 0u) << out;
    EXPECT_NE(out.find("HIDGetFeat"), std::string::npos);
    EXPECT_EQ(out.find("HIDRead"), std::string::npos) << out;
    EXPECT_EQ(out.find("63"), std::string::npos) << out;
}

} // namespace
