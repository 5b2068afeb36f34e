// The OPOS method decoders: the printer service object's calls, the event interfaces, the
// MICR and the Windows printer; lines without their keywords print as traced, and some
// lines are not shown at all.
#include <gtest/gtest.h>

#include <string>

#include "FormatterRun.h"

namespace {

struct MethodCase {
    const char* cls;
    const char* method;
    const char* text;
    const char* shown; // after "class(method): ", lines joined by "\n"; null: not shown
};

const MethodCase kCases[] = {
    // Print calls: stations, rotations, alignments, modes and results by name. (A line feed
    // just before the closing quote ends the traced text there.)
    {"CPosPrinter", "PrintNormal", "Station=2 entered Data='\x1b|bC Total\r\nnext line\n'",
     "Station=PTR_S_RECEIPT entered\n     Data='\\x1b|bC Total\\r\\n'\n     Data='next line'"},
    {"CPosPrinter", "PrintNormal", "Station=1 entered Data='a\nb\n\n'",
     "Station=PTR_S_JOURNAL entered\n     Data='a\\n'\n     Data='b\\n'"},
    {"CPosPrinter", "PrintNormal", "Station=2 entered", "Station=PTR_S_RECEIPT entered"},
    {"CPosPrinter", "PrintImmediate", "Station=4 returning, rc=114", "Station=PTR_S_SLIP returning, rc=OPOS_E_EXTENDED"},
    {"CPosPrinter", "RotatePrint", "Station=2 Rotation=258 entered",
     "Station=PTR_S_RECEIPT Rotation=PTR_RP_LEFT90 entered"},
    {"CPosPrinter", "RotatePrint", "Station=2 returning rc=0", "Station=PTR_S_RECEIPT returning, rc=OPOS_SUCCESS"},
    {"CPosPrinter", "PrintBitmap", "Station=2, Width=-11, Alignment=-2, FileName='logo.bmp'",
     "Station=PTR_S_RECEIPT, Width=PTR_BM_ASIS, Alignment=PTR_BM_CENTER\n     FileName='logo.bmp'"},
    {"CPosPrinter", "DoPrintBitmap", "Station=2, Width=200, Alignment=-1, Mode=2, BitmapNumber=1, FileName=a.bmp",
     "Station=PTR_S_RECEIPT, Width=200, Alignment=PTR_BM_LEFT\n     Mode=PosMODE_LOGO, BitmapNumber=1\n"
     "     FileName='a.bmp'"},
    {"CPosPrinter", "DoPrintBitmap", "Station=2 returning rc=111", "Station=PTR_S_RECEIPT, rc=OPOS_E_FAILURE"},
    {"CPosPrinter", "SetBitmap", "BitmapNumber=2, Station=2, Width=-11, Alignment=-3, FileName='b.bmp'",
     "BitmapNumber=2, Station=PTR_S_RECEIPT\n     Width=PTR_BM_ASIS, Alignment=PTR_BM_RIGHT\n     FileName='b.bmp'"},
    {"CPosPrinter", "SetBitmap", "BitmapNumber=2, Station=2 returning, rc=0",
     "BitmapNumber=2, Station=PTR_S_RECEIPT, rc=OPOS_SUCCESS"},
    {"CPosPrinter", "PrintBarCode",
     "Station=2, Width=300, Height=80, Alignment=-2, TextPosition=-13, Symbology=104, Barcode='4006381333931'",
     "Station=PTR_S_RECEIPT, Width=300, Height=80\n     Alignment=PTR_BC_CENTER, TextPosition=PTR_BC_TEXT_BELOW\n"
     "     Symbology=PTR_BCS_JAN13, Barcode='4006381333931'"},
    {"CPosPrinter", "DoPrinting",
     "Station=2 entered Size1=12, Orientation1=1, Size2=0, Orientation2=257, PrintMode=1, PrintAlignment=-1, "
     "Validate=0, Resend=1, Immediate=0, SyncTimeout=5000",
     "Station=PTR_S_RECEIPT entered\n     Station 1: Size=12, Orientation=PTR_RP_NORMAL\n"
     "     Station 2: Size=0, Orientation=PTR_RP_RIGHT90\n     PrintMode=PosMODE_NORMAL, PrintAlignment=PTR_BM_LEFT\n"
     "     Validate=FALSE, Resend=TRUE, Immediate=FALSE, SyncTimeout=5000"},
    {"CPosPrinter", "DoPrinting", "Station=2 returning, rc=0", "Station=PTR_S_RECEIPT returning, rc=OPOS_SUCCESS"},
    {"CPosPrinter", "DoPrinting", "SyncResultCode=114, SyncResultCodeExtended=203",
     "SyncResultCode=OPOS_E_EXTENDED, SyncResultCodeExtended=OPOS_EPTR_REC_EMPTY"},
    {"CPosPrinter", "DoValidateData", "Station=4 entered Validate=1, BackToNormal=0, Rotate=1, Data='PAID\r\n.'",
     "Station=PosPRINT_STATION_DI entered\n     Validate=TRUE, BackToNormal=FALSE, Rotate=TRUE\n     Data='PAID\\r\\n'\n     Data='.'"},
    {"CPosPrinter", "DoValidateData", "Station=4 returning, rc=0", "Station=PosPRINT_STATION_DI returning, rc=OPOS_SUCCESS"},
    {"CPosPrinter", "VuskWriteData", "Chase=1 entered", "Chase=TRUE entered"},
    {"CPosPrinter", "VuskWriteData", "returning rc=114, rce=505",
     "rc=OPOS_E_EXTENDED, rce=QORVEL_EPTR_PAPER_ERROR"},
    {"CPosPrinter", "HandleErrorCondition", "entered command=12", "Error Response command=OPOS_ER_CLEAR"},
    {"CPosPrinter", "HandleErrorCondition", "entered command=7", "Error Response command=????"},
    {"CPosPrinter", "TransactionPrint", "Station=2, Control=11 entered", "Station=PTR_S_RECEIPT, Control=PTR_TP_TRANSACTION"},
    {"CPosPrinter", "TransactionPrint", "Station=2, Control=12 returning, rc=0",
     "Station=PTR_S_RECEIPT, Control=PTR_TP_NORMAL returning, rc=OPOS_SUCCESS"},
    {"CPosPrinter", "SetCurrentPrinterState", "CurrentPrinterState=3", "CurrentPrinterState=OPOS_S_BUSY"},
    {"CPosPrinter", "ChaseComplete", "entered", nullptr},
    {"CPosPrinter", "StationCheck", "station 2 ready", "station 2 ready"},
    {"CPosPrinter", "BeginInsertion", "Timeout=3000 entered", "Timeout=3000 entered"},
    {"CPosPrinter", "EndRemoval", "returning, rc=112", "returning, rc=OPOS_E_TIMEOUT"},
    {"CPosPrinter", "OutputPending", "Queued=3, Sent=1, Directio=0", "Queued=3, Sent=1, Directio=FALSE"},
    {"CPosPrinter", "OutputPending", "returning TRUE", "returning, output pending is TRUE"},
    {"CPosPrinter", "OutputPending", "Synchronous data waiting", "Synchronous data pending"},
    {"CPosPrinter", "SlipStatus", "mp2=0x1a SlipState=7", "mp2=0x1a (SlipState=7      (0x00000007))"},
    {"CPosPrinter", "DirectIO", "Command=501 Data=0 entered", "Command=MISC_RESET_PRINTER Data=0 entered"},
    {"CPosPrinter", "DirectIO", "Command=4 returning, rc=114, rce=509",
     "Command=MICR_READ_ID returning, rc=OPOS_E_EXTENDED, rce=QORVEL_EPTR_NOT_RESPONDING"},
    {"CPosPrinter", "StatusChange", "reason=36, mp2=0x1000", "reason=PosCHANGE_CD_OPEN, mp2=0x1000"},
    {"CPosPrinter", "DoAsyncMode", "Enable=1", "Enable=TRUE"},
    {"CPosPrinter", "ClearOutput", "returning rc=0", "returning, rc=OPOS_SUCCESS"},
    {"CPosPrinter", "WaitForSingleObject", "returning posRc=0", nullptr},
    {"CPosPrinter", "WaitForMultipleObjects", "returning posRc=258 rc=112", "returning, rc=OPOS_E_TIMEOUT"},
    // Lines without the keywords of their method print as traced.
    {"CPosPrinter", "PrintNormal", "no station here", "no station here"},
    {"CPosPrinter", "Release", "entered", "entered"},
    // Event interfaces.
    {"CPrntEventInterface", "FireEventToCO", "event 3", nullptr},
    {"CMicrEventInterface", "ClearInputQueue", "entered", nullptr},
    {"CPrntEventInterface", "ClearInputQueue", "entered", "entered"},
    {"CPrntEventInterface", "ErrorEvent", "ResultCode=114, ResultCodeExtended=201",
     "Send Error Event ResultCode=OPOS_E_EXTENDED, ResultCodeExtended=OPOS_EPTR_COVER_OPEN"},
    {"CPrntEventInterface", "StatusUpdateEvent", "Sending Data=24", "Sending Data=PTR_SUE_REC_EMPTY"},
    {"CPrntEventInterface", "StatusUpdateEvent", "queued", "queued"},
    // The MICR: "rc=" wins over the value after "returning".
    {"CMICR", "BeginInsertion", "Timeout=-1 entered", "Timeout=-1 entered"},
    {"CMICR", "EndInsertion", "entered", "entered"},
    {"CMICR", "EndRemoval", "returning 111 rc=0", "returning, rc=OPOS_SUCCESS"},
    {"CMICR", "EndRemoval", "returning 111", "returning, rc=OPOS_E_FAILURE"},
    {"CMICR", "DirectIO", "Command=201 Data=3 entered", "Command=CS_MICR_READ_WITH_SCAN Data=3 entered"},
    {"CMICR", "StatusChange", "returning", nullptr},
    {"CMICR", "StatusChange", "handle=4, reason=4, mp2=0x20", "handle=4, reason=PosCHANGE_DOCUMENT_REGISTER, mp2=0x20"},
    {"CMICR", "WaitForSingleObject", "posRc=0", nullptr},
    {"CMICR", "Open", "device MICR", "device MICR"},
    // Property lines of other classes: the common properties, and extended results by class.
    {"CMSR", "GetPropertyNumber", "returning PropIndex=7, Value=203", "ResultCodeExtended=OPOS_EMSR_PARITY"},
    {"CFiscalPrinter", "GetPropertyNumber", "returning PropIndex=7, Value=207", "ResultCodeExtended=OPOS_EFPTR_WRONG_STATE"},
    {"CScanner", "GetPropertyNumber", "returning PropIndex=7, Value=201", ""},
    {"CMSR", "GetPropertyNumber", "returning PropIndex=14, Value=2001", "PowerState=OPOS_PS_ONLINE"},
    {"CMSR", "SetPropertyNumber", "entered PropIndex=501 value=2", "CapPowerReporting=OPOS_PR_ADVANCED"},
    // The Windows printer.
    {"CVuskWinPrinter", "WritePrinter", "length=5, entered Data='AB\x1b@\n\n'", "length=5, entered\n     Data='AB\\x1b@\\n'"},
    {"CVuskWinPrinter", "WritePrinter", "length=5, returning BytesWritten=5", "length=5, BytesWritten=5"},
    {"CVuskWinPrinter", "BeginRemoval", "returning rc=0", "returning, rc=OPOS_SUCCESS"},
    {"CVuskWinPrinter", "EndRemoval", "entered", "entered"},
};

class OposMethods : public ::testing::Test, protected FormatterFixture {};

TEST_F(OposMethods, EachLineAsItsMethodDecodesIt) {
    for (const MethodCase& c : kCases) {
        TraceRec r;
        r.component = 1;
        r.minor = 100;
        r.payload = TextPayload(1, c.cls, c.method, c.text);
        TraceFileBuilder f;
        f.Marker().V3(r);
        const std::string expected =
            c.shown ? "Opos" + std::string(20, ' ') + c.cls + "(" + c.method + "): " + c.shown + "\n" : "";
        EXPECT_EQ(Format(f).out, expected) << c.cls << "(" << c.method << "): " << c.text;
    }
}

TEST_F(OposMethods, UnformattedAndHiddenLinesKeepTheirRules) {
    TraceRec entered;
    entered.component = 1;
    entered.minor = 100;
    entered.clock = 10;
    entered.payload = TextPayload(1, "CPosPrinter", "ChaseComplete", "entered");
    TraceRec shown = entered;
    shown.clock = 30;
    shown.payload = TextPayload(1, "CPosPrinter", "DoAsyncMode", "Enable=0");
    TraceFileBuilder f;
    f.Marker().V3(entered).V3(shown);
    // A line not shown leaves the time base where it was.
    EXPECT_EQ(Format(f, {}).out, "Opos          30.000               CPosPrinter(DoAsyncMode): Enable=FALSE\n");
    // -U prints both as traced.
    EXPECT_EQ(Format(f, {"-m", "-U"}).out, "Opos" + std::string(20, ' ') + "CPosPrinter(ChaseComplete): entered\n" +
                                              "Opos" + std::string(20, ' ') + "CPosPrinter(DoAsyncMode): Enable=0\n");
}

} // namespace
