// Slots: the adapter and device tables, building adapters and devices through them, the
// device list, the lock, the sniffer notices and the RS-485 slot's start-up and shut-down.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "SioFakes.h"
#include "SioSlot.h"
#include "TempRoot.h"
#include "ovkhost.h"

using namespace siotest;

namespace {
// The adapter classes of the table rows for adapter types 5 (3800) and 661 (37000), in
// place of their plug-ins.
ObjectSupport objectTestAdapter3800(3800, _CreateTestAdapter);
ObjectSupport objectTestAdapter37000(37000, _CreateTestAdapter);
} // namespace
namespace fs = std::filesystem;

namespace {

// A device whose opens can be made to fail.
class OpenableDevice : public PDEV {
public:
    OpenableDevice(const DeviceID& id, int openResult = 0) : PDEV(id, "OPENABLE"), openResult_(openResult) {}
    int Open(const VDEV* vdev) override { return openResult_ ? openResult_ : PDEV::Open(vdev); }
    using PDEV::Open;

private:
    int openResult_;
};

bool printed(const std::string& text) {
    for (const auto& line : ovkhost::printedLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

class SlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
    }
    void TearDown() override { ResetLoadedFlagsForTest(); }
    TempRoot root_;
};

// --- tables --------------------------------------------------------------------------------

TEST_F(SlotTest, AdapterTableRows) {
    struct Case {
        unsigned short type;
        uint16_t factory;
        const char* library;
    };
    for (Case c : {Case{0, 1400, ""}, Case{1, 3500, "ovka6842"}, Case{6, 3500, "ovka6842"},
                   Case{0xEFCB, 3600, "ovka64m1"}, Case{2, 3700, "ovka64m2"}, Case{5, 3800, "ovka6751"},
                   Case{0x917D, 3800, "ovka6751"}, Case{661, 37000, "ovkatvrn"}}) {
        AdapterInfoRow* row = FindAdapterInfo(c.type);
        ASSERT_NE(row, nullptr) << c.type;
        EXPECT_EQ(row->factoryType, c.factory) << c.type;
        EXPECT_STREQ(row->library, c.library) << c.type;
        EXPECT_EQ(row->loaded, c.type == 0 ? 1 : 0) << c.type;
    }
    EXPECT_EQ(FindAdapterInfo(3), nullptr);
    EXPECT_EQ(FindAdapterInfo(0xF803), nullptr);
}

TEST_F(SlotTest, DeviceTableFirstMatchingRowWins) {
    // At 0x41 the third row (1700 again) is never reached.
    PhysicalInfoRow* first = FindPhysicalInfo(0x41, 1700);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->factoryType, 10200);
    EXPECT_EQ(first + 1, FindPhysicalInfo(0x41, 10500));
    EXPECT_EQ((first + 2)->address, 0x41);
    EXPECT_EQ((first + 2)->requestedType, 1700);

    struct Case {
        uint8_t address;
        long type;
        uint16_t factory;
        const char* library;
        const char* library2;
    };
    for (Case c : {Case{0xFE, 1600, 1600, "", ""}, Case{0x5D, 29400, 29400, "ovktelo1", "ovkt95m1"},
                   Case{0x1C, 18400, 18400, "ovkkob50", "ovkkbdob"},
                   Case{0x1D, 18400, 18400, "ovkkob50", "ovkk83an"},
                   Case{0x19, 21000, 21000, "ovkkplu", "ovkkbdob"}, Case{0x24, 5700, 5700, "ovkdoper", ""},
                   Case{0x24, 1700, 5200, "ovkdanop", ""}, Case{0x86, 1700, 8300, "ovkn93s", "ovknvram"},
                   Case{0x4B, 34900, 34900, "ovksnoem", ""}, Case{0x6E, 31800, 31800, "ovksloem", ""},
                   Case{0x85, 8600, 8600, "ovknmmpp", "ovknvram"}}) {
        PhysicalInfoRow* row = FindPhysicalInfo(c.address, c.type);
        ASSERT_NE(row, nullptr) << std::hex << int(c.address) << " " << std::dec << c.type;
        EXPECT_EQ(row->factoryType, c.factory);
        EXPECT_STREQ(row->library, c.library);
        EXPECT_STREQ(row->library2, c.library2);
    }
    EXPECT_EQ(FindPhysicalInfo(0x30, 19700), nullptr); // only as the class for 1700
    // Every row is a real row, and only the three sniffer rows start loaded.
    int loaded = 0;
    for (const PhysicalInfoRow& row : physicalInfo.rows) {
        EXPECT_NE(row.requestedType, 0);
        loaded += row.loaded;
    }
    EXPECT_EQ(loaded, 3);
}

// --- adapters ------------------------------------------------------------------------------

TEST_F(SlotTest, AdapterTypeWithoutARowLeavesTheSlotWithoutAdapter) {
    SioSlot slot(0x1234, 2, "SioSlot");
    EXPECT_EQ(slot.Init(), 321);
    ASSERT_TRUE(ovkhost::errorLogged(1021));
    for (const auto& e : ovkhost::errorLog()) {
        if (e.logId == 1021) {
            EXPECT_EQ(e.extra, 327u);
        }
    }
    ADAPTER* adapter = nullptr;
    EXPECT_EQ(slot.FindAdapter(adapter), 327);
    EXPECT_EQ(slot.ServiceAdapter(0), 337);
}

TEST_F(SlotTest, MissingAdapterLibraryGives337WithoutLogAndIsTriedAgain) {
    SioSlot slot(661, 3, "SioSlot");
    ADAPTER* adapter = nullptr;
    EXPECT_EQ(slot.MakeAdapter(adapter), 337);
    EXPECT_EQ(slot.MakeAdapter(adapter), 337);
    EXPECT_EQ(adapter, nullptr);
    EXPECT_TRUE(ovkhost::errorLog().empty());
    EXPECT_EQ(FindAdapterInfo(661)->loaded, 0);
    int tries = 0;
    for (const auto& line : ovkhost::printedLines()) tries += line.find("Could not load") != std::string::npos;
    EXPECT_EQ(tries, 2);
}

TEST_F(SlotTest, BuiltInRowNeedsNoLibrary) {
    // Adapter type 0 is the system board's row (1400), built in and loaded from the start.
    Slot slot(0, 0, "PlnrSlot");
    ADAPTER* adapter = nullptr;
    int rc = slot.MakeAdapter(adapter);
    EXPECT_FALSE(printed("load"));
    if (ObjectSupport::AdapterRegistered(1400)) {
        EXPECT_EQ(rc, 0);
        delete adapter;
    } else {
        EXPECT_EQ(rc, 321);
        EXPECT_TRUE(ovkhost::errorLogged(1021));
    }
}

TEST_F(SlotTest, RowsLoadedGiveTheRegisteredAdapter) {
    markAdapterRowsLoaded();
    SioSlot slot(5, 2, "SioSlot");
    ADAPTER* adapter = nullptr;
    ASSERT_EQ(slot.MakeAdapter(adapter), 0);
    ASSERT_NE(dynamic_cast<TestAdapter*>(adapter), nullptr);
    EXPECT_EQ(adapter->GetSlotNumber(), 2);
    EXPECT_EQ(adapter->GetAdapterType(), 5);
    EXPECT_TRUE(printed("--> <<TESTSIO >> created"));
    delete adapter;
}

// --- devices -------------------------------------------------------------------------------

TEST_F(SlotTest, MakePhysicalLoadsTheRowsLibraryRetryingAfterAFailure) {
    SioSlot slot(5, 1, "SioSlot");
    auto* sniffer = new TestSniffer(DeviceID(1, 0, 0xFE));
    ASSERT_EQ(slot.LinkinPhysical(sniffer), 0);
    PDEV* device = nullptr;
    const DeviceID id(1, 0x11, 0x4A);
    EXPECT_EQ(slot.MakePhysical(id, 34900, device), 337);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(FindPhysicalInfo(0x4A, 34900)->loaded, 0);
    EXPECT_FALSE(ovkhost::errorLogged(1022));

    fs::copy_file(OVK_SLOT_TEST_PLUGIN, root_.at("/usr/lib/libovksnoem.so.0"));
    ASSERT_EQ(slot.MakePhysical(id, 34900, device), 0);
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(device->NameTag(), "<<SNOEMTST>>");
    EXPECT_EQ(device->GetDeviceID(), id);
    EXPECT_EQ(FindPhysicalInfo(0x4A, 34900)->loaded, 1);
    EXPECT_TRUE(printed("--> <<SNOEMTST>> (1.11.4a) created"));
    // The library's addresses joined the poll set and the sniffer was told.
    BitVec256 set;
    slot.GetValidPollAddrs(set);
    EXPECT_TRUE(set.test(0x4A));
    EXPECT_EQ(sniffer->notices, std::vector<int>{1233});
    delete device;
    // The same row at the other address is loaded already: no second load.
    ovkhost::clearCaptures();
    ASSERT_EQ(slot.MakePhysical(DeviceID(1, 0x22, 0x4A), 34900, device), 0);
    EXPECT_FALSE(printed("Loaded"));
    delete device;
    slot.LinkoutPhysical(sniffer);
    delete sniffer;
}

TEST_F(SlotTest, MakePhysicalFailuresAreLogged) {
    SioSlot slot(5, 1, "SioSlot");
    PDEV* device = nullptr;
    EXPECT_EQ(slot.MakePhysical(DeviceID(1, 0x11, 0x30), 4711, device), 321);
    ASSERT_TRUE(ovkhost::errorLogged(1022));
    auto entry = ovkhost::errorLog().back();
    EXPECT_EQ(entry.rc, 321u);
    EXPECT_EQ(entry.extra, 0x01113000u);
    ASSERT_EQ(entry.blocks.size(), 1u);
    EXPECT_EQ(entry.blocks[0], (std::vector<uint8_t>{0x67, 0x12, 0, 0}));
    ovkhost::clearCaptures();
    EXPECT_EQ(slot.MakePhysical(DeviceID(2, 0x11, 0xFE), 1600, device), 321); // another slot
    EXPECT_TRUE(ovkhost::errorLogged(1022));
    // A loaded row whose class is not registered: the registry's answer.
    ovkhost::clearCaptures();
    EXPECT_EQ(slot.MakePhysical(DeviceID(1, 0, 0xFE), 1930, device), -1);
    EXPECT_TRUE(ovkhost::errorLogged(1022));
}

TEST_F(SlotTest, LinkingKeepsDevicesAtTheHeadAndTheSnifferAtTheEnd) {
    SioSlot slot(5, 1, "SioSlot");
    auto* a = new TestLinkDevice(DeviceID(1, 0x11, 0x30));
    auto* b = new TestLinkDevice(DeviceID(1, 0x11, 0x40));
    auto* s = new TestSniffer(DeviceID(1, 0, 0xFE));
    ASSERT_EQ(slot.LinkinPhysical(a), 0);
    ASSERT_EQ(slot.LinkinPhysical(s), 0);
    ASSERT_EQ(slot.LinkinPhysical(b), 0);
    EXPECT_EQ(slot.ListedDevices(), (std::vector<PDEV*>{b, a, s}));

    struct Case {
        const PDEV* device;
        uint32_t log;
    };
    TestLinkDevice twin(DeviceID(1, 0x11, 0x30));
    TestLinkDevice elsewhere(DeviceID(2, 0x11, 0x31));
    for (Case c : {Case{a, 1013}, Case{&twin, 1015}, Case{&elsewhere, 1012}, Case{nullptr, 1011}}) {
        ovkhost::clearCaptures();
        EXPECT_EQ(slot.LinkinPhysical(c.device), 321);
        EXPECT_TRUE(ovkhost::errorLogged(c.log)) << c.log;
    }

    // Finding, with application addresses mapped to bus addresses.
    PDEV* found = nullptr;
    EXPECT_EQ(slot.FindPhysical(DeviceID(1, 0x11, 0x40), found), 0);
    EXPECT_EQ(found, b);
    EXPECT_EQ(slot.FindPhysical(DeviceID(1, 0x11, 0x41), found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(slot.FindPhysical(DeviceID(3, 0x11, 0x40), found), 326);
    EXPECT_TRUE(ovkhost::errorLogged(1004));

    // Unlinking tells the sniffer which device left.
    ASSERT_EQ(slot.LinkoutPhysical(a), 0);
    EXPECT_EQ(slot.ListedDevices(), (std::vector<PDEV*>{b, s}));
    ASSERT_EQ(s->departed.size(), 1u);
    EXPECT_EQ(s->departed[0], DeviceID(1, 0x11, 0x30));
    ovkhost::clearCaptures();
    EXPECT_EQ(slot.LinkoutPhysical(a), 321);
    EXPECT_TRUE(ovkhost::errorLogged(1019));
    EXPECT_EQ(slot.LinkoutPhysical(nullptr), 0);
    // The sniffer's own departure is not announced.
    ASSERT_EQ(slot.LinkoutPhysical(s), 0);
    EXPECT_EQ(s->departed.size(), 1u);
    ASSERT_EQ(slot.LinkoutPhysical(b), 0);
    delete a;
    delete b;
    delete s;
}

TEST_F(SlotTest, ApplicationAddressesMapToBusAddresses) {
    Slot slot(5, 1, "SioSlot");
    struct Case {
        uint8_t in, out;
    };
    for (Case c : {Case{0x30, 0x30}, Case{0x87, 0x85}, Case{0x83, 0x54}, Case{0x84, 0x54},
                   Case{0x86, 0x51}, Case{0xFE, 0xFE}, Case{0x90, 0x90}}) {
        DeviceID id(1, 0x11, c.in);
        EXPECT_EQ(slot.MapApplAddrToSIO(id), 0);
        EXPECT_EQ(id.device, c.out) << std::hex << int(c.in);
    }
}

TEST_F(SlotTest, OpenFailureUndoesTheOpensThatSucceeded) {
    SioSlot slot(5, 1, "SioSlot");
    auto* a = new OpenableDevice(DeviceID(1, 0x11, 0x30));
    auto* b = new OpenableDevice(DeviceID(1, 0x11, 0x31), 301);
    auto* c = new OpenableDevice(DeviceID(1, 0x11, 0x32));
    slot.LinkinPhysical(a);
    slot.LinkinPhysical(b);
    slot.LinkinPhysical(c); // list: c, b, a
    EXPECT_EQ(slot.OpenPhysicalDevices(), 301);
    ASSERT_TRUE(ovkhost::errorLogged(1027));
    EXPECT_EQ(ovkhost::errorLog().back().extra, 1u | 3u << 16);
    EXPECT_EQ(c->OpenCount(), 0);
    EXPECT_EQ(b->OpenCount(), 0);
    EXPECT_EQ(a->OpenCount(), 0);
    // Closing the slot's devices gives back no open that was never taken. (This slot is not
    // in a system object, so the devices' Term cannot unlink them: the slot does.)
    ovkhost::clearCaptures();
    slot.ClosePhysicalDevices();
    EXPECT_TRUE(slot.ListedDevices().empty());
    EXPECT_FALSE(ovkhost::errorLogged(302));
}

TEST_F(SlotTest, CloseKeepsDevicesStillOpenElsewhereAndTakesThemOffline) {
    SioSlot slot(5, 1, "SioSlot");
    auto* busy = new OpenableDevice(DeviceID(1, 0x11, 0x30));
    auto* idle = new OpenableDevice(DeviceID(1, 0x11, 0x31));
    slot.LinkinPhysical(busy);
    slot.LinkinPhysical(idle);
    ASSERT_EQ(slot.OpenPhysicalDevices(), 0);
    busy->Open(nullptr); // a virtual device holds it too
    busy->SetStatusBits(PDEV_PRESENT);
    slot.ClosePhysicalDevices();
    EXPECT_EQ(slot.ListedDevices(), std::vector<PDEV*>{busy});
    EXPECT_FALSE(busy->TestStatusBits(PDEV_PRESENT));
    int remaining = 0;
    busy->Close(nullptr, remaining);
    EXPECT_EQ(slot.LinkoutPhysical(busy), 0);
    delete busy;
}

TEST_F(SlotTest, SniffersAreToldFromTheEndOfTheList) {
    SioSlot slot(5, 1, "SioSlot");
    unsigned char id[3] = {1, 0x11, 0x30};
    EXPECT_EQ(slot.NotifySniffers(1231, id, 3), 0); // none there
    auto* s = new TestSniffer(DeviceID(1, 0, 0xFE));
    auto* d = new TestLinkDevice(DeviceID(1, 0x11, 0x30));
    slot.LinkinPhysical(s);
    slot.LinkinPhysical(d);
    EXPECT_EQ(slot.NotifySniffers(1232, id, 3), 0);
    EXPECT_EQ(s->notices, std::vector<int>{1232});
    s->noticeResult = 5;
    EXPECT_EQ(slot.NotifySniffers(1233, id, 3), 5);
    EXPECT_TRUE(ovkhost::errorLogged(1026));
    slot.LinkoutPhysical(s);
    slot.LinkoutPhysical(d);
    delete s;
    delete d;
}

TEST_F(SlotTest, PollSetHoldsTheAddressesWithADeviceType) {
    Slot slot(5, 1, "SioSlot");
    BitVec256 set;
    slot.GetValidPollAddrs(set);
    for (unsigned a : {0x10u, 0x30u, 0x4Au, 0x6Eu}) EXPECT_TRUE(set.test(a)) << a;
    for (unsigned a : {0x00u, 0x7Au, 0x7Fu, 0x85u}) EXPECT_FALSE(set.test(a)) << a;
    EXPECT_EQ(ObjectSupport::SIOAddresses[0x30].valid, 1);
}

TEST_F(SlotTest, SlotLockRecordsItsOwnerAndRefusesAForeignRelease) {
    Slot slot(5, 1, "SioSlot");
    ASSERT_EQ(slot.LockSlot(), 0);
    EXPECT_EQ(slot.LockOwner(), chGetThreadId());
    EXPECT_EQ(slot.LockSlot(), 0); // recursive
    int foreign = 0;
    std::thread([&] { foreign = slot.UnlockSlot(); }).join();
    EXPECT_EQ(foreign, 301);
    EXPECT_TRUE(ovkhost::errorLogged(1028));
    EXPECT_EQ(slot.UnlockSlot(), 0);
    EXPECT_EQ(slot.UnlockSlot(), 0);
}

// --- RS-485 slot through the system object ---------------------------------------------------

class SioSlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        markAdapterRowsLoaded();
        node_.slotTypes[2] = SLOT_TYPE_RS485;
        node_.adapterTypes[2] = 5;
        chSetDevNodeBackend(&node_);
    }
    void TearDown() override {
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
    }
    Slot* build() {
        comd_ = std::make_unique<COMD>();
        return pcomd->GetSlot(2);
    }
    TempRoot root_;
    ScriptedNode node_;
    std::unique_ptr<COMD> comd_;
};

TEST_F(SioSlotTest, StartUpLinksAdapterAndSnifferAndOpensTheDevices) {
    Slot* slot = build();
    ASSERT_NE(slot, nullptr);
    EXPECT_NE(dynamic_cast<SioSlot*>(slot), nullptr);
    EXPECT_STREQ(slot->NameTag(), "<<SioSlot >>");
    ASSERT_NE(slot->GetAdapter(), nullptr);
    EXPECT_EQ(slot->GetAdapter()->GetDeviceList(), slot->GetDeviceList());
    EXPECT_EQ(slot->GetAdapter()->GetOwnerSlot(), slot);
    auto devices = slot->ListedDevices();
    ASSERT_EQ(devices.size(), 1u);
    // The sniffer, made at {2, 0, 0xFE} (its walk may move its port and address).
    EXPECT_EQ(devices[0]->GetDeviceType(), 0xFF);
    EXPECT_EQ(devices[0]->GetDeviceID().slot, 2);
    EXPECT_EQ(devices[0]->OpenCount(), 1);
    EXPECT_EQ(slot->GetSnifferFlag(), 1);
    EXPECT_EQ(slot->GetAdapter()->GetOpenCount(), 1);
    // The adapter's NVRAM (class 8100 at 0x85) needs a library that is not there.
    EXPECT_EQ(dynamic_cast<SioSlot*>(slot)->GetLocalNvramFlag(), 0);
    EXPECT_EQ(FindPhysicalInfo(0x85, 8100)->loaded, 0);
    // A second sniffer is not made.
    EXPECT_EQ(slot->MakeSniffer(1600), 0);
    EXPECT_EQ(slot->ListedDevices().size(), 1u);
}

TEST_F(SioSlotTest, StatusTableListsTheDevicesButNotTheSniffer) {
    Slot* slot = build();
    ASSERT_NE(slot, nullptr);
    auto* d = new TestLinkDevice(DeviceID(2, 0x11, 0x30));
    ASSERT_EQ(d->Init(), 0);
    ASSERT_EQ(slot->LinkinPhysical(d), 0);
    slot->RequestStatusDisplay();
    slot->ServiceAdapter(0);
    int lines = 0;
    for (const auto& l : ovkhost::printedLines()) {
        if (l.find("(02.") == std::string::npos) continue;
        ++lines;
        EXPECT_EQ(l, "TESTDEV  (02.11.30) Offline 00      0      0      0      0      0      0      0\n");
    }
    EXPECT_EQ(lines, 1);
    ovkhost::clearCaptures();
    slot->ServiceAdapter(0);
    EXPECT_FALSE(printed("(02.11.30)"));
}

TEST_F(SioSlotTest, SlotWhoseAdapterLibraryIsMissingIsNotKept) {
    // Adapter type 661 on slot 3 with its row not loaded: no adapter, no slot.
    ResetLoadedFlagsForTest();
    node_.slotTypes[3] = SLOT_TYPE_RS485;
    node_.adapterTypes[3] = 661;
    build();
    EXPECT_EQ(pcomd->GetSlot(3), nullptr);
    EXPECT_EQ(pcomd->GetSlot(2), nullptr);
}

TEST_F(SioSlotTest, TermClosesEverythingAndLeavesNoAdapter) {
    Slot* slot = build();
    ASSERT_NE(slot, nullptr);
    auto* d = new TestLinkDevice(DeviceID(2, 0x11, 0x30));
    ASSERT_EQ(d->Init(), 0);
    ASSERT_EQ(slot->LinkinPhysical(d), 0);
    ASSERT_EQ(d->Open(nullptr), 0);
    EXPECT_EQ(slot->Term(), 0);
    EXPECT_TRUE(slot->ListedDevices().empty());
    EXPECT_EQ(slot->GetAdapter(), nullptr);
    EXPECT_EQ(slot->GetSnifferFlag(), 0);
    EXPECT_EQ(slot->ServiceAdapter(0), 337);
    EXPECT_FALSE(ovkhost::errorLogged(101));
}

TEST_F(SioSlotTest, LocalNvramDeviceIsMadeWhenTheAdapterHasOne) {
    // The NVRAM class (8100) is registered and its row's library counts as loaded.
    static ObjectSupport objectNvram(8100, +[](const DeviceID& id) -> PDEV* {
        return new TestLinkDevice(id, "NVRAMTST");
    }, static_cast<const unsigned char*>(nullptr), 0);
    FindPhysicalInfo(0x85, 8100)->loaded = 1;
    Slot* slot = build();
    ASSERT_NE(slot, nullptr);
    auto* sio = dynamic_cast<SioSlot*>(slot);
    EXPECT_EQ(sio->GetLocalNvramFlag(), 1);
    PDEV* nvram = nullptr;
    EXPECT_EQ(slot->FindPhysical(DeviceID(2, 0x11, 0x87), nvram), 0); // 0x87 maps to 0x85
    ASSERT_NE(nvram, nullptr);
    EXPECT_STREQ(nvram->NameTag(), "<<NVRAMTST>>");
    EXPECT_EQ(nvram->OpenCount(), 1);
    // Made once only.
    EXPECT_EQ(sio->MakeLocalNvram(), 0);
    EXPECT_EQ(slot->ListedDevices().size(), 2u);
    EXPECT_EQ(sio->TermLocalNvram(), 0);
    EXPECT_EQ(sio->GetLocalNvramFlag(), 0);
}

} // namespace
