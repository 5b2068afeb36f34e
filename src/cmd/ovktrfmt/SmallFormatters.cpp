// The formatters of the self-checkout (2), RS-232 access (4) and JavaPOS (6) components.
#include "RecordFormatters.h"

#include "Payload.h"
#include "TextRecord.h"
#include "TraceFormatter.h"

namespace {

constexpr int kJposWorkArea = 10000; // characters of a JavaPOS text, its zero included
constexpr int kBracketName = 100;    // characters of a bracketed name, its zero included
constexpr int kPortField = 10;

// The indent, a blank, the hex dump, a line feed; the indent, a blank, the character dump.
void dumpBoth(TraceOutput& out, const uint8_t* data, int length) {
    out.blank();
    out.text(" ");
    out.dumpMsg(data, length);
    out.text("\n");
    out.blank();
    out.text(" ");
    out.dumpMsgAscii(data, length);
}

void textLine(TraceOutput& out, const char* name, const TextRecord& r) {
    std::string text = r.text;
    RemoveFinalLineFeed(text);
    out.header(name);
    out.print("%s(%s): %s\n", r.className.c_str(), r.methodName.c_str(), text.c_str());
}

// Class, method and text, then both dumps of the bytes from the text's zero byte on.
void textAndData(TraceOutput& out, const char* name, const Payload& p, const TextRecord& r) {
    out.header(name);
    out.print("%s(%s): %s", r.className.c_str(), r.methodName.c_str(), r.text.c_str());
    dumpBoth(out, p.from(r.dataOffset), p.restFrom(r.dataOffset));
    out.text("\n");
}

} // namespace

int FormatScsRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length) {
    TraceOutput& out = run.out();
    const Payload p(payload, length);
    const TextRecord r(p);
    if (r.level > run.options().scsLevel) return 1;
    switch (minor) {
    case 100: textLine(out, "Scs", r); break;
    case 101: {
        out.header("Scs");
        out.print("%s(%s):\n", r.className.c_str(), r.methodName.c_str());
        const int at = TextRecord::kTextOffset;
        dumpBoth(out, p.from(at), p.restFrom(at));
        out.text("\n");
        break;
    }
    default:
        out.header("Scs");
        out.print("Unknown minorCode=%d\n", static_cast<int>(minor));
    }
    return 0;
}

int FormatRs232Record(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length) {
    TraceOutput& out = run.out();
    const Payload p(payload, length);
    auto handleAndData = [&](const char* name) {
        out.header(name);
        out.print("Handle=%d, Data=", p.i32(0));
        out.dumpMsg(p.from(4), p.restFrom(4));
        out.text("\n");
    };
    switch (minor) {
    case 101: textAndData(out, "Rs232", p, TextRecord(p)); break;
    case 257: textLine(out, "Rs232", TextRecord(p)); break;
    case 258: case 259: case 262: case 263: case 264: out.text("\n"); break;
    case 260: handleAndData("Rs232Write"); break;
    case 261: handleAndData("Rs232Read"); break;
    case 270: handleAndData("Rs232ReadFail"); break;
    case 265:
        out.header("Rs232Open");
        out.print("Handle=%d, port=%s, rc=%d\n", p.i32(0), p.text(8, kPortField).c_str(), p.i32(4));
        break;
    case 266:
        out.header("Rs232Close");
        out.print("Handle=%d, port=%s\n", p.i32(0), p.text(8, kPortField).c_str());
        break;
    case 267:
        out.header("Rs232Cancel");
        out.print("Handle=%d\n", p.i32(0));
        break;
    case 268:
        out.header("Rs232WRiteFail");
        out.text("\n");
        dumpBoth(out, p.data(), p.length());
        out.text("\n");
        break;
    case 269:
        out.header("Rs232Olap");
        out.print("Handle=%d, rc=%d\n", p.i32(0), p.i32(8));
        break;
    default:
        out.header("Rs232");
        out.print("Unknown minorCode=%d\n", static_cast<int>(minor));
    }
    return 0;
}

int FormatJposRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length) {
    TraceOutput& out = run.out();
    const Payload p(payload, length);
    if (minor == 990) {
        textLine(out, "Jpos", TextRecord(p));
        return 0;
    }
    if (minor == 989) {
        textAndData(out, "Opos", p, TextRecord(p));
        out.dumpMsg(p.data(), p.length());
        out.text("\n");
        return 0;
    }
    // Plain text: "[class][method]text".
    std::string text = p.text(0, kJposWorkArea - 1);
    RemoveFinalLineFeed(text);
    std::string cls, method;
    size_t at = 0;
    auto bracket = [&](std::string& name) {
        if (at >= text.size() || text[at] != '[') return false;
        const size_t close = text.find(']', at + 1);
        if (close == std::string::npos) return false;
        name = text.substr(at + 1, close - at - 1).substr(0, kBracketName - 1);
        at = close + 1;
        return true;
    };
    if (bracket(cls)) bracket(method);
    const std::string& name = !method.empty() ? method : cls;
    out.header(name.c_str());
    out.print("%s\n", text.c_str() + at);
    return 0;
}
