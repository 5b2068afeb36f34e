// Runs the trace formatter in-process on a built trace file and keeps what it printed.
#pragma once

#include <string>
#include <vector>

#include "TempRoot.h"
#include "TraceFileBuilder.h"

struct FormatterResult {
    int status = -1;
    std::string out, err;
};

// ovktrfmt with exactly these arguments (argv[0] is added).
FormatterResult RunFormatter(const std::vector<std::string>& args);

// Writes the file into a private folder and runs "ovktrfmt <options> -f <file>".
class FormatterFixture {
public:
    FormatterResult Format(const TraceFileBuilder& file, const std::vector<std::string>& options = {"-m"});
    std::string Path(const std::string& name) const { return root_.at("/" + name); }

private:
    TempRoot root_;
};
