// The model-6397 printer's read list and its flash records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Prnt63Flash.h"
#include "Prnt63ReadList.h"
#include "ovkhost.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Event {
    unsigned long p1, p2;
    bool operator==(const Event& o) const { return p1 == o.p1 && p2 == o.p2; }
};

class Prn63Reads : public ::testing::Test {
protected:
    Prn63Reads() : reads([this](unsigned long p1, unsigned long p2) { events.push_back({p1, p2}); }) {}

    Bytes read(int (Prnt63ReadList::*how)(unsigned char*, int, int&), int n, int expectRc = 0) {
        Bytes buf(static_cast<size_t>(n > 0 ? n : 1));
        int got = -1;
        EXPECT_EQ((reads.*how)(buf.data(), n, got), expectRc);
        buf.resize(static_cast<size_t>(got > 0 ? got : 0));
        return buf;
    }

    std::vector<Event> events;
    Prnt63ReadList reads;
};

TEST_F(Prn63Reads, EachKindIsStoredAnnouncedAndReadOnce) {
    const Bytes micr = {'1', '2', '3', '4', '5'};
    reads.SetMicrStatus(0x12, 0x34);
    EXPECT_EQ(reads.StoreMicrData(micr.data(), 5), 0);
    EXPECT_EQ(reads.StoreScanData(micr.data(), 2), 0);
    EXPECT_EQ(reads.StoreScanComplete(micr.data(), 3), 0);
    EXPECT_EQ(events, (std::vector<Event>{{0x20000, 0x34120005}, {0x50000, 2}, {0x40000, 3}}));
    EXPECT_EQ(reads.OldestType(), PRN63_READ_MICR);

    EXPECT_EQ(read(&Prnt63ReadList::ReadScanData, 2), (Bytes{'1', '2'}));
    EXPECT_EQ(read(&Prnt63ReadList::ReadMicrData, 4, 312), Bytes{}); // too small: kept
    EXPECT_EQ(read(&Prnt63ReadList::ReadMicrData, 5), micr);
    EXPECT_EQ(read(&Prnt63ReadList::ReadMicrData, 5), Bytes{}); // none left: 0 bytes, 0
    EXPECT_EQ(reads.OldestType(), PRN63_READ_SCAN_COMPLETE);
    EXPECT_EQ(read(&Prnt63ReadList::ReadScanComp, 100), (Bytes{'1', '2', '3'}));
    EXPECT_EQ(reads.OldestType(), 0);
}

TEST_F(Prn63Reads, FourZeroBytesOfScanCompletePostNothing) {
    const Bytes zero(4, 0);
    EXPECT_EQ(reads.StoreScanComplete(zero.data(), 4), 0);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(reads.Count(), 0);
}

TEST_F(Prn63Reads, EntriesOfLengthZeroAreDroppedAndOverlongDataRefused) {
    reads.StoreMicrData(nullptr, 0);
    const Bytes one = {'9'};
    reads.StoreMicrData(one.data(), 1);
    EXPECT_EQ(read(&Prnt63ReadList::ReadMicrData, 10), one);
    EXPECT_EQ(reads.Count(), 0);

    ovkhost::clearCaptures();
    const Bytes big(PRN63_READ_MAX + 1, 'x');
    EXPECT_EQ(reads.StoreMicrData(big.data(), static_cast<int>(big.size())), 318);
    EXPECT_EQ(reads.StoreFlashData(big.data(), static_cast<int>(big.size())), 318);
    EXPECT_TRUE(ovkhost::errorLogged(20314));
    const Bytes full(PRN63_READ_MAX, 'y');
    EXPECT_EQ(reads.StoreScanData(full.data(), PRN63_READ_MAX), 0);
    EXPECT_EQ(read(&Prnt63ReadList::ReadScanData, PRN63_READ_MAX), full);
}

TEST_F(Prn63Reads, FlashDataFollowTheirPendingReads) {
    const Bytes data = {'A', 'B', 'C'};
    EXPECT_EQ(reads.StoreFlashData(data.data(), 3), 0); // nobody waits: nothing
    EXPECT_TRUE(events.empty());
    reads.AddPendingRead(7);
    reads.AddPendingRead(8);
    reads.StoreFlashData(data.data(), 3);
    EXPECT_EQ(events, (std::vector<Event>{{0x30000, 3}}));
    EXPECT_EQ(reads.PendingCount(), 1);
    EXPECT_EQ(read(&Prnt63ReadList::ReadFlashData, 10, 312), Bytes{}); // length + 8 needed
    EXPECT_EQ(read(&Prnt63ReadList::ReadFlashData, 11), (Bytes{7, 0, 0, 0, 3, 0, 0, 0, 'A', 'B', 'C'}));
    reads.DiscardMicrData(PRN63_READ_FLASH);
    EXPECT_EQ(reads.PendingCount(), 0);
}

TEST_F(Prn63Reads, DiscardTakesOnlyItsType) {
    const Bytes d = {1};
    reads.StoreMicrData(d.data(), 1);
    reads.StoreScanData(d.data(), 1);
    reads.StoreMicrData(d.data(), 1);
    reads.DiscardMicrData(PRN63_READ_MICR);
    EXPECT_EQ(reads.Count(), 1);
    reads.DiscardMicrData(PRN63_READ_OLDEST); // type 255: none of those
    EXPECT_EQ(reads.Count(), 1);
    EXPECT_EQ(reads.OldestType(), PRN63_READ_SCAN);
}

TEST(Prn63ReadTrace, MicrDigitsAreHidden) {
    ovkhost::clearCaptures();
    const Bytes micr = {'1', '2', '3', '4', '5'};
    Prnt63TraceRead(PRN63_READ_MICR, micr.data(), 5);
    Prnt63TraceRead(PRN63_READ_SCAN, micr.data(), 2);
    const auto traces = ovkhost::traces();
    ASSERT_GE(traces.size(), 2u);
    const auto& a = traces[traces.size() - 2];
    const auto& b = traces.back();
    EXPECT_EQ(a.minor, 307u);
    EXPECT_EQ(std::string(a.data.begin(), a.data.end()), "*****");
    EXPECT_EQ(std::string(b.data.begin(), b.data.end()), "12");
    EXPECT_EQ(micr[0], '1');
}

// Flash records on the staging area, flushed into a list of frames.
class Prn63FlashArea : public ::testing::Test {
protected:
    Prn63FlashArea() {
        records.recordLength = 10;
        records.memoryAvailable = Prnt63FlashAvailable(65536);
        records.maximumRecords = records.memoryAvailable / 10;
        flush = [this] {
            if (area.Staged()) frames.push_back({area.Staged(), Bytes(area.Data(), area.Data() + area.Fill())});
            area.Sent();
            return 0;
        };
    }
    // ESC w of a record with data (count as given).
    int write(uint32_t record, int count, const Bytes& data, int& err) {
        Bytes esc = {'w', static_cast<unsigned char>(record), static_cast<unsigned char>(record >> 8),
                     static_cast<unsigned char>(record >> 16), static_cast<unsigned char>(record >> 24),
                     static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8)};
        esc.insert(esc.end(), data.begin(), data.end());
        return area.EscapeWriteFlash(esc.data(), static_cast<int>(esc.size()), err, records, flush);
    }
    int readRecord(uint32_t record, int& err) {
        const Bytes esc = {'r', static_cast<unsigned char>(record), 0, 0, 0};
        return area.EscapeReadFlash(esc.data(), 5, err, records, flush, reads);
    }

    struct Frame {
        unsigned short code;
        Bytes bytes;
    };
    Prnt63FlashRecords records;
    Prnt63FlashArea area;
    Prnt63ReadList reads;
    Prnt63FlashArea::Flush flush;
    std::vector<Frame> frames;
};

TEST_F(Prn63FlashArea, OneRecordIsWrittenAndReadAtItsAddress) {
    int err = 0;
    EXPECT_EQ(write(1, 3, {'A', 'B', 'C'}, err), 9);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(area.Staged(), PRN63_FLASH_WRITE);
    EXPECT_EQ(readRecord(2, err), 4);
    EXPECT_EQ(err, 0);
    flush();
    ASSERT_EQ(frames.size(), 2u);
    Bytes w = {0x1B, 0x27, 0x0A, 0x00, 0x01, 0x01, 'A', 'B', 'C'};
    w.resize(16, 0);
    EXPECT_EQ(frames[0].code, PRN63_FLASH_WRITE);
    EXPECT_EQ(frames[0].bytes, w);
    EXPECT_EQ(frames[1].code, PRN63_FLASH_READ);
    EXPECT_EQ(frames[1].bytes, (Bytes{0x1B, 0x34, 0x0A, 0x00, 0x01, 0x0B}));
    EXPECT_EQ(reads.PendingCount(), 1);
}

TEST_F(Prn63FlashArea, CountsAndRecordsThatAreRefused) {
    struct Case {
        uint32_t record;
        int count;
        size_t given;
        int consumed, err;
    } cases[] = {
        {1, 0, 0, 6, 4930},                 // count 0: the 6 argument bytes
        {0, 3, 3, 9, 4930},                 // record 0
        {6528, 3, 3, 9, 4930},              // above the maximum records
        {1, 12, 12, 18, 0},                 // longer than the record: one record
        {1, 5, 2, 8, 4930},                 // data missing: what remains
    };
    for (const Case& c : cases) {
        int err = 0;
        EXPECT_EQ(write(c.record, c.count, Bytes(c.given, 'x'), err), c.consumed) << c.record << " " << c.count;
        EXPECT_EQ(err, c.err);
    }
    flush();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes.size(), 16u); // one record of 10 bytes
    int err = 0;
    const unsigned char shortEsc[] = {'w', 1, 0, 0};
    EXPECT_EQ(area.EscapeWriteFlash(shortEsc, 4, err, records, flush), 3);
    EXPECT_EQ(err, 4930);
    err = 0;
    EXPECT_EQ(area.EscapeReadFlash(shortEsc, 2, err, records, flush, reads), 1);
    EXPECT_EQ(err, 4930);
    err = 0;
    EXPECT_EQ(readRecord(0, err), 4);
    EXPECT_EQ(err, 4930);
    EXPECT_EQ(reads.PendingCount(), 0);
}

TEST_F(Prn63FlashArea, NoLengthSetOrNoFlashRefusesEveryRecord) {
    int err = 0;
    records.recordLength = 0;
    EXPECT_EQ(write(1, 1, {'a'}, err), 7);
    EXPECT_EQ(err, 4930);
    EXPECT_EQ(Prnt63FlashAvailable(0), 0u);
    EXPECT_EQ(Prnt63FlashAvailable(257), 0u);
    EXPECT_EQ(Prnt63FlashAvailable(258), 1u);
    uint32_t address = 0;
    Prnt63FlashRecords one{1, 10, 10};
    EXPECT_TRUE(Prnt63FlashAddress(one, 10, address));
    EXPECT_EQ(address, 265u);
    // An address beyond 24 bits is refused.
    Prnt63FlashRecords wide{200, 0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_TRUE(Prnt63FlashAddress(wide, 83885, address));
    EXPECT_FALSE(Prnt63FlashAddress(wide, 83886, address));
}

TEST_F(Prn63FlashArea, TheAreaFlushesBeforeARecordWouldNotFit) {
    area.Clear(PRN63_FLASH_AREA_OPEN);
    records.recordLength = 200;
    records.maximumRecords = 10;
    records.memoryAvailable = 10 * 200 + 10;
    int err = 0;
    EXPECT_EQ(write(1, 1, {'a'}, err), 7);
    EXPECT_EQ(area.Fill(), 206);
    EXPECT_EQ(write(2, 1, {'b'}, err), 7);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(area.Fill(), 206);
    unsigned char layout[8];
    Prnt63RecordLayoutBytes(10, 0x123456, layout);
    EXPECT_EQ(Bytes(layout, layout + 8), (Bytes{0, 0, 0, 10, 0, 0x12, 0x34, 0x56}));
}

} // namespace
