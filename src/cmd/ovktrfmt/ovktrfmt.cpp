// ovktrfmt: prints a binary trace file as text lines.
#include <cstdio>

#include "CommandLine.h"

int main(int argc, char** argv) { return RunTraceFormatter(argc, argv, stdout, stderr); }
