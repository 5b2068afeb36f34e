// The call trace: when it is on, where it goes, what an entry looks like.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "TempRoot.h"
#include "apitrace.h"
#include "ovkapi.h"

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char buf[PATH_MAX];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        saved_ = buf;
        ASSERT_EQ(chdir(root_.path().c_str()), 0);
        unsetenv("OVK_API_LOG_FILE");
        unsetenv("OVK_API_TRACE");
        apiTraceReset();
    }
    void TearDown() override {
        unsetenv("OVK_API_LOG_FILE");
        unsetenv("OVK_API_TRACE");
        apiTraceReset();
        ASSERT_EQ(chdir(saved_.c_str()), 0);
    }
    std::string file(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TempRoot root_;
    std::string saved_;
};

} // namespace

TEST_F(TraceTest, OnlyTheTwoLettersOnInAnyCaseTurnItOn) {
    for (const char* v : {"ON", "on", "On"}) {
        apiTraceReset();
        setenv("OVK_API_TRACE", v, 1);
        std::string path = root_.path() + "/trace-" + v + ".log";
        setenv("OVK_API_LOG_FILE", path.c_str(), 1);
        EXPECT_GT(apitrace("hello %d\n", 5), 0) << v;
        EXPECT_TRUE(std::regex_match(file(path), std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d \\(t[0-9a-f]+\\): hello 5\n")))
            << file(path);
    }
    for (const char* v : {"ON ", "1", "yes", "O"}) {
        apiTraceReset();
        setenv("OVK_API_TRACE", v, 1);
        std::string path = root_.path() + "/off.log";
        setenv("OVK_API_LOG_FILE", path.c_str(), 1);
        EXPECT_EQ(apitrace("hello\n"), 0) << v;
        EXPECT_FALSE(std::filesystem::exists(path)) << v;
    }
}

TEST_F(TraceTest, DefaultFileInTheWorkingDirectoryAndApiEntries) {
    setenv("OVK_API_TRACE", "on", 1);
    errno = 0;
    EXPECT_EQ(PosClose(3), -1);
    EXPECT_EQ(PosErrno(), POSERR_SYS_NOT_INITIALIZED); // the trace leaves errno alone
    std::string text = file(root_.path() + "/ovkapi.log");
    EXPECT_NE(text.find("PosClose(devdes=3) entered\n"), std::string::npos) << text;
    EXPECT_NE(text.find("PosClose() returning -1, errno = 0x12e(302)\n"), std::string::npos) << text;
    // The decision is taken once: turning the variable off later changes nothing.
    unsetenv("OVK_API_TRACE");
    EXPECT_GT(apitrace("still\n"), 0);
}
