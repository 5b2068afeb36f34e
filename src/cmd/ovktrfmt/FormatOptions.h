// The switches of one formatter run, as the command line sets them.
#pragma once

#include <string>

struct FormatOptions {
    std::string input;      // -f, or the single argument
    std::string output;     // -w; empty: the standard output
    std::string copyFile;   // -a; the last one given
    bool date = false;      // -t: date and time column (version 3 files)
    bool timeDiff = true;   // -m turns the time-difference column off
    bool cumulative = false; // -c: the time base never moves
    bool process = false;   // -p: process and thread column
    int oposLevel = 6;      // -o: OPOS records above this level are not shown
    int scsLevel = 6;       // -s: self-checkout records above this level are not shown
    double divisor = 1;     // -l: 1000 for the clock of version 1 and 2 files
    bool debug = false;     // -x, -X: report skipped over-long records
    bool forceV2 = false;   // -2: 32-byte headers from the first record on
    bool hideCore = false;  // -L: no component-0 records (version 3 files)
    bool hideDevice = false; // -P: no device-layer records
    bool unformattedOpos = false; // -U
    bool hideSio = false;   // -S: no exchange-buffer records
    bool hideText = false;  // -T: no free-text records
    bool lineCounts = false; // -C: printer line counts
    bool showTcp = false;   // -A: remote API records are shown
};
