// Loading plug-ins by name, class registration and creation by type id, font files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "COMD.h"
#include "DEVICE.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "TempRoot.h"
#include "ovkhost.h"
#include "syload.h"

namespace fs = std::filesystem;

namespace {

// Registered by this program before any plug-in is loaded; the test plug-in registers the
// same type id afterwards.
class FIRSTP : public PDEV {
public:
    explicit FIRSTP(const DeviceID& id) : PDEV(id, "FIRSTP") {}
};
PDEV* _CreateFIRSTP(const DeviceID& id) { return new FIRSTP(id); }
unsigned char addressesFIRSTP[] = {0x6E};
ObjectSupport objectFIRSTP(60400, _CreateFIRSTP, addressesFIRSTP, 1);

void copyPlugin(const std::string& toFile) {
    fs::create_directories(fs::path(toFile).parent_path());
    fs::copy_file(OVK_TEST_PLUGIN, toFile, fs::copy_options::overwrite_existing);
}

bool printed(const std::string& text) {
    auto lines = ovkhost::printedLines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

TEST(Loader, NameRuleAndSearchOrderShowInTheTrace) {
    TempRoot root;
    ovkhost::clearCaptures();
    EXPECT_EQ(chLoadLibrary("ovkp63"), 301);
    EXPECT_TRUE(printed("Could not load '" + root.at("/usr/lib/libovkp63.so.0") + "'"));
    EXPECT_EQ(chLoadLibrary("libfoo.so"), 301);
    EXPECT_TRUE(printed("Could not load '" + root.at("/usr/lib/libfoo.so") + "'"));

    // With a search list, the last directory tried is reported.
    root.write("/etc/ld.so.conf", root.at("/opt/a") + "\n" + root.at("/opt/b") + "\n");
    ovkhost::clearCaptures();
    EXPECT_EQ(chLoadLibrary("ovkp63"), 301);
    EXPECT_TRUE(printed("Could not load '" + root.at("/opt/b/libovkp63.so.0") + "'"));
}

TEST(Loader, NamesOfTwentyCharactersOrMoreAreRefused) {
    TempRoot root;
    EXPECT_EQ(chLoadLibrary("ovk45678901234567890"), 301);
    EXPECT_EQ(chLoadLibrary(static_cast<const char*>(nullptr)), 301);
}

TEST(Loader, PluginFromUsrLibRegistersItsClasses) {
    TempRoot root;
    copyPlugin(root.at("/usr/lib/libovktestplug.so.0"));
    ovkhost::clearCaptures();
    ASSERT_EQ(chLoadLibrary("ovktestplug"), 0);
    EXPECT_TRUE(printed("Loaded '" + root.at("/usr/lib/libovktestplug.so.0") + "'"));
    EXPECT_EQ(chLoadLibrary("ovktestplug"), 0); // loaded before: no second entry

    void* symbol = chGetLibrarySymbol("ovktestplug", "ovkTestPluginInits");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(*static_cast<int*>(symbol), 60200);
    EXPECT_EQ(chGetLibrarySymbol("ovktestplug", "noSuchSymbol"), nullptr);
    EXPECT_EQ(chGetLibrarySymbol("ovknotloaded", "ovkTestPluginInits"), nullptr);

    // The physical class, with its bus addresses marked valid.
    EXPECT_EQ(ObjectSupport::SIOAddresses[0x4A].valid, 1);
    EXPECT_EQ(ObjectSupport::SIOAddresses[0x4B].valid, 1);
    PDEV* p = nullptr;
    ASSERT_EQ(ObjectSupport::MakePhysicalObject(60200, DeviceID(2, 0x11, 0x4A), p), 0);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->NameTag(), "<<TESTP   >>");
    EXPECT_TRUE(p->GetDeviceID() == DeviceID(2, 0x11, 0x4A));
    EXPECT_EQ(p->GetDeviceType(), 4);
    EXPECT_EQ(p->GetVdevType(), 60300);
    delete p;

    // The virtual class, created with its handle.
    VDEV* v = nullptr;
    ASSERT_EQ(ObjectSupport::MakeVirtualObject(60300, DeviceID(2, 0x11, 0x4A), 5, v), 0);
    ASSERT_NE(v, nullptr);
    std::unique_ptr<DEVICE> vdev(reinterpret_cast<DEVICE*>(v));
    EXPECT_STREQ(vdev->NameTag(), "<<TESTV   >>");

    // The first registration of a type id stays in force.
    ASSERT_EQ(ObjectSupport::MakePhysicalObject(60400, DeviceID(2, 0x11, 0x6E), p), 0);
    EXPECT_STREQ(p->NameTag(), "<<FIRSTP  >>");
    delete p;
    EXPECT_EQ(ObjectSupport::SIOAddresses[0x6A].valid, 1); // its addresses still count
}

TEST(Loader, PluginFromADirectoryOfTheSearchList) {
    TempRoot root;
    // Another file name, so this image is loaded in its own right.
    copyPlugin(root.at("/opt/plugins/libovktestplugb.so.0"));
    root.write("/etc/ld.so.conf", root.at("/opt/empty") + "\n" + root.at("/opt/plugins") + "\n" +
                                      root.at("/opt/never") + "\n");
    ovkhost::clearCaptures();
    ASSERT_EQ(chLoadLibrary("ovktestplugb"), 0);
    EXPECT_TRUE(printed("Loaded '" + root.at("/opt/plugins/libovktestplugb.so.0") + "'"));
    EXPECT_NE(chGetLibrarySymbol("ovktestplugb", "ovkTestPluginInits"), nullptr);
    EXPECT_TRUE(ObjectSupport::PhysicalRegistered(60200));
    EXPECT_TRUE(ObjectSupport::VirtualRegistered(60300));
}

// A directory of exactly `length` characters inside the root, made of components short
// enough for the file system.
std::string directoryOfLength(const TempRoot& root, size_t length, char letter) {
    std::string dir = root.at("/opt/");
    while (dir.size() < length) {
        const size_t component = std::min<size_t>(length - dir.size(), 100);
        dir += std::string(component, letter);
        if (dir.size() + 1 < length) dir += '/';
    }
    fs::create_directories(dir);
    return dir;
}

TEST(Loader, SearchListLinesAreDirectoriesOfAnyLength) {
    // Around the old line buffer of 80 bytes, and far beyond it.
    for (size_t length : {78u, 79u, 80u, 81u, 159u, 160u, 300u, 4000u}) {
        SCOPED_TRACE(length);
        TempRoot root;
        const std::string empty = directoryOfLength(root, length, 'e');
        const std::string holder = directoryOfLength(root, length, 'h');
        // A library the process has loaded already, so nothing new runs.
        fs::create_symlink(OVK_HOST_LIBRARY, holder + "/libsearched.so");
        fs::create_directories(root.at("/opt/later"));
        fs::create_symlink(OVK_HOST_LIBRARY, root.at("/opt/later/libsearched.so"));
        root.write("/etc/ld.so.conf", empty + "\n" + holder + "\n" + root.at("/opt/later") + "\n");
        ovkhost::clearCaptures();
        EXPECT_EQ(chLoadLibrary("libsearched.so"), 0);
        EXPECT_TRUE(printed("Loaded '" + holder + "/libsearched.so'"));
        char name[] = "libsearched.so";
        EXPECT_EQ(chUnloadLibrary(name), 0);
    }
}

TEST(Loader, FileThatIsNotALibraryGives301) {
    TempRoot root;
    root.write("/usr/lib/libovkbroken.so.0", "not an ELF file");
    ovkhost::clearCaptures();
    EXPECT_EQ(chLoadLibrary("ovkbroken"), 301);
    EXPECT_TRUE(printed("Loaded '" + root.at("/usr/lib/libovkbroken.so.0") + "'"));
    EXPECT_EQ(chGetLibrarySymbol("ovkbroken", "x"), nullptr);
}

TEST(Loader, LoadTableHoldsTwoHundredLibraries) {
    TempRoot root;
    // Names for one library that the process has loaded already, so nothing new runs.
    std::vector<std::string> names;
    int rc = 0;
    for (int i = 0; i < 201 && rc == 0; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "lib%03d.so", i);
        fs::create_symlink(OVK_HOST_LIBRARY, root.at(std::string("/usr/lib/") + name));
        rc = chLoadLibrary(name);
        if (rc == 0) names.push_back(name);
    }
    EXPECT_EQ(rc, 305);
    EXPECT_LE(names.size(), 200u);
    // A freed entry can be used again.
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(chUnloadLibrary(names.back().data()), 0);
    EXPECT_EQ(chLoadLibrary(names.back().c_str()), 0);
    for (std::string& n : names) EXPECT_EQ(chUnloadLibrary(n.data()), 0);
    EXPECT_EQ(chGetLibrarySymbol(names.front().c_str(), "ovkPath"), nullptr);
}

TEST(Loader, UnloadingANameNeverLoadedChangesNothing) {
    char name[] = "ovkneverloaded";
    EXPECT_EQ(chUnloadLibrary(name), 0);
}

TEST(FontFile, ReadWholeFromTheFontsFolderOfTheDataPath) {
    TempRoot root;
    root.write("/etc/ovksys.conf", "data-path = /opt/pos\n");
    root.write("/opt/pos/fonts/cp00437.fon", std::string("\x01\x02\0\x04", 4));
    root.write("/opt/pos/fonts/empty.fon", "");
    COMD comd;
    std::unique_ptr<unsigned char[]> font(chLoadFontFile("cp00437.fon"));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(font.get(), font.get() + 4),
              (std::vector<unsigned char>{1, 2, 0, 4}));
    std::unique_ptr<unsigned char[]> empty(chLoadFontFile("empty.fon"));
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(chLoadFontFile("cp00850.fon"), nullptr);
}

} // namespace
