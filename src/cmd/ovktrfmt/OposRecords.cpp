// Component 1: the records of the OPOS service objects. Statements above the OPOS detail
// level are not shown. Text records of the property calls are turned back into property
// names and value names, those of the printer, MICR and Windows-printer service objects and
// of the event interfaces through their method decoders; others print as traced.
#include "RecordFormatters.h"

#include <string>

#include "OposMethods.h"
#include "OposTables.h"
#include "OposText.h"
#include "Payload.h"
#include "TextRecord.h"
#include "TraceFormatter.h"

namespace {

std::string propertyText(const std::string& cls, long index, long value) {
    if (index == 7) return GetResultCodeExtended(cls, static_cast<int32_t>(value));
    return GetPropTableEntry(OposProp, static_cast<int32_t>(index), static_cast<int32_t>(value));
}

// 1 for an "entered" line, which is not shown.
int getPropertyNumber(TraceOutput& out, CoreState& state, const TextRecord& r, const std::string& text) {
    const long lState = KeywordValue(text, {"m_lState="}, -1);
    if (lState >= 0) state.oposState = static_cast<int>(lState);
    const long index = KeywordValue(text, {"PropIndex="}, -1);
    const long value = KeywordValue(text, {"Value=", "value=", "Number=", "number="}, -1);
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
    const long index = KeywordValue(text, {"PropIndex="}, -1);
    long value = KeywordValue(text, {"Value=", "value=", "Number=", "number="}, -1);
    const bool entered = text.find("entered") != std::string::npos;
    if (entered && value < 0) {
        size_t at = KeywordEnd(text, "PropIndex=");
        at = at == std::string::npos ? text.find('=') : text.find('=', at);
        if (at != std::string::npos) value = DecimalAt(text, at + 1, -1);
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
    const long index = KeywordValue(text, {"PropIndex="}, -1);
    std::string value;
    size_t at = KeywordEnd(text, "string='");
    if (at == std::string::npos) at = KeywordEnd(text, "String='");
    if (at != std::string::npos) {
        value = text.substr(at);
        if (!value.empty() && value.back() == '\'') value.pop_back();
    } else {
        at = KeywordEnd(text, "string=");
        if (at == std::string::npos) at = KeywordEnd(text, "String=");
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
        const OposLine line(out, r, text);
        const std::string& cls = r.className;
        int hidden = 0;
        if (cls == "CPosPrinter")
            hidden = FormatPrinterMethod(line);
        else if (cls == "CPrntEventInterface" || cls == "CMicrEventInterface")
            hidden = FormatEventInterface(line, cls == "CMicrEventInterface");
        else if (cls == "CMICR")
            hidden = FormatMicrMethod(line);
        else if (cls == "CVuskWinPrinter")
            hidden = FormatWinPrinterMethod(line);
        else
            line.raw();
        if (hidden) return 1;
    }
    out.text("\n");
    return 0;
}
