// Reading the keyword=value pairs of the lines the OPOS service objects trace.
#pragma once

#include <initializer_list>
#include <string>

// The position just after the first occurrence of the keyword, or npos.
size_t KeywordEnd(const std::string& text, const char* keyword);
// A decimal value (an optional "-" and digits) at `at`; `fallback` when there is none.
long DecimalAt(const std::string& text, size_t at, long fallback);
// A hexadecimal value (digits, with or without "0x") at `at`; `fallback` when there is none.
long HexAt(const std::string& text, size_t at, long fallback);
// The decimal value after the first of the keywords that the text holds; `fallback` when
// none is there or no number follows it.
long KeywordValue(const std::string& text, std::initializer_list<const char*> keywords, long fallback);
// The hexadecimal value after the keyword.
long KeywordHex(const std::string& text, const char* keyword, long fallback);
// The text after the keyword up to `end` (or the text's end); false when the keyword is not there.
bool KeywordString(const std::string& text, const char* keyword, char end, std::string& value);
// Whether the text holds the word.
inline bool Holds(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }
