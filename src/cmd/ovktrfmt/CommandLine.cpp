#include "CommandLine.h"

#include <cstdlib>
#include <getopt.h>
#include <string>
#include <vector>

#include "FormatOptions.h"
#include "TraceFormatter.h"

namespace {

constexpr size_t kMaxFileName = 2549;

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

std::string fileName(const char* arg) { return std::string(arg).substr(0, kMaxFileName); }

// Parses the options; false after an option error (getopt's "?").
bool parse(int argc, char** argv, FormatOptions& o, std::vector<FILE*>& copies) {
    optind = 0; // a fresh scan on every run
    int c;
    while ((c = getopt(argc, argv, "f:w:cmpto:s:la:xXLTPUS2CA?")) != -1) {
        switch (c) {
        case 'f': o.input = fileName(optarg); break;
        case 'w': o.output = fileName(optarg); break;
        case 'c': o.cumulative = true; break;
        case 'm': o.timeDiff = false; break;
        case 'p': o.process = true; break;
        case 't': o.date = true; break;
        case 'o': o.oposLevel = std::atoi(optarg); break;
        case 's': o.scsLevel = std::atoi(optarg); break;
        case 'l': o.divisor = 1000; break;
        case 'a':
            // Created at once; an earlier copy file stays open to the end.
            o.copyFile = fileName(optarg);
            copies.push_back(std::fopen(o.copyFile.c_str(), "w"));
            break;
        case 'x': case 'X': o.debug = true; break;
        case 'L': o.hideCore = true; break;
        case 'T': o.hideText = true; break;
        case 'P': o.hideDevice = true; break;
        case 'U': o.unformattedOpos = true; break;
        case 'S': o.hideSio = true; break;
        case '2': o.forceV2 = true; break;
        case 'C': o.lineCounts = true; break;
        case 'A': o.showTcp = true; break;
        default: return false; // '?': an unknown letter, a missing argument or -?
        }
    }
    return true;
}

void closeAll(std::vector<FILE*>& files) {
    for (FILE* f : files)
        if (f) std::fclose(f);
    files.clear();
}

} // namespace

int RunTraceFormatter(int argc, char** argv, FILE* out, FILE* err) {
    FormatOptions options;
    std::vector<FILE*> copies;
    if (argc == 2) {
        options.input = fileName(argv[1]);
    } else if (!parse(argc, argv, options, copies)) {
        closeAll(copies);
        return 0;
    }
    if (options.input.empty() || options.input == "-?") {
        std::fputs(kUsage, err);
        closeAll(copies);
        return 1;
    }
    FILE* in = std::fopen(options.input.c_str(), "rb");
    if (!in) {
        std::fprintf(err, "Could not open '%s' for reading\n", options.input.c_str());
        closeAll(copies);
        return 2;
    }
    FILE* output = out;
    if (!options.output.empty()) {
        output = std::fopen(options.output.c_str(), "w");
        if (!output) {
            std::fprintf(err, "Could not open '%s' for writing\n", options.output.c_str());
            std::fclose(in);
            closeAll(copies);
            return 3;
        }
    }
    TraceFormatter run(options, output, err);
    run.out().setCopyFile(copies.empty() ? nullptr : copies.back());
    run.Run(in);
    std::fclose(in);
    closeAll(copies);
    if (output != out) std::fclose(output);
    else std::fflush(out);
    return 0;
}
