// The test program's command line.
#pragma once

// Reads the options into the reader flags. 0 to go on; else the exit status after the help
// text (1 for help, 2 for an unknown option: the last such argument decides).
int ParseOptions(int argc, char** argv);
void PrintHelp();
