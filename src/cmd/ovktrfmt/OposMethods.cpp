#include "OposMethods.h"

#include "OposTables.h"

long OposLine::result() const {
    if (has("rc=")) return number("rc=");
    size_t at = KeywordEnd(text_, "returning");
    while (at < text_.size() && (text_[at] == ' ' || text_[at] == '=' || text_[at] == ':')) ++at;
    return DecimalAt(text_, at, -1);
}

const char* OposLine::rcName() const { return GetTableEntry(OposRc, static_cast<int32_t>(result())); }

bool OposLine::quoted(const char* keyword, std::string& value) const {
    const size_t at = KeywordEnd(text_, keyword);
    if (at == std::string::npos) return false;
    value = text_.substr(at);
    if (!value.empty() && value.front() == '\'') {
        value.erase(0, 1);
        if (!value.empty() && value.back() == '\'') value.pop_back();
    }
    return true;
}

void OposLine::lead() const {
    out_.header("Opos");
    out_.print("%s(%s): ", r_.className.c_str(), r_.methodName.c_str());
}

void OposLine::raw() const {
    lead();
    out_.text(text_);
}

void OposLine::dataLines(const std::string& data) const {
    std::string s = "     Data='";
    bool open = true;
    for (size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == 0x1B) {
            s += "\\x1b";
        } else if (c == '\r') {
            s += "\\r";
        } else if (c == '\n') {
            s += "\\n'";
            open = false;
            if (i + 1 < data.size()) {
                s += "\n     Data='";
                open = true;
            }
        } else {
            s += c;
        }
    }
    if (open) s += "'";
    out_.text(s);
}

namespace {

const char* trueFalse(const OposLine& l, const char* keyword) { return l.name(TrueFalse, keyword); }

// A bitmap width: a number of dots, or the name of a width the standard gives (the bitmap's
// own width).
std::string widthText(long width) {
    for (const TableEntry* row = OposPrnBitmapWidth; row->Name; ++row)
        if (row->Value == width) return row->Name;
    return std::to_string(width);
}

std::string fileName(const OposLine& l) {
    std::string name;
    l.quoted("FileName=", name);
    return name;
}

bool isWait(const std::string& method) {
    return method == "WaitForSingleObject" || method == "WaitForMultipleObjects";
}

// The wait calls are shown only when they timed out in the device layer.
int waitCall(const OposLine& l) {
    if (!l.has("posRc=258")) return 1;
    l.lead();
    const long rc = l.has("rc=") ? l.number("rc=") : l.number("posRc=");
    l.out().print("returning, rc=%s", GetTableEntry(OposRc, static_cast<int32_t>(rc)));
    return 0;
}

// "returning, rc=..." of a returning line; otherwise the entered line through `entered`.
template <typename Entered>
int enteredOrReturning(const OposLine& l, Entered entered) {
    if (l.returning()) {
        l.lead();
        l.out().print("returning, rc=%s", l.rcName());
    } else if (l.entered()) {
        l.lead();
        entered();
    } else {
        l.raw();
    }
    return 0;
}

int insertionOrRemoval(const OposLine& l, bool withTimeout) {
    return enteredOrReturning(l, [&] {
        if (withTimeout)
            l.out().print("Timeout=%ld entered", l.number("Timeout="));
        else
            l.out().text("entered");
    });
}

int directIo(const OposLine& l) {
    if (!l.has("Command=")) {
        l.raw();
        return 0;
    }
    l.lead();
    const char* command = l.name(OposPrnDirectIoCommands, "Command=");
    if (l.returning())
        l.out().print("Command=%s returning, rc=%s, rce=%s", command, l.rcName(), l.name(OposPrnRcExt, "rce="));
    else
        l.out().print("Command=%s Data=%ld entered", command, l.number("Data="));
    return 0;
}

int slipStatus(const OposLine& l) {
    if (!l.has("mp2=")) {
        l.raw();
        return 0;
    }
    l.lead();
    l.out().print("mp2=0x%lx (SlipState=%s)", l.hex("mp2="), l.name(OposPrnSlipState, "SlipState="));
    return 0;
}

int printData(const OposLine& l) {
    TraceOutput& out = l.out();
    if (!l.has("Station=") || !(l.entered() || l.returning())) {
        l.raw();
        return 0;
    }
    l.lead();
    const char* station = l.name(OposPrnStation, "Station=");
    if (l.returning()) {
        out.print("Station=%s returning", station);
        if (l.has("rc=")) out.print(", rc=%s", l.rcName());
        return 0;
    }
    out.print("Station=%s entered", station);
    std::string data;
    if (l.quoted("Data=", data)) {
        out.text("\n");
        l.dataLines(data);
    }
    return 0;
}

int doPrinting(const OposLine& l) {
    TraceOutput& out = l.out();
    if (l.has("SyncResultCode=")) {
        l.lead();
        out.print("SyncResultCode=%s, SyncResultCodeExtended=%s", l.name(OposRc, "SyncResultCode="),
                  l.name(OposPrnRcExt, "SyncResultCodeExtended="));
        return 0;
    }
    if (!l.has("Station=") || !(l.entered() || l.returning())) {
        l.raw();
        return 0;
    }
    l.lead();
    const char* station = l.name(OposPrnStation, "Station=");
    if (l.returning()) {
        out.print("Station=%s returning, rc=%s", station, l.rcName());
        return 0;
    }
    out.print("Station=%s entered\n", station);
    out.print("     Station 1: Size=%ld, Orientation=%s\n", l.number("Size1="), l.name(OposPrnRotatePrint, "Orientation1="));
    out.print("     Station 2: Size=%ld, Orientation=%s\n", l.number("Size2="), l.name(OposPrnRotatePrint, "Orientation2="));
    out.print("     PrintMode=%s, PrintAlignment=%s\n", l.name(OposPosMode, "PrintMode="),
              l.name(OposPrnBitmapAlignment, "PrintAlignment="));
    out.print("     Validate=%s, Resend=%s, Immediate=%s, SyncTimeout=%ld", trueFalse(l, "Validate="),
              trueFalse(l, "Resend="), trueFalse(l, "Immediate="), l.number("SyncTimeout="));
    return 0;
}

} // namespace

int FormatPrinterMethod(const OposLine& l) {
    TraceOutput& out = l.out();
    const std::string& m = l.method();
    if (m == "PrintNormal" || m == "PrintImmediate") return printData(l);
    if (m == "DoPrinting") return doPrinting(l);
    if (m == "BeginInsertion" || m == "EndInsertion" || m == "BeginRemoval" || m == "EndRemoval")
        return insertionOrRemoval(l, true);
    if (m == "DirectIO") return directIo(l);
    if (m == "SlipStatus") return slipStatus(l);
    if (isWait(m)) return waitCall(l);
    if (m == "ChaseComplete" || m == "StationCheck" || m == "DoQueueEvent" || m == "ProcessDeferredAsyncData") {
        if (l.entered()) return 1;
        l.raw();
        return 0;
    }
    if (m == "ClearOutput" || m == "ClearQueue") {
        if (!l.returning()) {
            l.raw();
            return 0;
        }
        l.lead();
        out.print("returning, rc=%s", l.rcName());
        return 0;
    }
    if (m == "OutputPending") {
        if (l.has("Queued=")) {
            l.lead();
            out.print("Queued=%ld, Sent=%ld, Directio=%s", l.number("Queued="), l.number("Sent="),
                      trueFalse(l, "Directio="));
        } else if (l.returning() && l.has("TRUE")) {
            l.lead();
            out.text("returning, output pending is TRUE");
        } else if (l.has("Synchronous")) {
            l.lead();
            out.text("Synchronous data pending");
        } else {
            l.raw();
        }
        return 0;
    }
    if (m == "HandleErrorCondition") {
        const long response = KeywordValue(l.text(), {"command=", "Command=", "ErrorResponse="}, -1);
        if (response < 0) {
            l.raw();
            return 0;
        }
        l.lead();
        const char* name = response >= 11 && response <= 13 ? GetTableEntry(OposErrorResponse, static_cast<int32_t>(response)) : "????";
        out.print("Error Response command=%s", name);
        return 0;
    }
    if (m == "SetCurrentPrinterState") {
        const long state = KeywordValue(l.text(), {"CurrentPrinterState=", "State="}, -1);
        if (state < 0) {
            l.raw();
            return 0;
        }
        l.lead();
        out.print("CurrentPrinterState=%s", GetTableEntry(OposState, static_cast<int32_t>(state)));
        return 0;
    }
    if (m == "DoAsyncMode" && l.has("Enable=")) {
        l.lead();
        out.print("Enable=%s", trueFalse(l, "Enable="));
        return 0;
    }
    if (m == "StatusChange" && l.has("reason=")) {
        l.lead();
        out.print("reason=%s, mp2=0x%lx", l.name(VuskPrnStatusChange, "reason="), l.hex("mp2="));
        return 0;
    }
    if (m == "VuskWriteData" && (l.entered() || l.has("rc="))) {
        l.lead();
        if (l.entered())
            out.print("Chase=%s entered", trueFalse(l, "Chase="));
        else
            out.print("rc=%s, rce=%s", l.rcName(), l.name(OposPrnRcExt, "rce="));
        return 0;
    }
    if (m == "TransactionPrint" && l.has("Station=")) {
        l.lead();
        out.print("Station=%s, Control=%s", l.name(OposPrnStation, "Station="),
                  l.name(OposPrnTransactionControl, "Control="));
        if (l.returning()) out.print(" returning, rc=%s", l.rcName());
        return 0;
    }
    if (m == "RotatePrint" && l.has("Station=") && (l.entered() || l.returning())) {
        l.lead();
        const char* station = l.name(OposPrnStation, "Station=");
        if (l.returning())
            out.print("Station=%s returning, rc=%s", station, l.rcName());
        else
            out.print("Station=%s Rotation=%s entered", station, l.name(OposPrnRotatePrint, "Rotation="));
        return 0;
    }
    if (m == "PrintBitmap" && l.has("Station=") && !l.returning()) {
        l.lead();
        out.print("Station=%s, Width=%s, Alignment=%s\n", l.name(OposPrnStation, "Station="),
                  widthText(l.number("Width=")).c_str(), l.name(OposPrnBitmapAlignment, "Alignment="));
        out.print("     FileName='%s'", fileName(l).c_str());
        return 0;
    }
    if (m == "DoPrintBitmap" && l.has("Station=")) {
        l.lead();
        const char* station = l.name(OposPrnStation, "Station=");
        if (l.returning()) {
            out.print("Station=%s, rc=%s", station, l.rcName());
            return 0;
        }
        out.print("Station=%s, Width=%s, Alignment=%s\n", station, widthText(l.number("Width=")).c_str(),
                  l.name(OposPrnBitmapAlignment, "Alignment="));
        out.print("     Mode=%s, BitmapNumber=%ld\n", l.name(OposPosMode, "Mode="), l.number("BitmapNumber="));
        out.print("     FileName='%s'", fileName(l).c_str());
        return 0;
    }
    if (m == "SetBitmap" && l.has("BitmapNumber=")) {
        l.lead();
        const long number = l.number("BitmapNumber=");
        const char* station = l.name(OposPrnStation, "Station=");
        if (l.returning()) {
            out.print("BitmapNumber=%ld, Station=%s, rc=%s", number, station, l.rcName());
            return 0;
        }
        out.print("BitmapNumber=%ld, Station=%s\n", number, station);
        out.print("     Width=%s, Alignment=%s\n", widthText(l.number("Width=")).c_str(),
                  l.name(OposPrnBitmapAlignment, "Alignment="));
        out.print("     FileName='%s'", fileName(l).c_str());
        return 0;
    }
    if (m == "PrintBarCode" && l.has("Station=") && !l.returning()) {
        l.lead();
        std::string barcode;
        if (!l.quoted("Barcode=", barcode)) l.quoted("Data=", barcode);
        out.print("Station=%s, Width=%ld, Height=%ld\n", l.name(OposPrnStation, "Station="), l.number("Width="),
                  l.number("Height="));
        out.print("     Alignment=%s, TextPosition=%s\n", l.name(OposPrnBarcodeAlignment, "Alignment="),
                  l.name(OposPrnBarcodePosition, "TextPosition="));
        out.print("     Symbology=%s, Barcode='%s'", l.name(OposPrnBarcodeSymbology, "Symbology="), barcode.c_str());
        return 0;
    }
    if (m == "DoValidateData" && l.has("Station=") && (l.entered() || l.returning())) {
        l.lead();
        const char* station = l.name(PosPrintStation, "Station=");
        if (l.returning()) {
            out.print("Station=%s returning, rc=%s", station, l.rcName());
            return 0;
        }
        out.print("Station=%s entered\n", station);
        out.print("     Validate=%s, BackToNormal=%s, Rotate=%s", trueFalse(l, "Validate="),
                  trueFalse(l, "BackToNormal="), trueFalse(l, "Rotate="));
        std::string data;
        if (l.quoted("Data=", data)) {
            out.text("\n");
            l.dataLines(data);
        }
        return 0;
    }
    l.raw();
    return 0;
}

int FormatEventInterface(const OposLine& l, bool micr) {
    const std::string& m = l.method();
    if (m == "FireEventToCO" || m == "AddEventsToQueue" || m == "ProcessMessage" || m == "OnPrnChaseComplete" ||
        m == "OnPrnStatusChange" || m == "InternalTriggerEvents" || (micr && m == "ClearInputQueue"))
        return 1;
    if (m == "ErrorEvent" && l.has("ResultCode=")) {
        l.lead();
        l.out().print("Send Error Event ResultCode=%s, ResultCodeExtended=%s", l.name(OposRc, "ResultCode="),
                      l.name(OposPrnRcExt, "ResultCodeExtended="));
        return 0;
    }
    if (m == "StatusUpdateEvent" && l.has("Sending Data=")) {
        l.lead();
        l.out().print("Sending Data=%s", l.name(OposPrnStatusUpdateEvent, "Sending Data="));
        return 0;
    }
    l.raw();
    return 0;
}

int FormatMicrMethod(const OposLine& l) {
    const std::string& m = l.method();
    if (m == "BeginInsertion" || m == "BeginRemoval") return insertionOrRemoval(l, true);
    if (m == "EndInsertion" || m == "EndRemoval") return insertionOrRemoval(l, false);
    if (m == "DirectIO") return directIo(l);
    if (m == "SlipStatus") return slipStatus(l);
    if (isWait(m)) return waitCall(l);
    if (m == "StatusChange") {
        if (l.returning()) return 1;
        if (l.has("reason=")) {
            l.lead();
            l.out().print("handle=%ld, reason=%s, mp2=0x%lx", l.number("handle="), l.name(VuskPrnStatusChange, "reason="),
                          l.hex("mp2="));
            return 0;
        }
    }
    l.raw();
    return 0;
}

int FormatWinPrinterMethod(const OposLine& l) {
    const std::string& m = l.method();
    if (m == "BeginInsertion" || m == "BeginRemoval") return insertionOrRemoval(l, true);
    if (m == "EndInsertion") return insertionOrRemoval(l, false);
    if (isWait(m)) return waitCall(l);
    if (m.find("Write") != std::string::npos && l.has("length=") && (l.entered() || l.returning())) {
        l.lead();
        if (l.returning()) {
            l.out().print("length=%ld, BytesWritten=%ld", l.number("length="), l.number("BytesWritten="));
            return 0;
        }
        l.out().print("length=%ld, entered", l.number("length="));
        std::string data;
        if (l.quoted("Data=", data)) {
            l.out().text("\n");
            l.dataLines(data);
        }
        return 0;
    }
    l.raw();
    return 0;
}
