// The adapter's own NVRAM through the simulated driver node (journalled writes, the journal
// played again at start-up, the journal kept out of the clients' reach), and the power
// alarm's calendar rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "NvTerminal.h"

namespace nvtest {
namespace {

constexpr uint32_t kJournal = 8192 - 1040;

void NodeWrite(NvTerminal& t, unsigned char* rec) {
    int fd = -1;
    ASSERT_EQ(t.engine.open("/dev/ovkdcs", fd), 0);
    t.engine.ioctl(fd, bussim::req::kNvramWrite, rec, 2064);
    EXPECT_EQ(rec[0], 0);
    t.engine.close(fd);
}

// Bytes put into the node's memory behind the device's back.
void Poke(NvTerminal& t, uint32_t offset, const std::string& data) {
    unsigned char rec[2064] = {};
    rec[4] = 1;
    const uint32_t words[2] = {offset, static_cast<uint32_t>(data.size())};
    std::memcpy(rec + 8, words, sizeof words);
    std::memcpy(rec + 16, data.data(), data.size());
    NodeWrite(t, rec);
}

// A journal block: state, target, length, data.
void Journal(NvTerminal& t, uint8_t state, uint32_t target, uint32_t length, const std::string& data) {
    std::string block(16, '\0');
    block[0] = static_cast<char>(state);
    std::memcpy(&block[4], &target, 4);
    std::memcpy(&block[8], &length, 4);
    Poke(t, kJournal, block + data);
}

std::string Memory(NvTerminal& t, uint32_t offset, uint32_t length) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(t.engine.nvramDump(1, offset, length, bytes));
    return std::string(bytes.begin(), bytes.end());
}

NVMMP* Start(NvTerminal& t) {
    NVMMP* p = t.Attach<NVMMP>(NVMMP_TYPE_ID, NVRAM_ADDRESS_LOCAL, nullptr);
    EXPECT_NE(p, nullptr) << t.initResult;
    return p;
}

class LocalNvram : public ::testing::Test {
protected:
    NvTerminal t;
};

TEST_F(LocalNvram, WritesThroughTheJournalAndKeepsItOutOfReach) {
    NVMMP* p = Start(t);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->Confirmed(NVRAM_ADDRESS_LOCAL));
    auto v = t.Nvram(NVRAM_ADDRESS_LOCAL);
    EXPECT_EQ(v->GetSize(), static_cast<int>(kJournal));
    ASSERT_EQ(t.Write(*v, "AB"), 0);
    EXPECT_EQ(t.adapter.nvramWrites, 3); // journal block, its state, the record
    EXPECT_EQ(Memory(t, 0, 6), std::string("\x02\x00\x41\x42\x00\xFB", 6));
    // The journal: complete, target 0, length 6, the record.
    EXPECT_EQ(Memory(t, kJournal, 22), std::string("\x02\0\0\0\0\0\0\0\x06\0\0\0\0\0\0\0\x02\x00\x41\x42\x00\xFB", 22));
    t.Release(*v);
    auto r = t.Nvram(NVRAM_ADDRESS_LOCAL);
    EXPECT_EQ(t.Read(*r), "AB");
    t.Release(*r);

    // A raw write that would reach the journal is refused and changes nothing.
    auto raw = t.Nvram(NVRAM_ADDRESS_LOCAL, NVRAM_MODE_RAW, static_cast<int>(kJournal) - 2);
    EXPECT_EQ(t.Write(*raw, "abc"), POSERR_NVRAM_NOT_ENOUGH_ROOM);
    NvramRequest rq;
    unsigned char bytes[4] = {'a', 'b', 'c', 'd'};
    rq.offset = static_cast<int32_t>(kJournal) - 2;
    rq.buffer = bytes;
    rq.length = 4;
    EXPECT_EQ(p->TellPhys(nullptr, NVRAM_REQ_WRITE, reinterpret_cast<unsigned char*>(&rq), sizeof rq), 321);
    EXPECT_EQ(Memory(t, kJournal, 1), std::string("\x02", 1));
}

TEST(LocalNvramStartUp, PlaysACompleteJournalOnceAndIgnoresOthers) {
    struct Case {
        const char* name;
        uint8_t state;
        uint32_t target, length;
        bool played;
    } cases[] = {
        {"complete", 2, 100, 4, true},
        {"being written", 1, 100, 4, false},
        {"longer than a record", 2, 100, 1025, false},
        {"past the end", 2, 8190, 4, false},
        {"onto the journal", 2, kJournal - 2, 4, false},
    };
    for (const Case& c : cases) {
        NvTerminal t;
        Journal(t, c.state, c.target, c.length, "WXYZ");
        Poke(t, 100, "old!");
        ASSERT_NE(Start(t), nullptr) << c.name;
        EXPECT_EQ(Memory(t, 100, 4), c.played ? "WXYZ" : "old!") << c.name;
        EXPECT_EQ(Memory(t, kJournal, 1), std::string(1, c.played ? '\0' : static_cast<char>(c.state))) << c.name;
        EXPECT_EQ(t.adapter.nvramWrites, c.played ? 2 : 0) << c.name;
    }
}

TEST_F(LocalNvram, NoMemoryNoDevice) {
    bussim::TerminalDescription d = bussim::TerminalDescription::standard();
    d.slots[1].nvramSize = 0;
    NvTerminal none(d);
    EXPECT_EQ(none.Attach<NVMMP>(NVMMP_TYPE_ID, NVRAM_ADDRESS_LOCAL, nullptr), nullptr);
    EXPECT_EQ(none.initResult, 301);
}

// ---------------------------------------------------------------------------------------
// The power alarm.

std::time_t At(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(PowerAlarm, CalendarRule) {
    const char* tz = std::getenv("TZ");
    const std::string saved = tz ? tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    struct Case {
        uint32_t alarm;
        std::time_t now;
        int rc;
        const char* bytes;
    } cases[] = {
        {0x00235900, At(2026, 4, 10, 12, 0), 0, "000000"},          // day 0: no alarm
        {0x31120000, At(2026, 4, 10, 12, 0), 6401, ""},             // April has 30 days
        {0x31120000, At(2026, 3, 10, 12, 0), 0, "120031"},          // March has 31
        {0x31110000, At(2026, 3, 31, 12, 0), 6401, ""},             // passed: April, no 31st
        {0x10120000, At(2026, 12, 20, 12, 0), 0, "120010"},         // into January
        {0x10120000, At(2026, 4, 10, 11, 59), 0, "120010"},         // a minute ahead: this month
        {0x32120000, At(2026, 4, 10, 12, 0), 6401, ""},
        {0x10240000, At(2026, 4, 10, 12, 0), 6402, ""},
        {0x10126000, At(2026, 4, 10, 12, 0), 6403, ""},
        {0x101A0000, At(2026, 4, 10, 12, 0), 6402, ""},             // not a BCD hour
    };
    for (const Case& c : cases) {
        unsigned char bytes[3] = {0xEE, 0xEE, 0xEE};
        EXPECT_EQ(NVPOWERV::AlarmBytes(c.alarm, c.now, bytes), c.rc) << std::hex << c.alarm;
        if (c.rc == 0) {
            char text[8];
            std::snprintf(text, sizeof text, "%02X%02X%02X", bytes[0], bytes[1], bytes[2]);
            EXPECT_STREQ(text, c.bytes) << std::hex << c.alarm;
        }
    }
    if (tz) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

} // namespace
} // namespace nvtest
