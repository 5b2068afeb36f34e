// The ten terminal adapter plug-ins as the core loads them: each registers its class under
// its type id, the adapter table's types build the right class in a slot, and the three
// NVRAM descriptions of their own.
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <typeinfo>

#include "SioFakes.h"
#include "SioSlot.h"
#include "TempRoot.h"
#include "ovkhost.h"
#include "syload.h"

using namespace siotest;
namespace fs = std::filesystem;

namespace {

struct Plugin {
    const char* library; // as the core loads it
    unsigned short typeId;
    const char* className;
    const char* nameTag;
};

const Plugin kPlugins[] = {
    {"ovkajsio", 3200, "JapaneseSIOAdapter", "<<AD6562S >>"},
    {"ovkajslp", 3100, "JapaneseLoopAdapter", "<<AD6562L >>"},
    {"ovka6719", 3300, "DunmoralAdapter", "<<AD6719  >>"},
    {"ovkatvrn", 37000, "TevrinAdapter", "<<AD6807  >>"},
    {"ovka64m1", 3600, "QuiloAdapter", "<<AD6412/A>>"},
    {"ovka6842", 3500, "ZarekAdapter", "<<AD6842  >>"},
    {"ovka64m2", 3700, "MorvathAdapter", "<<AD6412  >>"},
    {"ovkahlcn", 3400, "HalcineAdapter", "<<ADHLCN  >>"},
    {"ovka6611", 3000, "QORVEL6611Mod3Adapter", "<<AD6672  >>"},
    {"ovka6751", 3800, "OstraneFerumaAdapter", "<<AD6751  >>"},
};

std::string className(const ADAPTER* adapter) {
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(*adapter).name(), nullptr, nullptr, &status);
    std::string out = status == 0 && name ? name : "";
    std::free(name);
    return out;
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        chSetDevNodeBackend(&node_);
    }
    void TearDown() override {
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ResetLoadedFlagsForTest();
    }
    // Puts a plug-in of the build into the private root's library folder (never over a
    // copy that may be loaded).
    void install(const char* library) {
        std::string file = std::string("lib") + library + ".so.0";
        fs::copy_file(std::string(OVK_PLUGIN_DIR) + "/" + file, root_.at("/usr/lib/" + file),
                      fs::copy_options::skip_existing);
    }
    void installAll() {
        for (const Plugin& p : kPlugins) install(p.library);
    }
    // A system object whose driver node reports an RS-485 adapter of this type at slot 3.
    Slot* buildSlot3(unsigned short adapterType) {
        comd_.reset();
        node_.slotTypes[3] = SLOT_TYPE_RS485;
        node_.adapterTypes[3] = adapterType;
        comd_ = std::make_unique<COMD>();
        return pcomd->GetSlot(3);
    }

    TempRoot root_;
    ScriptedNode node_;
    std::unique_ptr<COMD> comd_;
};

TEST_F(PluginTest, EachPluginRegistersItsClassUnderItsTypeId) {
    installAll();
    for (const Plugin& p : kPlugins) {
        ASSERT_EQ(chLoadLibrary(p.library), 0) << p.library;
        // Registered by the library's own static initialiser (nothing else registers it).
        EXPECT_TRUE(ObjectSupport::AdapterRegistered(p.typeId)) << p.library;
        ADAPTER* adapter = nullptr;
        ASSERT_EQ(ObjectSupport::MakeAdapterObject(p.typeId, 3, 7, adapter), 0) << p.library;
        ASSERT_NE(adapter, nullptr);
        EXPECT_EQ(className(adapter), p.className);
        EXPECT_STREQ(adapter->NameTag(), p.nameTag);
        EXPECT_NE(dynamic_cast<SIOAM*>(adapter), nullptr);
        EXPECT_EQ(adapter->GetSlotNumber(), 3);
        EXPECT_EQ(adapter->GetAdapterType(), 7);
        delete adapter;
    }
}

TEST_F(PluginTest, AdapterTableTypesBuildTheirClassInTheSlot) {
    installAll();
    struct Case {
        unsigned short adapterType;
        const char* library;
        const char* className;
    };
    for (Case c : {Case{661, "ovkatvrn", "TevrinAdapter"}, Case{0xEFCB, "ovka64m1", "QuiloAdapter"},
                   Case{1, "ovka6842", "ZarekAdapter"}, Case{6, "ovka6842", "ZarekAdapter"},
                   Case{2, "ovka64m2", "MorvathAdapter"}, Case{5, "ovka6751", "OstraneFerumaAdapter"},
                   Case{0x917D, "ovka6751", "OstraneFerumaAdapter"}}) {
        ResetLoadedFlagsForTest();
        ovkhost::clearCaptures();
        Slot* slot = buildSlot3(c.adapterType);
        ASSERT_NE(slot, nullptr) << c.adapterType;
        EXPECT_NE(dynamic_cast<SioSlot*>(slot), nullptr);
        ASSERT_NE(slot->GetAdapter(), nullptr);
        EXPECT_EQ(className(slot->GetAdapter()), c.className) << c.adapterType;
        EXPECT_EQ(slot->GetAdapter()->GetAdapterType(), c.adapterType);
        EXPECT_EQ(FindAdapterInfo(c.adapterType)->loaded, 1);
        bool created = false;
        for (const auto& line : ovkhost::printedLines())
            created |= line.find(std::string("--> ") + slot->GetAdapter()->NameTag() + " created") == 0;
        EXPECT_TRUE(created) << c.adapterType;
    }
}

TEST_F(PluginTest, Type661OnSlot3BuildsTheTevrinAdapter) {
    install("ovkatvrn");
    Slot* slot = buildSlot3(661);
    ASSERT_NE(slot, nullptr);
    ADAPTER* adapter = slot->GetAdapter();
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(className(adapter), "TevrinAdapter");
    EXPECT_STREQ(adapter->NameTag(), "<<AD6807  >>");
    EXPECT_EQ(adapter->GetSlotNumber(), 3);
    // It runs as an adapter manager on the slot.
    EXPECT_EQ(slot->ServiceAdapter(0), static_cast<int>(SIOAM_WAIT_ADAPTER));
}

TEST_F(PluginTest, FailedLoadIsTriedAgainAtTheNextStart) {
    // Libraries stay loaded for the life of the process (ctest runs each test alone).
    if (ObjectSupport::AdapterRegistered(37000)) GTEST_SKIP() << "already loaded in this process";
    EXPECT_EQ(buildSlot3(661), nullptr); // the library is not there yet
    EXPECT_EQ(FindAdapterInfo(661)->loaded, 0);
    EXPECT_FALSE(ovkhost::errorLogged(1021));
    install("ovkatvrn");
    Slot* slot = buildSlot3(661);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(className(slot->GetAdapter()), "TevrinAdapter");
    EXPECT_EQ(FindAdapterInfo(661)->loaded, 1);
}

// Adapters built straight from their registration, for the NVRAM descriptions.
class NvramInfoTest : public PluginTest {
protected:
    std::unique_ptr<SIOAM> make(const char* library, unsigned short typeId, unsigned short adapterType) {
        install(library);
        EXPECT_EQ(chLoadLibrary(library), 0);
        ADAPTER* adapter = nullptr;
        EXPECT_EQ(ObjectSupport::MakeAdapterObject(typeId, 3, adapterType, adapter), 0);
        return std::unique_ptr<SIOAM>(dynamic_cast<SIOAM*>(adapter));
    }
    static std::vector<unsigned char> ports(const ADAPTER& a) {
        return std::vector<unsigned char>(a.GetValidPorts(), a.GetValidPorts() + 4);
    }
};

TEST_F(NvramInfoTest, JapaneseAdaptersHaveTheirNvramOnPortOne) {
    for (auto [library, typeId] : {std::pair<const char*, unsigned short>{"ovkajsio", 3200},
                                   std::pair<const char*, unsigned short>{"ovkajslp", 3100}}) {
        node_.dcsKind = 8; // kind and flag do not matter here
        node_.dcsPorts = 2;
        node_.nvramFlag = 0;
        node_.nvramInfoResult = 0;
        auto adapter = make(library, typeId, 9);
        ASSERT_NE(adapter, nullptr);
        NvramInfoStruct info;
        adapter->GetLocalNvramInfo(info);
        EXPECT_EQ(adapter->GetPortCount(), 1) << library;
        EXPECT_EQ(ports(*adapter), (std::vector<unsigned char>{0x11, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(info.port, 0x11);
        EXPECT_EQ(info.size, 1024u);
        EXPECT_EQ(info.deviceClass, 8100);
        EXPECT_EQ(info.driverValue[0], node_.nvram48);
    }
}

TEST_F(NvramInfoTest, JapaneseAdapterRefusedTheNvramInformationKeepsItsDefaults) {
    node_.nvramInfoResult = 99;
    auto adapter = make("ovkajsio", 3200, 9);
    ASSERT_NE(adapter, nullptr);
    NvramInfoStruct info;
    adapter->GetLocalNvramInfo(info);
    EXPECT_EQ(info.deviceClass, -1);
    EXPECT_EQ(info.port, 0);
    EXPECT_EQ(ports(*adapter), (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(adapter->GetPortCount(), 2); // as the adapter information said
}

TEST_F(NvramInfoTest, DunmoralAdapterHasTwoPortsAndItsOwnNvramClass) {
    auto four = make("ovka6719", 3300, 4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->GetPortCount(), 2);
    NvramInfoStruct info;
    four->GetLocalNvramInfo(info);
    EXPECT_EQ(info.deviceClass, 8100);
    // Any other type gives 8600, even where the adapter manager would report none.
    node_.dcsKind = 8;
    auto other = make("ovka6719", 3300, 9);
    ASSERT_NE(other, nullptr);
    NvramInfoStruct none;
    other->GetLocalNvramInfo(none);
    EXPECT_EQ(none.deviceClass, 8600);
}

} // namespace
