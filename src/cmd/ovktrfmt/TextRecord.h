// The text header that the records of the OPOS, self-checkout, RS-232 and JavaPOS components
// begin with: detail level, class and method names (50-byte fields), then the text and its
// zero byte, then any binary data.
#pragma once

#include <string>

#include "Payload.h"

struct TextRecord {
    static constexpr int kTextOffset = 104;
    static constexpr int kNameField = 50;

    explicit TextRecord(const Payload& p);

    long level;             // the statement's detail level
    std::string className;  // at most 50 characters, also without a terminating zero
    std::string methodName;
    std::string text;       // up to its zero byte or the payload's end
    int dataOffset;         // the text's terminating zero (the payload's length when none)
};

// Removes a final line feed: when the character before the last is a line feed the text
// ends there, otherwise a last line feed is removed.
void RemoveFinalLineFeed(std::string& text);
