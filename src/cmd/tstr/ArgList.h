// The argument list of the current call, typed by the user: names, value types and values.
#pragma once

#include "ovkapi.h"

constexpr int kMaxArgs = 20;
extern PosArg Global_args[kMaxArgs];
extern int Global_nargs;

// Asks for the number of arguments and each one; with `withValues` false (get values) the
// values are places for the answers. Returns the count (a negative count is passed on
// with no arguments).
int GetArgs(bool withValues);
// Frees the names, strings and byte blocks of the list.
void DoneWithArgs();
