#include "TextRecord.h"

TextRecord::TextRecord(const Payload& p)
    : level(static_cast<long>(p.u32(0))),
      className(p.text(4, kNameField)),
      methodName(p.text(4 + kNameField, kNameField)),
      text(p.text(kTextOffset, p.length())),
      dataOffset(p.zeroAfter(kTextOffset)) {}

void RemoveFinalLineFeed(std::string& text) {
    const size_t n = text.size();
    if (n >= 2 && text[n - 2] == '\n')
        text.resize(n - 2);
    else if (n >= 1 && text[n - 1] == '\n')
        text.resize(n - 1);
}
