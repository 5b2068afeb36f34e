// Child programs: argument words, the debugger form, and reaping.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TempRoot.h"
#include "systart.h"

namespace fs = std::filesystem;

namespace {

const unsigned char* text(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

void installStub(const TempRoot& root, const std::string& name) {
    fs::copy_file(OVK_PROGRAM_STUB, root.at("/usr/bin/" + name),
                  fs::copy_options::overwrite_existing);
}

// The stub's record: its process id and its argument words. Waits a few seconds at most.
bool readRecord(const TempRoot& root, const std::string& name, int& pid,
                std::vector<std::string>& words) {
    std::string path = root.at("/tmp/" + name + ".args");
    for (int i = 0; i < 500 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(path);
    if (!(in >> pid)) return false;
    std::string line;
    std::getline(in, line);
    words.clear();
    while (std::getline(in, line)) words.push_back(line);
    return true;
}

// A child that has been reaped has no /proc entry any more (a zombie keeps one).
bool reaped(int pid) {
    std::string proc = "/proc/" + std::to_string(pid);
    for (int i = 0; i < 500; ++i) {
        if (!fs::exists(proc)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ChildStart, DownloadProgramGetsPortSlotAndCountryChoiceAndIsReaped) {
    TempRoot root;
    installStub(root, "ovkk7eld");
    ASSERT_EQ(chStartK7eDownload(2, 0x11, text("")), 0);
    int pid = 0;
    std::vector<std::string> words;
    ASSERT_TRUE(readRecord(root, "ovkk7eld", pid, words));
    EXPECT_EQ(words, (std::vector<std::string>{"-P", "17", "-S", "2", "-C"}));
    EXPECT_TRUE(reaped(pid));
}

TEST(ChildStart, DebuggerRunsTheProgramAndItsWords) {
    TempRoot root;
    installStub(root, "mydbg");
    ASSERT_EQ(chStartK7eDownload(2, 0x11, text("  mydbg --extra")), 0);
    int pid = 0;
    std::vector<std::string> words;
    ASSERT_TRUE(readRecord(root, "mydbg", pid, words));
    EXPECT_EQ(words, (std::vector<std::string>{"ovkk7eld", "-P", "17", "-S", "2", "-C"}));
    EXPECT_TRUE(reaped(pid));
}

TEST(ChildStart, FirmwareLoaderGetsTheFileName) {
    TempRoot root;
    installStub(root, "ovkfld63");
    char file[] = "fw63.bin";
    ASSERT_EQ(chStart63Firmload(3, 0x22, file, text("")), 0);
    int pid = 0;
    std::vector<std::string> words;
    ASSERT_TRUE(readRecord(root, "ovkfld63", pid, words));
    EXPECT_EQ(words, (std::vector<std::string>{"-P", "34", "-S", "3", "-F", "fw63.bin"}));
    EXPECT_TRUE(reaped(pid));
}

TEST(ChildStart, RunsOfBlanksSeparateWordsAndAtMostSevenArePassed) {
    TempRoot root;
    installStub(root, "stub");
    ASSERT_EQ(chStartProcess(text("stub"), text("  a   b c d e f g h i"), nullptr), 0);
    int pid = 0;
    std::vector<std::string> words;
    ASSERT_TRUE(readRecord(root, "stub", pid, words));
    EXPECT_EQ(words, (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_TRUE(reaped(pid));
}

TEST(ChildStart, ProgramThatCannotRunStillCountsAsStarted) {
    TempRoot root;
    // The child ends with the exec error; the caller is not told.
    EXPECT_EQ(chStartProcess(text("ovk-no-such-program"), text("-x"), nullptr), 0);
}

} // namespace
