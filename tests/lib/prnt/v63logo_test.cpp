// The model-6397 virtual printer's logos, flash records, check images and read path on the
// simulated bus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Prnt63Logo.h"
#include "Prnt63ReadList.h"
#include "V63Bench.h"
#include "sycrc.h"

namespace {

using namespace v63bench;

Bytes of(std::initializer_list<int> list) {
    Bytes b;
    for (int v : list) b.push_back(static_cast<unsigned char>(v));
    return b;
}

std::string str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Logo data of a number: width 1, height 1, eight image bytes of the given value.
std::string logo(int number, unsigned char fill) {
    std::string d = {static_cast<char>(number), 1, 1};
    d.append(8, static_cast<char>(fill));
    return d;
}

class V63Logo : public V63Bench {
protected:
    P6397Model::Options options() {
        P6397Model::Options o;
        o.serial = "SIM00001";
        o.ecLevel = 0x1c; // the whole start-up chain: serial number, logo checksum, flash size
        return o;
    }
    std::vector<RecordedEvent> dataEvents(Client63& c) {
        std::vector<RecordedEvent> out;
        for (const RecordedEvent& e : c.queue.take())
            if (e.msg == POSM_PRN_DATA_AVAIL) out.push_back(e);
        return out;
    }
    // Reads in a mode into a buffer of n bytes: the result, the bytes in got.
    int read(Client63& c, int mode, int n, Bytes& got) {
        if (mode >= 0) {
            EXPECT_EQ(c.set({{"printReadMode", mode}}), 0);
        }
        Bytes buf(static_cast<size_t>(n));
        int count = -1;
        c.Lock();
        const int rc = c.Read(buf.data(), static_cast<unsigned>(n), count);
        c.Unlock();
        buf.resize(static_cast<size_t>(count > 0 ? count : 0));
        got = buf;
        return rc;
    }
};

TEST_F(V63Logo, ALogoIsSentOnceAndItsDirectoryKeptAcrossOpens) {
    online(options());
    Client63& c = client();
    drain();
    ASSERT_EQ(c.set({{"printMode", PRN63_MODE_LOAD_LOGO}}), 0);
    drain();
    mark();
    int count = 0;
    EXPECT_EQ(c.write(logo(1, 0x5A), &count), 0);
    EXPECT_EQ(count, 11);
    drain();
    Bytes logoFrame = of({0x1D, 0x2A});
    const std::string data = logo(1, 0x5A);
    logoFrame.insert(logoFrame.end(), data.begin(), data.end());
    EXPECT_EQ(sent(), (std::vector<Bytes>{of({0x1B, 0x29, 0x00, 0x1B, 0x23, 0x01}), logoFrame, of({0x1B, 0x22, 0x01})}));
    EXPECT_EQ(root_.read("/var/log/6397-SIM00001-logo-01.dat"), data);
    const std::string dir = root_.read("/var/log/6397-SIM00001.dat");
    ASSERT_EQ(dir.size(), size_t(PRN63_LOGO_FILE_SIZE));
    const uint16_t crc = CalculateCRC(reinterpret_cast<const unsigned char*>(data.data()), 11);
    EXPECT_EQ(static_cast<uint8_t>(dir[0]) | static_cast<uint8_t>(dir[1]) << 8, crc);

    // The same logo again: nothing sent, all bytes reported.
    EXPECT_EQ(c.write(data, &count), 0);
    EXPECT_EQ(count, 11);
    drain();
    EXPECT_TRUE(sent().empty());

    // The next open reads the directory: checksums match, nothing erased or sent.
    Client63& d = client(false);
    EXPECT_NE(d.OpenCount(), 0);
    c.ioctl(POS_SYS_RELEASE_DEVICE);
    ASSERT_EQ(d.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    ASSERT_EQ(d.set({{"printMode", PRN63_MODE_LOAD_LOGO}}), 0);
    drain();
    mark();
    EXPECT_EQ(d.write(data, &count), 0);
    EXPECT_EQ(count, 11);
    drain();
    EXPECT_TRUE(sent().empty());

    // Logo numbers outside 1-61 are refused and send nothing.
    EXPECT_EQ(d.write(logo(62, 0)), 4914);
    EXPECT_EQ(d.write(logo(0xFF, 0)), 4914);
    drain();
    EXPECT_TRUE(sent().empty());
}

TEST_F(V63Logo, ADifferentLogoUnderAUsedNumberErasesAndSendsThePresentOnesAgain) {
    online(options());
    Client63& c = client();
    ASSERT_EQ(c.set({{"printMode", PRN63_MODE_LOAD_LOGO}}), 0);
    c.write(logo(1, 0x11));
    c.write(logo(2, 0x22));
    drain();
    mark();
    EXPECT_EQ(c.write(logo(1, 0x33)), 0);
    drain();
    const std::vector<Bytes> frames = sent();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0], of({0x1B, 0x29, 0x00, 0x1B, 0x23, 0x01}));
    EXPECT_EQ(str(frames[1]).substr(2), logo(2, 0x22));
    EXPECT_EQ(frames[2], of({0x1B, 0x22, 0x01}));
    EXPECT_EQ(str(frames[3]).substr(2), logo(1, 0x33));
    EXPECT_EQ(frames[4], of({0x1B, 0x22, 0x01}));
    EXPECT_EQ(model().logoMemory().size(), 22u);
}

TEST_F(V63Logo, EscBDLoadsALogoAndACutShortOneLoadsNothing) {
    online(options());
    Client63& c = client();
    drain();
    mark();
    const std::string data = logo(3, 0x77);
    std::string esc = "\x1b" "BD";
    esc += static_cast<char>(0);
    esc += static_cast<char>(data.size());
    esc += data;
    esc += 'x'; // the byte after the data is skipped
    int count = 0;
    EXPECT_EQ(c.write(esc + "A\n", &count), 0);
    drain();
    const std::vector<Bytes> frames = sent();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], of({0x1B, 0x29, 0x00, 0x1B, 0x23, 0x01}));
    EXPECT_EQ(str(frames[1]).substr(2), data);
    EXPECT_EQ(model().lines(P6397Model::CR).back().back(), 'A');
    EXPECT_EQ(c.write(esc.substr(0, 10)), 0); // the data not all there
    drain();
    EXPECT_TRUE(sent().empty());
}

TEST_F(V63Logo, FlashRecordsAreWrittenAndReadBack) {
    online(options());
    Client63& c = client();
    drain();
    mark();
    ASSERT_EQ(c.set({{"recordLength", 10}}), 0);
    EXPECT_EQ(c.get("recordLength"), 10);
    EXPECT_EQ(c.get("maximumRecords"), (65536 - 257) / 10);
    drain();
    // The record layout goes to the start of the flash: length and count, high first.
    EXPECT_EQ(sent(), std::vector<Bytes>{of({0x1B, 0x27, 0x08, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0x19, 0x7F})});
    c.queue.take();
    const std::string w = std::string("\x1bw") + std::string("\x01\x00\x00\x00\x03\x00", 6) + "ABC";
    const std::string r = std::string("\x1br") + std::string("\x01\x00\x00\x00", 4);
    int count = 0;
    EXPECT_EQ(c.write(w + r, &count), 0);
    EXPECT_EQ(count, 17);
    drain();
    Bytes write = of({0x1B, 0x27, 0x0A, 0x00, 0x01, 0x01, 'A', 'B', 'C'});
    write.resize(16, 0);
    const std::vector<Bytes> frames = sent();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], write);
    EXPECT_EQ(frames[1], of({0x1B, 0x00, 0x20, 0x00}));
    EXPECT_EQ(frames[2], of({0x1B, 0x34, 0x0A, 0x00, 0x01, 0x01}));
    EXPECT_EQ(dataEvents(c), (std::vector<RecordedEvent>{{POSM_PRN_DATA_AVAIL, 0x30001, 10}}));

    Bytes got;
    EXPECT_EQ(read(c, PRN63_READ_FLASH, 17, got), 312); // one byte short: kept
    Bytes expected = of({1, 0, 0, 0, 10, 0, 0, 0, 'A', 'B', 'C'});
    expected.resize(18, 0);
    EXPECT_EQ(read(c, PRN63_READ_FLASH, 18, got), 0); // exactly length + 8
    EXPECT_EQ(got, expected);
    EXPECT_EQ(c.get("printReadMode"), PRN63_READ_OLDEST);
}

TEST_F(V63Logo, FlashEscapesThatAreRefusedStopTheWrite) {
    online(options());
    Client63& c = client();
    ASSERT_EQ(c.set({{"recordLength", 10}}), 0);
    drain();
    mark();
    int count = 0;
    // Count 0: the six argument bytes, then 4930 stops the write.
    EXPECT_EQ(c.write(std::string("\x1bw\x01\x00\x00\x00\x00\x00XY", 10), &count), 4930);
    EXPECT_EQ(count, 8);
    // A count above the record length writes one record and takes all the data.
    EXPECT_EQ(c.write(std::string("\x1bw\x02\x00\x00\x00\x0c\x00", 8) + "0123456789AB", &count), 0);
    EXPECT_EQ(count, 20);
    // Record 0 and arguments cut short.
    EXPECT_EQ(c.write(std::string("\x1br\x00\x00\x00\x00", 6)), 4930);
    EXPECT_EQ(c.write(std::string("\x1bw\x01\x00", 4), &count), 4930);
    EXPECT_EQ(count, 4);
    drain();
    Bytes write = of({0x1B, 0x27, 0x0A, 0x00, 0x01, 0x0B});
    for (char ch : std::string("0123456789")) write.push_back(static_cast<unsigned char>(ch));
    const std::vector<Bytes> frames = sent();
    ASSERT_GE(frames.size(), 1u);
    EXPECT_EQ(frames[0], write);
}

TEST_F(V63Logo, ImageEscapesSendTheirFramesAndLocationsArrive) {
    P6397Model::Options o = options();
    o.subtype = 8;
    o.feature = 0x04;
    online(o);
    Client63& c = client();
    ASSERT_TRUE(c.Imaging());
    drain();
    mark();
    c.queue.take();
    const std::string eight = "ABCDEFGH";
    const std::string thirteen = "ABCDEFGHIJKLM";
    const std::string thirtyTwo(32, 'z');
    struct Case {
        std::string escape;
        Bytes frame;
    } cases[] = {
        {"\x1b\x80" + eight, of({0x1B, 0x39, 'A', 'B', 0, 0, 0, 0, 0, 0})},
        {"\x1b\x81" + eight, of({0x1B, 0x39, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'})},
        {"\x1b\x82" + thirteen, of({0x1B, 0x30, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M'})},
        {"\x1b\x83\x05", of({0x1B, 0x3E, 0x05})},
        {"\x1b\x84" + std::string("123456789") + "name",
         of({0x1B, 0x41, '1', '2', '3', '4', '5', '6', '7', '8', '9', 'n', 'a', 'm', 'e', 0})},
        {"\x1b\x86", of({0x1D, 0x4E, 0x01, 0x00})},
        {"\x1b\x87", of({0x1D, 0x4E, 0x01, 0x01})},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(c.write(k.escape), 0) << hex(Bytes(k.escape.begin(), k.escape.end()));
        drain();
        EXPECT_EQ(sent(), std::vector<Bytes>{k.frame}) << hex(k.frame);
    }
    Bytes compress = of({0x1B, 0x41, 0x11});
    compress.insert(compress.end(), thirtyTwo.begin(), thirtyTwo.end());
    compress.push_back(0);
    EXPECT_EQ(c.write("\x1b\x85" + thirtyTwo), 0);
    drain();
    EXPECT_EQ(sent(), std::vector<Bytes>{compress});
    EXPECT_EQ(dataEvents(c), (std::vector<RecordedEvent>{{POSM_PRN_DATA_AVAIL, 0x60001, 1},
                                                           {POSM_PRN_DATA_AVAIL, 0x70001, 0}}));

    // Arguments cut short: what remains is consumed and nothing is sent.
    for (const std::string& cut : {std::string("\x1b\x80" "ABC"), std::string("\x1b\x82" "ABCDEFGHIJKL"),
                                   std::string("\x1b\x84" "1234"), std::string("\x1b\x85" "zz")}) {
        int count = 0;
        EXPECT_EQ(c.write(cut, &count), 0);
        EXPECT_EQ(count, static_cast<int>(cut.size()));
        drain();
        EXPECT_TRUE(sent().empty()) << hex(Bytes(cut.begin(), cut.end()));
    }

    // Image data and a finished scan go to the read list; four zero bytes post nothing.
    model().scanData(of({0xAB, 0xCD}), false);
    model().scanData(of({0, 0, 0, 0}), true);
    model().scanData(of({1, 2, 3, 4}), true);
    for (int i = 0; i < 20; ++i) round();
    EXPECT_EQ(dataEvents(c), (std::vector<RecordedEvent>{{POSM_PRN_DATA_AVAIL, 0x50001, 2},
                                                           {POSM_PRN_DATA_AVAIL, 0x40001, 4}}));
    Bytes got;
    EXPECT_EQ(read(c, PRN63_READ_OLDEST, 100, got), 0); // the oldest entry's type
    EXPECT_EQ(got, of({0xAB, 0xCD}));
    EXPECT_EQ(read(c, -1, 100, got), 0); // the mode is 255 again after every read
    EXPECT_EQ(got, of({1, 2, 3, 4}));
}

TEST_F(V63Logo, ReadsAndWhatThePhysicalPrinterReports) {
    online(options());
    Client63& c = client();
    drain();
    c.queue.take();
    Bytes got;
    // Mode 255 with nothing stored: 0 bytes, result 0.
    EXPECT_EQ(read(c, PRN63_READ_OLDEST, 100, got), 0);
    EXPECT_TRUE(got.empty());
    // Raw-mode data are read in raw mode; MICR digits are hidden in the trace.
    ASSERT_EQ(c.set({{"printMode", PRN63_MODE_RAW}}), 0);
    unsigned char micr[] = {'1', '2', '3', '4', '5'};
    EXPECT_EQ(c.tell(PRN63_TV_RAW_DATA, micr, 5), 0);
    EXPECT_EQ(dataEvents(c), (std::vector<RecordedEvent>{{POSM_PRN_DATA_AVAIL, 0x20001, 5}}));
    ovkhost::clearCaptures();
    EXPECT_EQ(read(c, 1, 4, got), 312);
    EXPECT_EQ(read(c, 1, 5, got), 0);
    EXPECT_EQ(str(got), "12345");
    bool traced = false;
    for (const auto& t : ovkhost::traces())
        if (t.component == 93 && t.minor == 307) traced = std::string(t.data.begin(), t.data.end()) == "*****";
    EXPECT_TRUE(traced);
    // Four zero bytes of a finished scan post nothing.
    unsigned char zero[4] = {};
    EXPECT_EQ(c.tell(PRN63_TV_IMAGE1, zero, 4), 0);
    EXPECT_TRUE(dataEvents(c).empty());
    // The MCT values: 512 bytes or 312.
    EXPECT_EQ(read(c, PRN63_READ_MCT, 511, got), 312);
    EXPECT_EQ(read(c, PRN63_READ_MCT, 512, got), 0);
    EXPECT_EQ(got.size(), 512u);
    // Not acquired: 315.
    c.ioctl(POS_SYS_RELEASE_DEVICE);
    EXPECT_EQ(read(c, -1, 10, got), 315);
}

} // namespace
