// The character display plug-ins load by name, as the core loads them from its device
// table, and register their classes and bus addresses while loading.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "TempRoot.h"
#include "ovkhost.h"
#include "syload.h"

namespace {

namespace fs = std::filesystem;

struct Plugin {
    const char* name;
    unsigned short physical, virtualType;
    unsigned char addresses[2];
    const char* object;
};

const Plugin kPlugins[] = {
    {"ovkdanum", 4000, 4100, {0x20, 0x21}, "objectANUMP"},
    {"ovkdoper", 4200, 4300, {0x22, 0x23}, "objectOPERP"},
    {"ovkdanop", 5200, 5300, {0x24, 0x25}, "objectANOPP"},
    {"ovkdshop", 4500, 4600, {0x26, 0x27}, "objectSHOPP"},
};

TEST(DisplayPlugins, LoadByNameAndRegister) {
    TempRoot root;
    fs::create_directories(root.at("/usr/lib"));
    for (const Plugin& p : kPlugins) {
        EXPECT_FALSE(ObjectSupport::PhysicalRegistered(p.physical)) << p.name;
        EXPECT_FALSE(ObjectSupport::SIOAddresses[p.addresses[0]].valid) << p.name;
        const std::string file = std::string("lib") + p.name + ".so.0";
        fs::create_symlink(std::string(OVK_PLUGIN_DIR) + "/" + file, root.at("/usr/lib/" + file));
    }
    ovkhost::clearCaptures();
    for (const Plugin& p : kPlugins) {
        ASSERT_EQ(chLoadLibrary(p.name), 0) << p.name;
        EXPECT_TRUE(ObjectSupport::PhysicalRegistered(p.physical)) << p.name;
        EXPECT_TRUE(ObjectSupport::VirtualRegistered(p.virtualType)) << p.name;
        for (unsigned char a : p.addresses) EXPECT_TRUE(ObjectSupport::SIOAddresses[a].valid) << p.name;
        EXPECT_NE(chGetLibrarySymbol(p.name, p.object), nullptr) << p.name;

        // The physical class reports a display and its virtual class.
        PDEV* device = nullptr;
        ASSERT_EQ(ObjectSupport::MakePhysicalObject(p.physical, DeviceID(1, 0x11, p.addresses[1]), device), 0);
        std::unique_ptr<PDEV> owned(device);
        unsigned char type = 0;
        long vdevType = 0;
        EXPECT_EQ(device->GetVdevInfo(p.addresses[1], type, vdevType), 0);
        EXPECT_EQ(type, 2);
        EXPECT_EQ(vdevType, p.virtualType);
    }
    const auto lines = ovkhost::printedLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Loaded '" + root.at("/usr/lib/libovkdoper.so.0") + "'\n"),
              lines.end());
    // The base library registers nothing of its own. The marker is 0x7F: it lies beyond every
    // range of the address table and is in no device-table row, so no model added later takes
    // it (a free address next to the displays' would be the next display model's).
    EXPECT_FALSE(ObjectSupport::SIOAddresses[0x7F].valid);
}

} // namespace
