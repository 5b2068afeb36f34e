// Fixed paths, path search, buffer checks and the platform queries.
#include "TempRoot.h"
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <filesystem>
#include <future>
#include <sys/mman.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one scope and restores it afterwards.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvVar() {
        if (had_) setenv(name_.c_str(), old_.c_str(), 1);
        else unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

TEST(OvkPath, PrefixesTheRootWhenSet) {
    struct {
        const char* root;
        const char* path;
        const char* expect;
    } cases[] = {
        {nullptr, "/etc/ovksys.conf", "/etc/ovksys.conf"},
        {"", "/etc/ovksys.conf", "/etc/ovksys.conf"},
        {"/r", "/etc/ovksys.conf", "/r/etc/ovksys.conf"},
        {"/r/", "/tmp/.ovkctrl", "/r/tmp/.ovkctrl"},
        {"/r", "dev/ovkdcs", "/r/dev/ovkdcs"},
    };
    for (auto& c : cases) {
        EnvVar root("OVK_ROOT", c.root); // read at each call
        EXPECT_EQ(ovkPath(c.path), c.expect) << (c.root ? c.root : "(unset)");
    }
    TempRoot temp;
    EXPECT_EQ(ovkPath("/etc/ovksys.res"), temp.path() + "/etc/ovksys.res");
}

TEST(SearchPath, FirstReadableHitAlongTheVariable) {
    TempRoot root;
    root.write("/b/OVK012.TCH", "image");
    root.write("/c/OVK012.TCH", "other");
    fs::create_directories(root.at("/a/OVK012.TCH.d"));
    fs::create_directories(root.at("/d/OVK012.TCH")); // a directory of that name is no hit
    const std::string cwd = fs::current_path().string();
    const std::string relB = fs::relative(root.at("/b"), cwd).string();
    const std::string dirs =
        root.at("/a") + "::" + root.at("/d") + ":" + relB + ":" + root.at("/c");
    EnvVar var("OVKTEST_SEARCH", dirs.c_str());

    char out[100];
    ASSERT_EQ(chSearchPath("OVK012.TCH", "OVKTEST_SEARCH", out, sizeof out), 0);
    EXPECT_EQ(std::string(out), fs::canonical(root.at("/b")).string() + "/OVK012.TCH");
    EXPECT_EQ(fs::current_path().string(), cwd);

    char tiny[8];
    EXPECT_EQ(chSearchPath("OVK012.TCH", "OVKTEST_SEARCH", tiny, sizeof tiny), 312);
    EXPECT_STREQ(tiny, "");
    EXPECT_EQ(chSearchPath("OVK999.TCH", "OVKTEST_SEARCH", out, sizeof out), 336);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(chSearchPath("OVK012.TCH", "OVKTEST_UNSET_VARIABLE", out, sizeof out), 336);
    EXPECT_EQ(chSearchPath(nullptr, "OVKTEST_SEARCH", out, sizeof out), 334);
    EXPECT_EQ(chSearchPath("OVK012.TCH", "OVKTEST_SEARCH", nullptr, 100), 334);
}

// Two pages: the first as asked, the second never accessible.
class Pages {
public:
    explicit Pages(int prot) {
        base_ = static_cast<char*>(mmap(nullptr, 2 * page(), PROT_READ | PROT_WRITE,
                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ == MAP_FAILED) throw std::runtime_error("mmap");
        std::memset(base_, 'x', page());
        mprotect(base_, page(), prot);
        mprotect(base_ + page(), page(), PROT_NONE);
    }
    ~Pages() { munmap(base_, 2 * page()); }
    char* first() const { return base_; }
    char* second() const { return base_ + page(); }
    static int page() { return static_cast<int>(sysconf(_SC_PAGESIZE)); }

private:
    char* base_;
};

TEST(CheckBuffer, RefusesWhatCannotBeAccessed) {
    char stack[64] = "text";
    Pages ro(PROT_READ), rw(PROT_READ | PROT_WRITE);
    // The writable page's last byte ends a string; the read-only page has no NUL at all.
    rw.first()[Pages::page() - 1] = '\0';
    const int page = Pages::page();
    struct {
        const char* what;
        const void* p;
        int length, access, expect;
    } cases[] = {
        {"stack read", stack, 64, CH_ACCESS_READ, 0},
        {"stack write", stack, 64, CH_ACCESS_WRITE, 0},
        {"string", stack, 0, CH_ACCESS_STRING, 0},
        {"null with a length", nullptr, 4, CH_ACCESS_READ, 334},
        {"null, nothing asked", nullptr, 0, CH_ACCESS_WRITE, 0},
        {"null string", nullptr, 0, CH_ACCESS_STRING, 334},
        {"read-only page read", ro.first(), page, CH_ACCESS_READ, 0},
        {"read-only page write", ro.first(), 1, CH_ACCESS_WRITE, 334},
        {"into the guard page", ro.first() + 10, page, CH_ACCESS_READ, 334},
        {"guard page write", rw.second(), 1, CH_ACCESS_WRITE, 334},
        {"across into the guard page", rw.first() + page - 4, 8, CH_ACCESS_WRITE, 334},
        {"string ends on the last byte", rw.first() + 100, 0, CH_ACCESS_STRING, 0},
        {"string runs into the guard page", ro.first() + 100, 0, CH_ACCESS_STRING, 334},
        {"the all-ones pointer", reinterpret_cast<void*>(~uintptr_t{0}), 1, CH_ACCESS_READ,
         334},
        {"negative length", stack, -1, CH_ACCESS_READ, 318},
        {"unknown access", stack, 4, 3, 310},
    };
    for (auto& c : cases)
        EXPECT_EQ(chCheckBuffer(c.p, c.length, c.access), c.expect) << c.what;
    EXPECT_EQ(ro.first()[0], 'x'); // probing changed nothing
    // A range that wraps around the end of the address space.
    EXPECT_EQ(chCheckBuffer(reinterpret_cast<void*>(~uintptr_t{0} - 3), 8, CH_ACCESS_READ), 334);
}

TEST(CheckBuffer, MemoryUnmappedAfterACheckIsRefused) {
    const size_t page = static_cast<size_t>(Pages::page());
    void* p = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    EXPECT_EQ(chCheckBuffer(p, 16, CH_ACCESS_WRITE), 0);
    ASSERT_EQ(munmap(p, page), 0);
    EXPECT_EQ(chCheckBuffer(p, 16, CH_ACCESS_WRITE), 334);
    EXPECT_EQ(chCheckBuffer(p, 16, CH_ACCESS_READ), 334);
}

TEST(Queries, PlatformValues) {
    EXPECT_EQ(chQueryPlatform(), 4000);
    EXPECT_EQ(chGetMaxPathFileLength(), 4096);
    EXPECT_EQ(chGetProcessId(), static_cast<unsigned long>(getpid()));
    const unsigned long self = chGetThreadId();
    EXPECT_NE(self, 0UL);
    EXPECT_EQ(chGetThreadId(), self);
    unsigned long other = std::async(std::launch::async, [] { return chGetThreadId(); }).get();
    EXPECT_NE(other, 0UL);
    EXPECT_NE(other, self);

    int codePage = 0;
    {
        EnvVar cp("OVKCODEPAGE", nullptr);
        EXPECT_EQ(chQueryCpInfo(codePage), 0);
        EXPECT_EQ(codePage, 858);
    }
    {
        EnvVar cp("OVKCODEPAGE", "932");
        EXPECT_EQ(chQueryCpInfo(codePage), 0);
        EXPECT_EQ(codePage, 932);
    }
}

} // namespace
