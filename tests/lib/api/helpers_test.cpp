// Helpers of the client library: buffer checks, hex text, the resource-file search, the code
// page and the OVK_ROOT paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "TempRoot.h"
#include "apihelpers.h"
#include "apipath.h"
#include "ovkapi.h"

namespace fs = std::filesystem;

namespace {

// Runs a test inside a private folder tree, restoring the working directory and the
// variables it sets.
class SearchPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        char buf[PATH_MAX];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        saved_ = buf;
        base_ = fs::canonical(root_.path()).string();
        fs::create_directories(base_ + "/a");
        fs::create_directories(base_ + "/b");
        fs::create_directories(base_ + "/x");
        fs::create_directories(base_ + "/work");
        root_.write("/b/app.res", "b");
        root_.write("/x/app.res", "x");
        ASSERT_EQ(chdir((base_ + "/work").c_str()), 0);
        unsetenv("POSAPPLRESDIR");
    }
    void TearDown() override {
        ASSERT_EQ(chdir(saved_.c_str()), 0);
        unsetenv("POSAPPLRESDIR");
    }
    std::string cwd() {
        char buf[PATH_MAX];
        return getcwd(buf, sizeof buf) ? buf : "";
    }

    TempRoot root_;
    std::string saved_;
    std::string base_;
    char out_[4096] = "junk";
};

} // namespace

TEST(ApiHelpers, HexAndBufferChecks) {
    EXPECT_EQ(apiHex("1f"), 31u);
    EXPECT_EQ(apiHex("123456789"), 0x12345678u);
    EXPECT_EQ(apiHex("zz"), 0u);
    EXPECT_EQ(apiHex("aB9g"), 0xAB9u);
    EXPECT_EQ(apiHex(""), 0u);

    int x = 0;
    EXPECT_EQ(apiCheckBuffer(&x, 0, apiWriteAccess), unsigned(POSERR_SYS_INVALID_ADDRESS));
    EXPECT_EQ(apiCheckBuffer(&x, 0, apiReadAccess), 0u);
    EXPECT_EQ(apiCheckBuffer(&x, 4, apiWriteAccess), 0u);
    EXPECT_EQ(apiCheckBuffer(nullptr, 4, apiReadAccess), unsigned(POSERR_SYS_INVALID_ADDRESS));
    EXPECT_EQ(apiCheckBuffer(reinterpret_cast<void*>(UINTPTR_MAX), 4, apiReadAccess),
              unsigned(POSERR_SYS_INVALID_ADDRESS));
    EXPECT_EQ(apiGetMaxPathFileLength(), 4096u);
    EXPECT_EQ(apiQueryPlatform(), 4000);
}

TEST(ApiHelpers, CodePageAndRootPaths) {
    unsigned short cp = 0;
    unsetenv("OVKCODEPAGE");
    EXPECT_EQ(apiQueryCpInfo(cp), 0u);
    EXPECT_EQ(cp, 858);
    setenv("OVKCODEPAGE", "932", 1);
    apiQueryCpInfo(cp);
    EXPECT_EQ(cp, 932);
    setenv("OVKCODEPAGE", "66437", 1); // kept to 16 bits
    apiQueryCpInfo(cp);
    EXPECT_EQ(cp, 901);
    unsetenv("OVKCODEPAGE");

    {
        TempRoot root;
        EXPECT_EQ(apiOvkPath("/tmp/.ovkctrl"), root.path() + "/tmp/.ovkctrl");
    }
    const char* prev = std::getenv("OVK_ROOT");
    if (!prev) {
        EXPECT_EQ(apiOvkPath("/etc/ovksys.res"), "/etc/ovksys.res");
    }
}

TEST_F(SearchPathTest, SearchesTheListedDirectories) {
    std::string list = base_ + "/a:" + base_ + "/b";
    setenv("POSAPPLRESDIR", list.c_str(), 1);
    EXPECT_EQ(apiSearchPath("app.res", "POSAPPLRESDIR", out_, sizeof out_), 0u);
    EXPECT_EQ(std::string(out_), base_ + "/b/app.res");
    EXPECT_EQ(apiResourceFile("  app.res", out_, sizeof out_), 0u);
    EXPECT_EQ(std::string(out_), base_ + "/b/app.res");

    // A relative directory of the list comes back absolute.
    setenv("POSAPPLRESDIR", "../x", 1);
    EXPECT_EQ(apiSearchPath("app.res", "POSAPPLRESDIR", out_, sizeof out_), 0u);
    EXPECT_EQ(std::string(out_), base_ + "/x/app.res");
    EXPECT_EQ(cwd(), base_ + "/work");

    // Too small an output buffer.
    char small[8];
    EXPECT_EQ(apiSearchPath("app.res", "POSAPPLRESDIR", small, sizeof small),
              unsigned(POSERR_SYS_BUFFER_TOO_SMALL));
    EXPECT_EQ(small[0], '\0');
}

TEST_F(SearchPathTest, MissingFilesAndUnsetListGive336WithEmptyOutput) {
    EXPECT_EQ(apiSearchPath("app.res", "POSAPPLRESDIR", out_, sizeof out_), unsigned(POSERR_SYS_INVALID_FILE));
    EXPECT_STREQ(out_, "");
    setenv("POSAPPLRESDIR", (base_ + "/a").c_str(), 1);
    std::strcpy(out_, "junk");
    EXPECT_EQ(apiSearchPath("app.res", "POSAPPLRESDIR", out_, sizeof out_), unsigned(POSERR_SYS_INVALID_FILE));
    EXPECT_STREQ(out_, "");
    EXPECT_EQ(apiSearchPath("../nope/app.res", "POSAPPLRESDIR", out_, sizeof out_),
              unsigned(POSERR_SYS_INVALID_FILE));
    EXPECT_EQ(apiSearchPath(nullptr, "POSAPPLRESDIR", out_, sizeof out_), unsigned(POSERR_SYS_INVALID_ADDRESS));
    EXPECT_EQ(apiSearchPath("app.res", "POSAPPLRESDIR", out_, 0), unsigned(POSERR_SYS_INVALID_ADDRESS));
}

TEST_F(SearchPathTest, PathsWithADirectoryAndTheWorkingDirectory) {
    EXPECT_EQ(apiSearchPath("../x/app.res", "POSAPPLRESDIR", out_, sizeof out_), 0u);
    EXPECT_EQ(std::string(out_), base_ + "/x/app.res");
    EXPECT_EQ(cwd(), base_ + "/work"); // the working directory is never changed

    root_.write("/work/local.res", "l");
    EXPECT_EQ(apiSearchPath("local.res", "POSAPPLRESDIR", out_, sizeof out_), 0u);
    EXPECT_EQ(std::string(out_), base_ + "/work/local.res");

    std::string abs = base_ + "/b/app.res";
    EXPECT_EQ(apiSearchPath(abs.c_str(), "POSAPPLRESDIR", out_, sizeof out_), 0u);
    EXPECT_EQ(std::string(out_), abs);

    // Names with a "/" or a drive letter are taken as they stand by apiResourceFile.
    EXPECT_EQ(apiResourceFile("none/such.res", out_, sizeof out_), 0u);
    EXPECT_STREQ(out_, "none/such.res");
    EXPECT_EQ(apiResourceFile("c:app.res", out_, sizeof out_), 0u);
    EXPECT_STREQ(out_, "c:app.res");
}
