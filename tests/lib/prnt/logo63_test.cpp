// The model-6397 printer's logo directory, its files and the logo loads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "Prnt63Logo.h"
#include "Prnt63Logos.h"
#include "TempRoot.h"
#include "sycrc.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Logo data of a number: width 1, height 1, eight image bytes of the given value.
Bytes logo(int number, unsigned char fill) {
    Bytes d = {static_cast<unsigned char>(number), 1, 1};
    d.insert(d.end(), 8, fill);
    return d;
}

// Records what a load sends: "8", "129" and "logo NN" (its number).
class Sink : public Prnt63LogoSink {
public:
    uint16_t checksum = 0;
    int checksumAsked = 0;
    int sendError = 0;
    std::vector<std::string> sent;

    uint16_t LogoChecksum() override {
        ++checksumAsked;
        return checksum;
    }
    int QueueLogoCommand(unsigned short code) override {
        sent.push_back(std::to_string(code));
        return 0;
    }
    int SendLogo(const unsigned char* data, int n, int& written) override {
        if (sendError) return sendError;
        sent.push_back("logo " + std::to_string(data[0]));
        written = n;
        return 0;
    }
};

TEST(Prn63LogoFile, LayoutIsLittleEndianWithSixtyOneEntries) {
    LogoFile f;
    f.checksum = 0x1234;
    f.memoryUsed = 0x01020304;
    f.entries[0].number = 1;
    f.entries[0].crc = 0xABCD;
    f.entries[0].length = 11;
    f.entries[0].present = 1;
    std::strcpy(f.entries[0].fileName, "/x/6397-S-logo-01.dat");
    f.entries[60].number = 61;
    unsigned char bytes[PRN63_LOGO_FILE_SIZE];
    Prnt63EncodeLogoFile(f, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + 8), (Bytes{0x34, 0x12, 0, 0, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(Bytes(bytes + 8, bytes + 16), (Bytes{1, 0, 0xCD, 0xAB, 11, 0, 1, 0}));
    EXPECT_STREQ(reinterpret_cast<char*>(bytes + 16), "/x/6397-S-logo-01.dat");
    EXPECT_EQ(bytes[8 + 60 * 264], 61);

    LogoFile back;
    Prnt63DecodeLogoFile(bytes, back);
    EXPECT_EQ(back.checksum, 0x1234);
    EXPECT_EQ(back.memoryUsed, 0x01020304u);
    EXPECT_EQ(back.entries[0].crc, 0xABCD);
    EXPECT_STREQ(back.entries[0].fileName, "/x/6397-S-logo-01.dat");

    // A name without a terminating 0 in its 256 bytes is not taken.
    std::memset(bytes + 16, 'a', 256);
    Prnt63DecodeLogoFile(bytes, back);
    EXPECT_STREQ(back.entries[0].fileName, "");
    EXPECT_EQ(back.entries[1].number, 0);
}

TEST(Prn63LogoFile, NamesUnderTheRootAndTheConfiguredDirectory) {
    TempRoot root;
    EXPECT_EQ(Prnt63LogoFileName("", "SIM00001", 1), root.at("/var/log/6397-SIM00001-logo-01.dat"));
    EXPECT_EQ(Prnt63LogoFileName("", "SIM00001", 0), root.at("/var/log/6397-SIM00001.dat"));
    EXPECT_EQ(Prnt63LogoFileName("/srv/logos", "S", 61), root.at("/srv/logos/6397-S-logo-61.dat"));
    EXPECT_EQ(Prnt63LogoFileName("", "S", 62), "");
    EXPECT_EQ(Prnt63LogoFileName("", "S", -1), "");
    // A name over 255 characters is refused, never shortened into another path.
    EXPECT_EQ(Prnt63LogoFileName("/" + std::string(250, 'd'), "S", 1), "");
    const std::string name = GetPrinterLogoFileName("S", 2);
    EXPECT_EQ(name, root.at("/var/log/6397-S-logo-02.dat"));
}

TEST(Prn63LogoFile, FilesAreWrittenWithUmask022AndReadWhole) {
    TempRoot root;
    const std::string path = root.at("/var/log/logo.dat");
    const mode_t old = umask(0);
    const Bytes data = logo(1, 0x55);
    EXPECT_EQ(WriteLogoFile(path.c_str(), data.data(), static_cast<int>(data.size())), 0);
    EXPECT_EQ(umask(old), 0u); // restored
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    Bytes back(data.size());
    EXPECT_EQ(ReadLogoFile(path.c_str(), back.data(), static_cast<int>(back.size())), 0);
    EXPECT_EQ(back, data);
    Bytes more(data.size() + 1);
    EXPECT_EQ(ReadLogoFile(path.c_str(), more.data(), static_cast<int>(more.size())), -1); // short
    EXPECT_EQ(ReadLogoFile(root.at("/var/log/none").c_str(), back.data(), 1), -1);
    EXPECT_EQ(WriteLogoFile(root.at("/no/such/dir/x").c_str(), data.data(), 1), -1);

    LogoFile f, g;
    f.checksum = 7;
    EXPECT_EQ(WritePrinterLogoFile(path.c_str(), &f), 0);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, PRN63_LOGO_FILE_SIZE);
    EXPECT_EQ(ReadPrinterLogoFile(path.c_str(), &g), 0);
    EXPECT_EQ(g.checksum, 7);
}

TEST(Prn63LogoFile, LogoDataRule) {
    struct Case {
        Bytes data;
        int rc;
    } cases[] = {
        {logo(1, 0), 0},
        {logo(61, 0), 0},
        {logo(62, 0), 4914},   // no entry for it
        {{1, 1, 1}, 4914},     // below 4 bytes
        {{1, 2, 1, 0}, 4914},  // length is not x * y * 8 + 3
        {{1, 0, 5, 0}, 4914},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Prnt63CheckLogoData(c.data.data(), static_cast<int>(c.data.size())), c.rc);
}

class Prn63Logos : public ::testing::Test {
protected:
    int load(const Bytes& d) {
        int written = -1;
        rc = logos.Load(sink, d.data(), static_cast<int>(d.size()), written);
        return written;
    }

    TempRoot root;
    Sink sink;
    Prnt63Logos logos;
    int rc = -1;
};

TEST_F(Prn63Logos, TheSameLogoTwiceIsSentOnce) {
    logos.Open("S1", sink);
    EXPECT_FALSE(logos.Valid());
    EXPECT_EQ(load(logo(1, 0x11)), 11);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"8", "logo 1", "129"}));
    EXPECT_EQ(root.read("/var/log/6397-S1-logo-01.dat").size(), 11u);
    EXPECT_EQ(logos.Directory().memoryUsed, 11u);

    sink.sent.clear();
    EXPECT_EQ(load(logo(1, 0x11)), 11);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(sink.sent.empty());
    EXPECT_EQ(sink.checksumAsked, 3); // at open and at each load
}

TEST_F(Prn63Logos, ADifferentLogoUnderAUsedNumberErasesAndResendsThePresentOnes) {
    logos.Open("S1", sink);
    load(logo(1, 0x11));
    load(logo(2, 0x22));
    load(logo(3, 0x33));
    sink.sent.clear();
    EXPECT_EQ(load(logo(2, 0x44)), 11);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"8", "logo 1", "logo 3", "129", "logo 2", "129"}));
    EXPECT_EQ(logos.Directory().memoryUsed, 33u);
    Bytes file(11);
    ASSERT_EQ(ReadLogoFile(root.at("/var/log/6397-S1-logo-02.dat").c_str(), file.data(), 11), 0);
    EXPECT_EQ(file, logo(2, 0x44));
}

TEST_F(Prn63Logos, TheDirectoryRoundTripSparesTheDownload) {
    logos.Open("S1", sink);
    load(logo(1, 0x11));
    const Bytes stored = logo(1, 0x11);
    sink.checksum = CalculateCRC(stored.data(), static_cast<int>(stored.size()));
    EXPECT_EQ(logos.StoreChecksum(sink.checksum), 0);
    EXPECT_EQ(root.read("/var/log/6397-S1.dat").size(), size_t(PRN63_LOGO_FILE_SIZE));

    Prnt63Logos next;
    next.Open("S1", sink);
    EXPECT_TRUE(next.Valid());
    EXPECT_EQ(next.Directory().entries[0].present, 0);
    sink.sent.clear();
    int written = 0;
    EXPECT_EQ(next.Load(sink, stored.data(), 11, written), 0);
    EXPECT_EQ(written, 11);
    EXPECT_TRUE(sink.sent.empty());

    // A printer whose memory changed: the directory is not trusted, the load erases first.
    sink.checksum ^= 1;
    Prnt63Logos changed;
    changed.Open("S1", sink);
    EXPECT_FALSE(changed.Valid());
    EXPECT_EQ(changed.Directory().entries[0].length, 0);
    EXPECT_EQ(changed.Load(sink, stored.data(), 11, written), 0);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"8", "logo 1", "129"}));
}

TEST_F(Prn63Logos, AfterAnOpenOnlyLogosLoadedSinceAreResent) {
    logos.Open("S1", sink);
    load(logo(1, 0x11));
    load(logo(2, 0x22));
    logos.StoreChecksum(0);
    Prnt63Logos next;
    next.Open("S1", sink);
    ASSERT_TRUE(next.Valid());
    int written = 0;
    const Bytes two = logo(2, 0x22);
    next.Load(sink, two.data(), 11, written); // present again, nothing sent
    sink.sent.clear();
    const Bytes one = logo(1, 0x99);
    EXPECT_EQ(next.Load(sink, one.data(), 11, written), 0);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"8", "logo 2", "129", "logo 1", "129"}));
    EXPECT_EQ(next.Directory().memoryUsed, 22u);
}

TEST_F(Prn63Logos, NamesFromTheDirectoryFileAreNeverUsedAsPaths) {
    // A directory file whose entries name other files: not present, so their entries go,
    // and only this printer's own name for the number is ever deleted.
    const std::string victim = root.at("/var/log/keep.dat");
    root.write("/var/log/keep.dat", "x");
    root.write("/var/log/6397-S1-logo-05.dat", "old");
    LogoFile f;
    f.checksum = 0x4242;
    f.entries[4].number = 5;
    f.entries[4].length = 11;
    f.entries[4].crc = 1;
    std::strcpy(f.entries[4].fileName, victim.c_str());
    ASSERT_EQ(WritePrinterLogoFile(root.at("/var/log/6397-S1.dat").c_str(), &f), 0);
    sink.checksum = 0x4242;
    logos.Open("S1", sink);
    ASSERT_TRUE(logos.Valid());
    EXPECT_EQ(load(logo(5, 0x12)), 11);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"8", "logo 5", "129"}));
    EXPECT_EQ(root.read("/var/log/keep.dat"), "x");
    EXPECT_EQ(root.read("/var/log/6397-S1-logo-05.dat").size(), 11u);
}

TEST_F(Prn63Logos, BadDataAndFailuresSendNothingMore) {
    logos.Open("S1", sink);
    struct Case {
        Bytes data;
        int rc, written;
    } cases[] = {
        {{0}, 0, 1},                  // number 0: one byte taken
        {logo(62, 0), 4914, 0},       // outside 1-61
        {logo(255, 0), 4914, 0},
        {{1, 2, 1, 0, 0}, 4914, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.data), c.written);
        EXPECT_EQ(rc, c.rc);
    }
    EXPECT_TRUE(sink.sent.empty());
    sink.sendError = 4950;
    load(logo(1, 0));
    EXPECT_EQ(rc, 4950);
    EXPECT_EQ(sink.sent, (std::vector<std::string>{"8"})); // no store after a failed send
    EXPECT_EQ(logos.Directory().entries[0].length, 0);
}

} // namespace
