// Component 1: the records of the OPOS service objects. Statements above the OPOS detail
// level are not shown. Text records of the property calls are turned back into property
// names and value names; other methods print as traced (class, method, text).
#include "RecordFormatters.h"

#include <cstdlib>
#include <string>

#include "OposTables.h"
#include "Payload.h"
#include "TextRecord.h"
#include "TraceFormatter.h"

namespace {

// The position just after the first occurrence of the keyword, or npos.
size_t after(const std::string& text, const char* keyword) {
    const size_t at = text.find(keyword);
    return at == std::string::npos ? at : at + std::char_traits<char>::length(keyword);
}

// A decimal value (an optional "-" and digits) at `at`; `fallback` when there is none.
long decimalAt(const std::string& text, size_t at, long fallback) {
    if (at == std::string::npos || at >= text.size()) return fallback;
    size_t i = at;
    if (text[i] == '-') ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return fallback;
    return std::strtol(text.c_str() + at, nullptr, 10);
}

long keywordValue(const std::string& text, std::initializer_list<const char*> keywords, long fallback) {
    for (const char* k : keywords) {
        const size_t at = after(text, k);
        if (at != std::string::npos) return decimalAt(text, at, fallback);
    }
    return fallback;
}

std::string propertyText(const std::string& cls, long index, long value) {
    if (index == 7) return GetResultCodeExtended(cls, static_cast<int32_t>(value));
    return GetPropTableEntry(OposProp, static_cast<int32_t>(index), static_cast<int32_t>(value));
}

// 1 for an "entered" line, which is not shown.
int getPropertyNumber(TraceOutput& out, CoreState& state, const TextRecord& r, const std::string& text) {
    const long lState = keywordValue(text, {"m_lState="}, -1);
    if (lState >= 0) state.oposState = static_cast<int>(lState);
    const long index = keywordValue(text, {"PropIndex="}, -1);
    const long value = keywordValue(text, {"Value=", "value=", "Number=", "number="}, -1);
    if (text.find("entered") != std::string::npos) return 1;
    out.header("Opos");
    out.print("%s(%s): ", r.className.c_str(), r.methodName.c_str());
    if (text.find("returning") != std::string::npos || (value >= 0 && index >= 1)) {
        out.text(propertyText(r.className, index, value));
        if (state.oposState >= 0) {
            out.print(", State=%s", GetTableEntry(OposState, state.oposState));
            state.oposState = -1;
        }
    } else {
        out.text(text);
    }
    return 0;
}

void setPropertyNumber(TraceOutput& out, const TextRecord& r, const std::string& text) {
    const long index = keywordValue(text, {"PropIndex="}, -1);
    long value = keywordValue(text, {"Value=", "value=", "Number=", "number="}, -1);
    const bool entered = text.find("entered") != std::string::npos;
    if (entered && value < 0) {
        size_t at = after(text, "PropIndex=");
        at = at == std::string::npos ? text.find('=') : text.find('=', at);
        if (at != std::string::npos) value = decimalAt(text, at + 1, -1);
    }
    out.print("%s(%s): ", r.className.c_str(), r.methodName.c_str());
    if (entered || (value >= 0 && index != 0))
        out.text(propertyText(r.className, index, value));
    else
        out.print("'%s'", text.c_str());
}

void getPropertyString(TraceOutput& out, const TextRecord& r, const std::string& text) {
    out.print("%s(%s): ", r.className.c_str(), r.methodName.c_str());
    if (text.compare(0, 4, "Prop") != 0) {
        out.text(text);
        return;
    }
    const long index = keywordValue(text, {"PropIndex="}, -1);
    std::string value;
    size_t at = after(text, "string='");
    if (at == std::string::npos) at = after(text, "String='");
    if (at != std::string::npos) {
        value = text.substr(at);
        if (!value.empty() && value.back() == '\'') value.pop_back();
    } else {
        at = after(text, "string=");
        if (at == std::string::npos) at = after(text, "String=");
        if (at != std::string::npos) value = text.substr(at);
    }
    out.print("%s='%s'", GetTableEntry(OposPropString, static_cast<int32_t>(index)), value.c_str());
}

} // namespace

int FormatOposRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length,
                     const char*, const char*, const char*) {
    const Payload p(payload, length);
    const TextRecord r(p);
    if (r.level > run.options().oposLevel) return 1;
    TraceOutput& out = run.out();
    if (minor == 101) {
        out.header("Opos");
        out.print("%s(%s): %s\n", r.className.c_str(), r.methodName.c_str(), r.text.c_str());
        out.blank();
        out.text(" ");
        // The data after the text's zero byte.
        const int at = r.dataOffset + 1;
        const int n = p.restFrom(at);
        out.dumpMsgOffset2(p.from(at), n);
        if (p.u8(at) != 2) {
            out.text("\n");
            out.blank();
            out.text("|");
            out.dumpMsgAsciiOffset(p.from(at), n);
        }
        out.text("\n");
        return 0;
    }
    if (minor != 100) {
        out.header("Opos");
        out.print("Unknown minorCode=%d\n", static_cast<int>(minor));
        return 0;
    }
    std::string text = r.text;
    RemoveFinalLineFeed(text);
    if (run.options().unformattedOpos) {
        out.header("Opos");
        out.print("%s(%s): %s\n", r.className.c_str(), r.methodName.c_str(), text.c_str());
        return 0;
    }
    const std::string& method = r.methodName;
    if (method == "GetPropertyNumber") {
        if (getPropertyNumber(out, run.core(), r, text)) return 1;
    } else if (method == "SetPropertyNumber") {
        out.header("Opos");
        setPropertyNumber(out, r, text);
    } else if (method == "GetPropertyString") {
        out.header("Opos");
        getPropertyString(out, r, text);
    } else {
        out.header("Opos");
        out.print("%s(%s): %s", r.className.c_str(), r.methodName.c_str(), text.c_str());
    }
    out.text("\n");
    return 0;
}
