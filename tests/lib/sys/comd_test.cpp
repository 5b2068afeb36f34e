// The system object: configuration, slots from the driver node, system resources and
// values, the poll-list check, the process list and event routes, DBCS helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "COMD.h"
#include "CoreFakes.h"
#include "ObjectSupport.h"
#include "PosException.h"
#include "TempRoot.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace fs = std::filesystem;

namespace {

// A driver node that answers the slot information and the vital product data.
struct FakeNode : DevNodeBackend {
    uint32_t adapterTypes[9] = {};
    uint32_t slotTypes[9] = {};
    uint8_t vpd[24] = {};
    uint8_t vpdResult = 0;
    int opens = 0;
    int open(const char* path, int& fd) override {
        if (std::strcmp(path, "/dev/ovkdcs") != 0) return ENOENT;
        fd = 10 + opens++;
        return 0;
    }
    void ioctl(int, unsigned long request, void* record, size_t size) override {
        auto* r = static_cast<uint8_t*>(record);
        if (request == DCS_GET_SLOT_INFO && size == 220) {
            std::memcpy(r + 4, adapterTypes, sizeof adapterTypes);
            std::memcpy(r + 40, slotTypes, sizeof slotTypes);
        } else if (request == DCS_GET_VPD && size == 28) {
            r[0] = vpdResult;
            std::memcpy(r + 4, vpd, sizeof vpd);
        }
    }
    int close(int) override { return 0; }
};

std::vector<std::string>* g_slotLog = nullptr;
std::vector<std::string> g_built;

Slot* buildFakeSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    g_built.push_back(std::to_string(slot) + ":" + std::to_string(slotType) + ":" +
                      std::to_string(adapterType));
    // Slot 4 fails to start.
    return new FakeSlot(adapterType, static_cast<unsigned short>(slot),
                        slotType == 2 ? "SioSlot" : "PlnrSlot", g_slotLog, slot == 4 ? 327 : 0);
}

class ComdTest : public ::testing::Test {
protected:
    void SetUp() override {
        coreSystemValues() = CoreSystemValues{};
        for (const char* v : {"OVK_TRACE_OPTIONS", "OVK_PROBE_OPTIONS", "OVK_ALERT_GENERATION"})
            unsetenv(v);
        ovkhost::clearCaptures();
        g_built.clear();
        g_slotLog = &slotLog_;
        previousBuilder_ = SetSlotBuilder(buildFakeSlot);
    }
    void TearDown() override {
        comd_.reset();
        EXPECT_EQ(pcomd, nullptr);
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
        g_slotLog = nullptr;
        for (const char* v : {"OVK_TRACE_OPTIONS", "OVK_PROBE_OPTIONS", "OVK_ALERT_GENERATION"})
            unsetenv(v);
    }
    COMD& build() {
        comd_ = std::make_unique<COMD>();
        return *comd_;
    }
    int buildResources(const char* resources, std::vector<PosArg> args = {}) {
        if (resources) root_.write("/etc/ovksys.res", resources);
        return comd_->BuildResourceDatabase(reinterpret_cast<const unsigned char*>("ovkctrl"),
                                            reinterpret_cast<const unsigned char*>(" /etc/ovksys.res"),
                                            args.empty() ? nullptr : args.data(),
                                            static_cast<int>(args.size()));
    }
    intptr_t get(const char* name) {
        PosArg a{name, -12345};
        EXPECT_EQ(comd_->SystemGetValues(&a, 1), 0);
        return a.value;
    }

    TempRoot root_;
    FakeNode node_;
    std::vector<std::string> slotLog_;
    SlotBuilder previousBuilder_ = nullptr;
    std::unique_ptr<COMD> comd_;
};

// ---------------------------------------------------------------------------------------
// Configuration

TEST_F(ComdTest, DataPathFromTheConfigurationOrTheDefaults) {
    struct Case {
        const char* conf;
        bool fontsFolder;
        const char* expected;
    };
    const Case cases[] = {
        {"data-path = /opt/pos\n", true, "/opt/pos"},
        {"data-path='/opt/pos'\n", true, "/opt/pos"},
        {"DATA-PATH=\"/opt/pos\"\n", false, "/opt/pos"},
        {"# nothing\n", true, "/usr/share/pos"},
        {"# nothing\n", false, "/usr/local/share/pos"},
        {"[printer]\ndata-path = /opt/pos\n", true, "/usr/share/pos"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.conf);
        root_.write("/etc/ovksys.conf", c.conf);
        if (c.fontsFolder) fs::create_directories(root_.at("/usr/share/pos/fonts"));
        else fs::remove_all(root_.at("/usr/share/pos"));
        EXPECT_STREQ(build().GetDataPath(), c.expected);
        comd_.reset();
    }
}

TEST_F(ComdTest, DebugAndTraceKeys) {
    struct Case {
        const char* conf;
        uint16_t traceOptions;
        bool togglesDebug;
    };
    const Case cases[] = {
        {"Debug = On\n", 1, true},
        {"debug = 1\n", 0, false},
        {"trace = yes\n", 2, false},
        {"DEBUG=true\nTrace=ON\n", 3, true},
        {"[global]\ndebug = on\n", 0, false}, // that section is not the default one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.conf);
        root_.write("/etc/ovksys.conf", c.conf);
        bool before = DebugEnabled();
        EXPECT_EQ(build().GetTraceOptions(), c.traceOptions);
        EXPECT_EQ(DebugEnabled() != before, c.togglesDebug);
        if (DebugEnabled() != before) ToggleDebug();
        comd_.reset();
    }
}

TEST_F(ComdTest, DebugFileDefaultAndConfigured) {
    build();
    EXPECT_TRUE(fs::exists(root_.at("/var/log/ovkdebug.log")));
    comd_.reset();
    root_.write("/etc/ovksys.conf", "debug file = /var/log/mine.log\n");
    build();
    EXPECT_TRUE(fs::exists(root_.at("/var/log/mine.log")));
}

TEST_F(ComdTest, FailedStartUpLeavesNoSystemObject) {
    COMD::FailNextStartupForTest(301);
    try {
        COMD comd;
        FAIL() << "constructed";
    } catch (const PosException& e) {
        EXPECT_EQ(e.getErrorCode(), 301);
        EXPECT_STREQ(e.what(), "*** Error (301): COMD::CommonPostinit() failed");
    }
    EXPECT_EQ(pcomd, nullptr);
    // The next start-up works again.
    EXPECT_EQ(&build(), pcomd);
}

// ---------------------------------------------------------------------------------------
// Slots

TEST_F(ComdTest, SlotTypesFromTheNodeWithSlotZeroTheSystemBoard) {
    node_.adapterTypes[0] = 0x1234;     // replaced for the system board
    node_.adapterTypes[3] = 0x0001917D; // only the low 16 bits count
    node_.slotTypes[3] = 2;
    node_.adapterTypes[4] = 5;
    node_.slotTypes[4] = 2; // its slot fails to start
    node_.adapterTypes[5] = 661;
    node_.slotTypes[5] = 4; // no slot class for this type
    chSetDevNodeBackend(&node_);
    COMD& c = build();

    EXPECT_EQ(c.GetSlotType(0), 1);
    EXPECT_EQ(c.GetAdapterType(0), 0xF803);
    EXPECT_EQ(c.GetSlotType(3), 2);
    EXPECT_EQ(c.GetAdapterType(3), 0x917D);
    EXPECT_EQ(c.GetSlotType(5), 4);
    EXPECT_EQ(c.GetAdapterType(5), 661);
    EXPECT_EQ(g_built, (std::vector<std::string>{"0:1:63491", "3:2:37245", "4:2:5"}));

    ASSERT_NE(c.GetSlot(0), nullptr);
    EXPECT_STREQ(c.GetSlot(0)->NameTag(), "<<PlnrSlot>>");
    ASSERT_NE(c.GetSlot(3), nullptr);
    EXPECT_STREQ(c.GetSlot(3)->NameTag(), "<<SioSlot >>");
    EXPECT_EQ(c.GetSlot(4), nullptr);
    EXPECT_EQ(c.GetSlot(5), nullptr);
    EXPECT_NE(std::find(slotLog_.begin(), slotLog_.end(), "4:deleted"), slotLog_.end());

    for (int s : {0, 3}) EXPECT_EQ(c.ValidateSlot(s), 0) << s;
    for (int s : {-1, 1, 4, 5, 8, 9}) EXPECT_EQ(c.ValidateSlot(s), 326) << s;

    slotLog_.clear();
    comd_.reset();
    EXPECT_EQ(slotLog_, (std::vector<std::string>{"0:Term", "0:deleted", "3:Term", "3:deleted"}));
}

TEST_F(ComdTest, WithoutANodeOnlyTheSystemBoardSlot) {
    COMD& c = build();
    EXPECT_EQ(g_built, (std::vector<std::string>{"0:1:63491"}));
    for (int s = 1; s < 9; ++s) {
        EXPECT_EQ(c.GetSlotType(s), 0);
        EXPECT_EQ(c.GetAdapterType(s), 0);
    }
}

// ---------------------------------------------------------------------------------------
// System values and resources

TEST_F(ComdTest, VitalProductDataThroughSystemGetValues) {
    for (int i = 0; i < 24; ++i) node_.vpd[i] = static_cast<uint8_t>(i + 1);
    chSetDevNodeBackend(&node_);
    COMD& c = build();
    EXPECT_EQ(c.GetVitalProductData(), 0);
    uint8_t vpd[24] = {};
    PosArg args[] = {{"vitalProductData", reinterpret_cast<intptr_t>(vpd)}};
    ASSERT_EQ(c.SystemGetValues(args, 1), 0);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(vpd[i], i + 1);

    // A failing request keeps what was read before.
    node_.vpdResult = 17;
    node_.vpd[0] = 0xEE;
    EXPECT_EQ(c.GetVitalProductData(), 0);
    ASSERT_EQ(c.SystemGetValues(args, 1), 0);
    EXPECT_EQ(vpd[0], 1);

    // An unwritable buffer ends the scan with the check's code.
    PosArg bad[] = {{"vitalProductData", 0}, {"slotMask", 0}};
    EXPECT_EQ(c.SystemGetValues(bad, 2), 334);
    EXPECT_EQ(bad[1].value, 0);
}

TEST_F(ComdTest, SubsystemVersionAndOtherValues) {
    build();
    ASSERT_EQ(buildResources(nullptr), 0);
    char version[16];
    std::memset(version, 'x', sizeof version);
    PosArg args[] = {{"subsystemVersion", reinterpret_cast<intptr_t>(version)},
                     {"traceOptions", -1},
                     {"probeOptions", -1},
                     {"alertGeneration", -1},
                     {"serviceThreadPrty", -1},
                     {"slotMask", 0},
                     {"unknownName", 77},
                     {nullptr, 88}};
    ASSERT_EQ(comd_->SystemGetValues(args, 8), 0);
    EXPECT_STREQ(version, "0000 ");
    EXPECT_EQ(args[1].value, 0);
    EXPECT_EQ(args[2].value, 1);
    EXPECT_EQ(args[3].value, 0);
    EXPECT_EQ(args[4].value, 0);
    EXPECT_EQ(static_cast<uint32_t>(args[5].value), 0xFFFFFFFFu);
    EXPECT_EQ(args[6].value, 77);
    EXPECT_EQ(args[7].value, 88);
}

TEST_F(ComdTest, AlertGenerationFromTheEnvironment) {
    struct Case {
        const char* value;
        intptr_t expected;
    };
    for (Case c : {Case{"ON", 1}, Case{"on", 1}, Case{"enabled", 0}, Case{"onx", 0}}) {
        SCOPED_TRACE(c.value);
        setenv("OVK_ALERT_GENERATION", c.value, 1);
        build();
        ASSERT_EQ(buildResources(nullptr), 0);
        EXPECT_EQ(get("alertGeneration"), c.expected);
        comd_.reset();
    }
}

TEST_F(ComdTest, ResourcesOverTheEnvironmentDefaults) {
    setenv("OVK_TRACE_OPTIONS", "1f", 1);
    setenv("OVK_PROBE_OPTIONS", "A", 1);
    build();
    ASSERT_EQ(buildResources("! no system values\n"), 0);
    EXPECT_EQ(get("traceOptions"), 0x1F);
    EXPECT_EQ(get("probeOptions"), 0x0A);
    comd_.reset();

    build();
    ASSERT_EQ(buildResources("ovkctrl.OVKSYS.traceOptions: 0x21\n"
                             "ovkctrl.OVKSYS.alertGeneration: yes\n"
                             "ovkctrl.OVKSYS.serviceThreadPrty: 7\n"
                             "ovkctrl.OVKSYS.slotMask: 5\n"),
              0);
    EXPECT_EQ(get("traceOptions"), 0x21);
    EXPECT_EQ(get("probeOptions"), 0x0A);
    EXPECT_EQ(get("alertGeneration"), 1);
    EXPECT_EQ(get("serviceThreadPrty"), 7);
    EXPECT_EQ(static_cast<uint32_t>(get("slotMask")), 0xFFFFFFFFu); // -1 keeps -1
    EXPECT_EQ(comd_->GetPollList(), nullptr); // never kept once checked
}

TEST_F(ComdTest, ArgumentsOfTheDaemonSetTheValues) {
    build();
    ASSERT_EQ(buildResources(nullptr, {{"slotMask", 0x12345},
                                       {"serviceThreadPrty", 3},
                                       {"traceOptions", 0x10004},
                                       {"alertGeneration", 1}}),
              0);
    EXPECT_EQ(get("slotMask"), 0x2345);
    EXPECT_EQ(get("serviceThreadPrty"), 3);
    EXPECT_EQ(get("traceOptions"), 4);
    EXPECT_EQ(get("alertGeneration"), 1);
}

TEST_F(ComdTest, SystemSetValuesCommitsOnlyWhenEveryArgumentPasses) {
    COMD& c = build();
    PosArg ok[] = {{"traceOptions", 6}, {"alertGeneration", 2}, {"pollList", reinterpret_cast<intptr_t>("=*")}};
    EXPECT_EQ(c.SystemSetValues(ok, 3), 0);
    EXPECT_EQ(get("traceOptions"), 6);
    EXPECT_EQ(get("alertGeneration"), 0); // 2 is not taken
    PosArg bad[] = {{"probeOptions", 9}, {"pollList", 0}};
    EXPECT_EQ(c.SystemSetValues(bad, 2), 334);
    EXPECT_EQ(get("probeOptions"), 1);
}

// Two clients set different values at the same time: neither undoes the other's.
TEST_F(ComdTest, ClientsSettingDifferentValuesAtOnceKeepEachOthers) {
    COMD& c = build();
    constexpr int kRounds = 20000;
    auto setter = [&](const char* name, uint16_t (COMD::*read)() const, int& lost) {
        for (int i = 1; i <= kRounds; ++i) {
            PosArg a{name, i & 0x7FFF};
            EXPECT_EQ(c.SystemSetValues(&a, 1), 0);
            // Only this thread sets this value: it stays what this thread wrote.
            if ((c.*read)() != (i & 0x7FFF)) ++lost;
        }
    };
    int traceLost = 0, probeLost = 0;
    std::thread trace([&] { setter("traceOptions", &COMD::GetTraceOptions, traceLost); });
    std::thread probe([&] { setter("probeOptions", &COMD::GetProbeOptions, probeLost); });
    trace.join();
    probe.join();
    EXPECT_EQ(traceLost, 0);
    EXPECT_EQ(probeLost, 0);
    EXPECT_EQ(get("traceOptions"), kRounds & 0x7FFF);
    EXPECT_EQ(get("probeOptions"), kRounds & 0x7FFF);
}

TEST_F(ComdTest, PollListFromTheResourcesIsChecked) {
    build();
    EXPECT_EQ(buildResources("ovkctrl.OVKSYS.pollList: S9\n"), 310);
    EXPECT_EQ(comd_->GetPollList(), nullptr);
    comd_.reset();
    build();
    EXPECT_EQ(buildResources("ovkctrl.OVKSYS.pollList: =*\n"), 0);
}

TEST(PollList, Syntax) {
    // Addresses 0x40 and 0x42 have classes; 0x43 has none.
    static unsigned char addresses[] = {0x40, 0x42};
    static ObjectSupport registration(59900, [](const DeviceID&) -> PDEV* { return nullptr; },
                                      addresses, 2);
    struct Case {
        const char* list;
        int expected;
    };
    const Case cases[] = {
        {"=*", 0},        {"", 0},          {"S2+40,42", 0},  {"s*=*", 0},     {"S1 -40 s8 +42", 0},
        {"*", 0},         {"S2+40S3-42", 0}, {"S9", 310},     {"S0", 310},     {"SX", 310},
        {"4G", 310},      {"+80", 310},     {"+FF", 310},     {"S2+43", 310},  {"123", 310},
        {"+4", 310},      {"++40", 310},    {"=*x", 310},     {"40;42", 310},  {"?", 310},
    };
    for (const Case& c : cases) EXPECT_EQ(COMD::ProcessPollListStr(c.list), c.expected) << c.list;
}

// ---------------------------------------------------------------------------------------
// Processes and events

TEST_F(ComdTest, AddProcessLocksSlotsInOrderAndTellsWhatIsOnline) {
    node_.slotTypes[3] = 2;
    node_.adapterTypes[3] = 5;
    chSetDevNodeBackend(&node_);
    COMD& c = build();
    PDEV online(DeviceID(3, 0x11, 0x35), "PDEV");
    online.NowConfirmed();
    static_cast<FakeSlot*>(c.GetSlot(3))->devices.push_back(&online);

    TestQueue q;
    TestProcess p(100, &q);
    slotLog_.clear();
    ASSERT_EQ(c.AddProcess(&p), 0);
    EXPECT_EQ(slotLog_, (std::vector<std::string>{"0:LockSlot", "3:LockSlot", "0:WhoIsOnline",
                                                  "3:WhoIsOnline", "0:UnlockSlot", "3:UnlockSlot"}));
    EXPECT_EQ(q.events(), (std::vector<PostedEvent>{{0x420D, 0x03113501, 0}}));

    Process* found = nullptr;
    EXPECT_EQ(c.FindProcess(100, found), 0);
    EXPECT_EQ(found, &p);
    EXPECT_EQ(c.FindProcess(101, found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(c.RemoveProcess(100), 0);
    static_cast<FakeSlot*>(c.GetSlot(3))->devices.clear();
}

TEST_F(ComdTest, DuplicateProcessIdIsRefused) {
    COMD& c = build();
    TestQueue q1, q2;
    TestProcess first(200, &q1), again(200, &q2);
    ASSERT_EQ(c.AddProcess(&first), 0);
    EXPECT_EQ(c.AddProcess(&again), 321);
    EXPECT_TRUE(ovkhost::errorLogged(204));
    EXPECT_EQ(c.AddProcess(nullptr), 321);

    c.PostQueueMsg(nullptr, 0x4203, 1, 2);
    EXPECT_EQ(q1.events().size(), 1u); // listed once
    EXPECT_TRUE(q2.events().empty());

    EXPECT_EQ(c.RemoveProcess(200), 0);
    EXPECT_EQ(c.RemoveProcess(200), 321);
    EXPECT_TRUE(ovkhost::errorLogged(211));
}

TEST_F(ComdTest, EventsGoToEveryProcessInListOrder) {
    COMD& c = build();
    TestQueue q1, q2;
    TestProcess a(1, &q1), b(2, &q2);
    ASSERT_EQ(c.AddProcess(&a), 0);
    ASSERT_EQ(c.AddProcess(&b), 0);
    ovkhost::clearCaptures();
    c.PostQueueMsg(nullptr, 0x420C, 0x01113503, 0x12);
    EXPECT_EQ(q1.events(), (std::vector<PostedEvent>{{0x420C, 0x01113503, 0x12}}));
    EXPECT_EQ(q2.events(), (std::vector<PostedEvent>{{0x420C, 0x01113503, 0x12}}));
    auto traces = ovkhost::traces();
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[0].component, 93u);
    EXPECT_EQ(traces[0].minor, 8u);
    EXPECT_EQ(traces[0].data, (std::vector<uint8_t>{0x0C, 0x42, 0, 0, 0x03, 0x35, 0x11, 0x01,
                                                    0x12, 0, 0, 0}));

    // One destination only.
    c.PostQueueMsg(&b.GetEventDestination(), 0x4213, 5, 0);
    EXPECT_EQ(q1.events().size(), 1u);
    EXPECT_EQ(q2.events().size(), 2u);

    c.PdevReleased(DeviceID(1, 0x11, 0x35), 0x35);
    EXPECT_EQ(a.released.size(), 1u);
    EXPECT_EQ(b.released.size(), 1u);
    c.RemoveProcess(1);
    c.RemoveProcess(2);
}

TEST_F(ComdTest, UndeliveredEventsAreLoggedButNotForAClientThatHasGone) {
    COMD& c = build();
    TestQueue q;
    MsgQueueInfo osQueue{0, 1, 77};
    c.PostQueueMsg(&osQueue, 0x420D, 1, 2);
    EXPECT_TRUE(ovkhost::errorLogged(209));
    EXPECT_EQ(c.ValidateOS_Queue(osQueue), 308);

    MsgQueueInfo own{1, 1, reinterpret_cast<intptr_t>(&q)};
    EXPECT_EQ(c.ValidateOS_Queue(own), 0);
    q.result = 320;
    c.PostQueueMsg(&own, 0x420D, 1, 2);
    EXPECT_FALSE(ovkhost::errorLogged(208));
    q.result = 305;
    c.PostQueueMsg(&own, 0x420D, 1, 2);
    EXPECT_TRUE(ovkhost::errorLogged(208));
}

TEST_F(ComdTest, TermClosesTheLock) {
    EXPECT_EQ(build().Term(), 0);
}

// ---------------------------------------------------------------------------------------
// DBCS helpers

TEST_F(ComdTest, DbcsTableFromRanges) {
    COMD& c = build();
    unsigned char none[32] = {};
    EXPECT_EQ(c.InitializeEnvironment(none), 0);
    unsigned char sjis[32] = {0x81, 0x9F, 0xE0, 0xFC};
    EXPECT_EQ(c.InitializeEnvironment(sjis), 1);
    EXPECT_EQ(c.isdbcs1(0x81), 1);
    EXPECT_EQ(c.isdbcs1(0x9F), 1);
    EXPECT_EQ(c.isdbcs1(0xA0), 0);
    EXPECT_EQ(c.isdbcs1(0xFC), 1);
    EXPECT_EQ(c.isdbcs1('A'), 0);
}

TEST_F(ComdTest, GetCtypeTellsSingleLeadAndSecondBytes) {
    COMD& c = build();
    unsigned char sjis[32] = {0x81, 0x9F};
    c.InitializeEnvironment(sjis);
    const unsigned char s[] = {'A', 0x82, 'B', 0x81, 0x40, 'C', 0};
    EXPECT_EQ(c.getctype(s, 0), 0);
    EXPECT_EQ(c.getctype(s, 1), 1);
    EXPECT_EQ(c.getctype(s, 2), 2);
    EXPECT_EQ(c.getctype(s, 3), 1);
    EXPECT_EQ(c.getctype(s, 4), 2);
    EXPECT_EQ(c.getctype(s, 5), 0);
}

TEST_F(ComdTest, MsStrchrSkipsTheOtherKindOfCharacter) {
    COMD& c = build();
    const unsigned char s[] = {'a', 0x81, 'b', 'b', 0x82, 0x81, 0};
    const unsigned char b[] = {'b', 0};
    const unsigned char dbl[] = {0x82, 0x81};
    const unsigned char nul[] = {0};
    // Without DBCS: strchr.
    EXPECT_EQ(c.ms_strchr(s, b), s + 2);
    unsigned char sjis[32] = {0x81, 0x9F};
    c.InitializeEnvironment(sjis);
    EXPECT_EQ(c.ms_strchr(s, b), s + 3);   // 0x81 'b' is one character
    EXPECT_EQ(c.ms_strchr(s, dbl), s + 4);
    EXPECT_EQ(c.ms_strchr(s, nul), s + 6); // the terminator
    const unsigned char lead[] = {0x81, 'b'};
    EXPECT_EQ(c.ms_strchr(s, lead), s + 1);
    const unsigned char missing[] = {'z', 0};
    EXPECT_EQ(c.ms_strchr(s, missing), nullptr);
}

TEST_F(ComdTest, MsStrchrStopsAtAFinalLeadByte) {
    COMD& c = build();
    unsigned char sjis[32] = {0x81, 0x9F};
    c.InitializeEnvironment(sjis);
    // A lead byte followed by the terminator; the bytes after it are not the string's.
    const unsigned char s[] = {'a', 0x81, 0, 'x', 0x82, 'y', 0};
    const unsigned char x[] = {'x', 0};
    const unsigned char dbl[] = {0x82, 'y'};
    EXPECT_EQ(c.ms_strchr(s, x), nullptr);
    EXPECT_EQ(c.ms_strchr(s, dbl), nullptr);
}

} // namespace
