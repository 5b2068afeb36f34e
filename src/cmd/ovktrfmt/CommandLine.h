// The formatter's command line: options, usage text, files, and the run to the end of the
// input. Exit status: 0 at the end of the input and after an option error, 1 after the usage
// text, 2 when the input cannot be opened, 3 when the output file cannot be created.
#pragma once

#include <cstdio>

// Runs ovktrfmt with `argv`; `out` stands for the standard output, `err` for the standard
// error (getopt's own complaints still go to the process's standard error).
int RunTraceFormatter(int argc, char** argv, FILE* out, FILE* err);
