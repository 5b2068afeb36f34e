// The record loop on built trace files: versions, markers, cut and over-long records, the
// time, date and process columns, and the self-checkout, RS-232 and JavaPOS formatters.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "FormatterRun.h"

namespace {

// The line prefix with every column off but the time text given.
std::string Prefix(const std::string& name, const std::string& time = "") {
    std::string s = name;
    if (s.size() < 13) s.resize(13, ' ');
    return s + " " + time + std::string(10, ' ');
}
const std::string kIndent(25, ' '); // continuation indent with every column empty

// The hex dump of the bytes: "." between them, a line feed after every 25th separator.
std::string Hex(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
        out += b;
        if (i + 1 < bytes.size()) out += (i + 1) % 25 == 0 ? ".\n" : ".";
    }
    return out;
}

TraceRec Rec(uint32_t component, uint32_t minor, const std::string& payload, double clock = 0) {
    TraceRec r;
    r.component = component;
    r.minor = minor;
    r.payload = payload;
    r.clock = clock;
    return r;
}

std::string Rs232Open(int handle, int rc, const std::string& port) {
    return Words({static_cast<uint32_t>(handle), static_cast<uint32_t>(rc)}) + Field(port, 10);
}

class Reader : public ::testing::Test, protected FormatterFixture {};

TEST_F(Reader, AnEmptyFileEndsQuietly) {
    const FormatterResult r = Format(TraceFileBuilder());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(Reader, AMarkerAndOneRecordPrintOneLine) {
    const FormatterResult r = Format(TraceFileBuilder().Marker(501, "ignored").V3(Rec(4, 265, Rs232Open(3, 0, "COM1"))));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Rs232Open" + std::string(15, ' ') + "Handle=3, port=COM1, rc=0\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Reader, UnformattedComponentsPrintNothing) {
    TraceFileBuilder f;
    f.Marker();
    for (uint32_t c : {3u, 5u, 7u, 93u, 255u}) f.V3(Rec(c, 1, "abcd"));
    EXPECT_EQ(Format(f).out, "");
}

TEST_F(Reader, UnknownCoreAndOposRecordsPrintTheirMinorCode) {
    TraceFileBuilder f;
    f.Marker().V3(Rec(0, 9999, "")).V3(Rec(1, 102, TextPayload(1, "CPosPrinter", "Open", "entered")));
    EXPECT_EQ(Format(f).out, Prefix("Unknown") + " minorCode=9999\n" + Prefix("Opos") + "Unknown minorCode=102\n");
}

TEST_F(Reader, AnOverLongRecordIsNotReadAndItsBytesAreTakenAsTheNextHeader) {
    TraceFileBuilder f;
    f.Marker().Header16(128001, 267).V3(Rec(4, 267, Words({7})));
    FormatterResult r = Format(f);
    EXPECT_EQ(r.out, Prefix("Rs232Cancel") + "Handle=7\n");
    EXPECT_EQ(r.err, "");
    r = Format(f, {"-m", "-x"});
    EXPECT_EQ(r.out, Prefix("Rs232Cancel") + "Handle=7\n");
    EXPECT_EQ(r.err, "Length to read is too big (length=128001/0x1f401), skipping\n");
    // 128,000 bytes are read.
    TraceFileBuilder full;
    full.Marker().V3(Rec(4, 267, Words({9}) + std::string(127996, 'x')));
    EXPECT_EQ(Format(full).out, Prefix("Rs232Cancel") + "Handle=9\n");
}

TEST_F(Reader, ShortReadsAreReportedAndTheRunGoesOn) {
    // A payload cut short at the end of the file.
    TraceFileBuilder cut;
    cut.Marker().V3(Rec(4, 267, Words({1}))).Header16(10, 267).Raw(std::string(16, '\0') + "abc");
    FormatterResult r = Format(cut);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Prefix("Rs232Cancel") + "Handle=1\n");
    EXPECT_EQ(r.err, "Could not read data bytes expected=10 actual=3\n");
    // A second half cut short.
    TraceFileBuilder half;
    half.Marker().Header16(0, 267).Raw("12345678");
    r = Format(half);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "could not read version 2+ data\n");
}

TEST_F(Reader, TimeDifferenceAndItsBaseSkipRecordsThatAreNotShown) {
    TraceFileBuilder f;
    f.Marker()
        .V3(Rec(4, 267, Words({1}), 100))
        .V3(Rec(2, 100, TextPayload(9, "c", "m", "hidden"), 150)) // above the level
        .V3(Rec(4, 267, Words({2}), 175.5))
        .V3(Rec(3, 1, "", 200)) // no output, but the time base moves
        .V3(Rec(4, 267, Words({3}), 210));
    const FormatterResult r = Format(f, {});
    EXPECT_EQ(r.out, Prefix("Rs232Cancel", "100.000    ") + "Handle=1\n" +
                         Prefix("Rs232Cancel", "75.500     ") + "Handle=2\n" +
                         Prefix("Rs232Cancel", "10.000     ") + "Handle=3\n");
    // -c: each record's own clock.
    EXPECT_EQ(Format(f, {"-c"}).out, Prefix("Rs232Cancel", "100.000    ") + "Handle=1\n" +
                                         Prefix("Rs232Cancel", "175.500    ") + "Handle=2\n" +
                                         Prefix("Rs232Cancel", "210.000    ") + "Handle=3\n");
    // -s 9 shows the self-checkout record.
    EXPECT_NE(Format(f, {"-m", "-s", "9"}).out.find("Scs" + std::string(21, ' ') + "c(m): hidden\n"), std::string::npos);
}

TEST_F(Reader, DateAndProcessColumns) {
    TraceRec r = Rec(4, 267, Words({4}), 12.25);
    r.pid = 0x1234;
    r.tid = 0xabcde;
    r.time = 1700000000;
    r.ms = 7;
    const time_t t = r.time;
    struct tm tm;
    localtime_r(&t, &tm);
    char date[64];
    std::snprintf(date, sizeof date, "%02d/%02d-%02d:%02d:%02d.007 ", tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    TraceFileBuilder f;
    f.Marker().V3(r).V3(Rec(4, 268, "AB"));
    const std::string proc = "P01234/Tabcde ";
    const FormatterResult res = Format(f, {"-t", "-p"});
    // The indents take each column's width.
    const std::string indent(std::string(date).size() + 14 + 11 + proc.size() + 8, ' ');
    EXPECT_EQ(res.out.substr(0, res.out.find('\n') + 1),
              std::string(date) + "Rs232Cancel   12.250     " + proc + std::string(10, ' ') + "Handle=4\n");
    EXPECT_NE(res.out.find("Rs232WRiteFail"), std::string::npos);
    EXPECT_NE(res.out.find("\n" + std::string(indent.size() - 15 - 14 - 1, ' ')), std::string::npos);
}

TEST_F(Reader, OlderVersionsReadEveryRecordAsCore) {
    TraceRec a = Rec(4, 9005, "", 5000), b = Rec(4, 9006, "", 8000);
    TraceFileBuilder v1;
    v1.V1(a).V1(b);
    EXPECT_EQ(Format(v1, {}).out, Prefix("Unknown", "5000.000  ") + " minorCode=9005\n" +
                                     Prefix("Unknown", "3000.000  ") + " minorCode=9006\n");
    // -l: a clock in microseconds; -L does not apply to these versions.
    EXPECT_EQ(Format(v1, {"-l", "-L"}).out, Prefix("Unknown", "5.000     ") + " minorCode=9005\n" +
                                               Prefix("Unknown", "3.000     ") + " minorCode=9006\n");
    // Version 2 with its process column.
    a.pid = 0x42;
    a.tid = 0x43;
    TraceFileBuilder v2;
    v2.Marker(500).V2(a);
    EXPECT_EQ(Format(v2, {"-p"}).out, Prefix("Unknown", "5000.000    P00042/T00043 ") + " minorCode=9005\n");
    // -2 reads 32-byte headers without a marker.
    TraceFileBuilder forced;
    forced.V2(a);
    EXPECT_EQ(Format(forced, {"-m", "-2"}).out, Prefix("Unknown") + " minorCode=9005\n");
    // Without it the second half is taken as the next header.
    EXPECT_EQ(Format(forced, {"-m"}).err, "Could not read data bytes expected=67 actual=0\n");
}

TEST_F(Reader, HideCoreRecordsOfVersion3) {
    TraceFileBuilder f;
    f.Marker().V3(Rec(0, 9005, "", 10)).V3(Rec(4, 267, Words({1}), 30));
    // The hidden record leaves the time base where it was.
    EXPECT_EQ(Format(f, {"-L"}).out, Prefix("Rs232Cancel", "30.000     ") + "Handle=1\n");
}

TEST_F(Reader, SelfCheckoutRecords) {
    TraceFileBuilder f;
    f.Marker()
        .V3(Rec(2, 100, TextPayload(3, "Cls", "Meth", "one line\n")))
        .V3(Rec(2, 100, TextPayload(3, "Cls", "Meth", "ab\nc"))) // a line feed before the last
        .V3(Rec(2, 101, TextPayload(3, "C", "M", "T", "\x01\x02")))
        .V3(Rec(2, 7, TextPayload(0, "C", "M", "")));
    EXPECT_EQ(Format(f).out, Prefix("Scs") + "Cls(Meth): one line\n" + Prefix("Scs") + "Cls(Meth): ab\n" +
                                 Prefix("Scs") + "C(M):\n" + kIndent + " 54.00.01.02\n" + kIndent + " T...\n" +
                                 Prefix("Scs") + "Unknown minorCode=7\n");
    TraceFileBuilder o;
    o.Marker().V3(Rec(1, 100, TextPayload(1, "C", "M", "x"))).V3(Rec(1, 100, TextPayload(0, "C", "M", "x")));
    EXPECT_EQ(Format(o, {"-m", "-o", "0"}).out, Prefix("Opos") + "C(M): x\n");
}

TEST_F(Reader, CountsAndNamesStayInsideThePayload) {
    // A data record shorter than its text header; names without their zero byte.
    TraceFileBuilder f;
    f.Marker()
        .V3(Rec(2, 101, Le32(1) + "abc"))
        .V3(Rec(2, 100, Le32(1) + std::string(50, 'C') + std::string(50, 'M') + "text"))
        .V3(Rec(4, 260, "\x05"))
        .V3(Rec(4, 265, Words({1, 2}) + "COM1234567890"))
        .V3(Rec(6, 3, "[" + std::string(300, 'n') + "]"));
    const FormatterResult r = Format(f);
    EXPECT_EQ(r.out, Prefix("Scs") + "abc():\n" + kIndent + " \n" + kIndent + " \n" + Prefix("Scs") +
                         std::string(50, 'C') + "(" + std::string(50, 'M') + "): text\n" + Prefix("Rs232Write") +
                         "Handle=5, Data=\n" + Prefix("Rs232Open") + "Handle=1, port=COM1234567, rc=2\n" +
                         std::string(99, 'n') + std::string(11, ' ') + "\n");
}

TEST_F(Reader, Rs232Records) {
    std::string data;
    for (int i = 0; i < 26; ++i) data += static_cast<char>(i);
    TraceFileBuilder f;
    f.Marker()
        .V3(Rec(4, 260, Le32(2) + data))
        .V3(Rec(4, 261, Le32(2) + "\xff"))
        .V3(Rec(4, 258, "anything"))
        .V3(Rec(4, 266, Words({4, 0}) + Field("COM2", 10)))
        .V3(Rec(4, 269, Words({4, 10, 0xFFFFFFFF})))
        .V3(Rec(4, 257, TextPayload(0, "Port", "Open", "opened\n")))
        .V3(Rec(4, 101, TextPayload(0, "Port", "Write", "sent\n", "AB")))
        .V3(Rec(4, 999, ""));
    const std::string hex = Hex(data);
    EXPECT_EQ(Format(f).out, Prefix("Rs232Write") + "Handle=2, Data=" + hex + "\n" + Prefix("Rs232Read") +
                                 "Handle=2, Data=ff\n" + "\n" + Prefix("Rs232Close") + "Handle=4, port=COM2\n" +
                                 Prefix("Rs232Olap") + "Handle=4, rc=-1\n" + Prefix("Rs232") +
                                 "Port(Open): opened\n" + Prefix("Rs232") + "Port(Write): sent\n" + kIndent +
                                 " 00.41.42\n" + kIndent + " .AB\n" + Prefix("Rs232") + "Unknown minorCode=999\n");
}

TEST_F(Reader, JavaPosRecords) {
    const std::string both = TextPayload(0, "O", "m", "otext", "\x7f");
    TraceFileBuilder f;
    f.Marker()
        .V3(Rec(6, 1, "[Scanner][claim]hello\n"))
        .V3(Rec(6, 1, "[Scanner][]hello"))
        .V3(Rec(6, 1, "plain"))
        .V3(Rec(6, 990, TextPayload(0, "J", "m", "jtext\n")))
        .V3(Rec(6, 989, both));
    EXPECT_EQ(Format(f).out, Prefix("claim") + "hello\n" + Prefix("Scanner") + "hello\n" + Prefix("") +
                                 "plain\n" + Prefix("Jpos") + "J(m): jtext\n" + Prefix("Opos") + "O(m): otext" +
                                 kIndent + " 00.7f\n" + kIndent + " ..\n" + Hex(both) + "\n");
}

TEST_F(Reader, LongDumpsBreakTheirLines) {
    std::string text(81, 'a');
    TraceFileBuilder f;
    f.Marker().V3(Rec(4, 268, text));
    const std::string out = Format(f).out;
    EXPECT_NE(out.find("\n" + kIndent + " " + std::string(80, 'a') + "\n" + "a\n"), std::string::npos) << out;
}

} // namespace
