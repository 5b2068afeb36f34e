// The command line: usage text, option errors, files that cannot be opened, output and copy
// files, and the single-argument form.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "FormatterRun.h"

namespace {

const char kUsage[] =
    "Usage:  ovktrfmt -f logfile [-w output-file ] [ -t ] [ -m ] [ -c ] [ -p ]\n"
    "                  [ -o X ] [ -s Y ]\n"
    "where:\n"
    "    -f <filename> Log file for reading\n"
    "    -w <filename> Output file (stdout if option not provided\n"
    "    -t            Show the actual time of the log statements\n"
    "    -m            Disable the incrmental milliseconds display\n"
    "    -c            Display cumulative milliseconds\n"
    "    -p            Display process and thread ID's\n"
    "    -o X          X indicates the maximum OPOS log level to display\n"
    "    -s Y          Y indicates the maximum Self-Checkout log level to display\n"
    "    -l            Linux time conversion for pre-3.x.x releases\n"
    "    -a <filename> Save VUSK Write command output to <filename>\n"
    "    -x            Debug this program\n"
    "    -X            Debug this program\n"
    "    -2            Force Version 2 of trace log files\n"
    "    -L            Do not show the VUSK API and RS-485 log statements\n"
    "    -P            Do not show the VUSK layer output\n"
    "    -U            Do not format the OPOS trace statements\n"
    "    -S            Do not show low-level RS-485 buffer access commands\n"
    "    -T            Skip ASCII text strings\n"
    "    -C            Show estimated line counts for 6397 printers\n";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CommandLine : public ::testing::Test, protected FormatterFixture {};

TEST_F(CommandLine, UsageAndOptionErrors) {
    struct Case {
        std::vector<std::string> args;
        int status;
        bool usage;
    } cases[] = {
        {{"-?"}, 1, true},        // the single argument "-?"
        {{}, 1, true},            // no arguments
        {{"-t", "-m"}, 1, true},  // no input file
        {{"-t", "-?"}, 0, false}, // option errors end at once
        {{"-t", "-q"}, 0, false},
        {{"-t", "-f"}, 0, false}, // a missing argument
    };
    for (const Case& c : cases) {
        const FormatterResult r = RunFormatter(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.size();
        EXPECT_EQ(r.err, c.usage ? kUsage : "") << c.args.size();
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CommandLine, FilesThatCannotBeOpened) {
    FormatterResult r = RunFormatter({"-f", "missing"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Could not open 'missing' for reading\n");
    TraceFileBuilder().WriteTo(Path("t.trc"));
    const std::string out = Path("no/such/folder/out.txt");
    r = RunFormatter({"-f", Path("t.trc"), "-w", out});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "Could not open '" + out + "' for writing\n");
}

TEST_F(CommandLine, OutputCopyAndSingleArgumentForms) {
    TraceRec rec;
    rec.component = 4;
    rec.minor = 267;
    rec.payload = Words({5});
    TraceFileBuilder f;
    f.Marker().V3(rec);
    f.WriteTo(Path("t.trc"));
    const std::string line = "Rs232Cancel" + std::string(13, ' ') + "Handle=5\n";
    // -w writes the output file; -a creates the copy file at once (an earlier one too).
    FormatterResult r = RunFormatter({"-m", "-a", Path("copy1"), "-a", Path("copy2"), "-f", Path("t.trc"),
                                      "-w", Path("out.txt"), "ignored"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(Path("out.txt")), line);
    EXPECT_TRUE(std::ifstream(Path("copy1")).good());
    EXPECT_TRUE(std::ifstream(Path("copy2")).good());
    // One argument: the input file, no options (the time column stays on).
    r = RunFormatter({Path("t.trc")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Rs232Cancel   0.000      " + std::string(10, ' ') + "Handle=5\n");
    // "-m" alone is taken as a file name.
    EXPECT_EQ(RunFormatter({"-m"}).status, 2);
}

} // namespace
