// Keyboard input of the test program: typed lines, prompts with defaults, and the one-key
// choice of the menu read raw while the reader thread may print.
#pragma once

#include <string>

// What to do at the end of standard input (the program quits); set once at start.
void SetEndOfInput(void (*handler)());

// Saves the terminal's settings (when standard input is one) so that they can be restored.
void SaveTerminal();
void RestoreTerminal();

// One line of standard input without its end, cut to `size` - 1 characters (the rest of
// the line is dropped). At the end of input the end-of-input handler runs.
void ReadLine(char* buffer, int size);
// Prints the prompt, then reads a line.
void Ask(const char* prompt, char* buffer, int size);
// The prompt until a decimal number is typed; an empty line gives `defaultValue`.
long AskNumber(const char* prompt, long defaultValue);
// Prints the prompt, reads a line and expands its escapes in place; the byte count.
int GetEscapeString(const char* prompt, char* buffer, int size);

// The menu choice: one key typed alone on its line (either case, lowered); 0 for any other
// input (asked again by the caller). With the reader thread the keys are read raw and the
// thread may print between them; without it the queue is checked before and after.
char ReadChoice(bool withThread);
