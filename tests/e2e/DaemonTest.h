// Fixture of the end-to-end tests: a private root with a running daemon. At the end the
// daemon must still be running and must end cleanly on SIGTERM (status 0, which also means
// no sanitizer report in a sanitizer build).
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "DaemonUnderTest.h"
#include "TempRoot.h"
#include "ovkapi.h"

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(daemon_.Start()) << daemon_.Output(); }
    void TearDown() override {
        PosTerm();
        if (expectRunning_) {
            ASSERT_TRUE(daemon_.Running()) << daemon_.Output();
            EXPECT_EQ(daemon_.Terminate(), 0) << daemon_.Output();
        }
    }

    bool SocketExists() const {
        struct stat st;
        return ::lstat(daemon_.SocketPath().c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
    }

    // PosInitialize of this test process.
    static int Initialize(const char* appl = "e2eapp", PosArg* args = nullptr, int nargs = 0) {
        std::string a = appl, r = std::string(appl) + ".res";
        return PosInitialize(a.data(), r.data(), 0, 0, args, nargs);
    }

    TempRoot root_;
    DaemonUnderTest daemon_{root_};
    bool expectRunning_ = true;
};
