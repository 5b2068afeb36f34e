// OPOS property lines by their standard names: the numeric properties of every category with
// the value names that decode them, the string properties, the extended result codes by
// class, and the forms an unknown index or an unknown value keeps.
#include <gtest/gtest.h>

#include <string>

#include "FormatterRun.h"
#include "OposData.h"

namespace {

struct NameCase {
    const char* cls;
    const char* method;
    const char* text;
    const char* shown; // after "class(method): "
};

const NameCase kNameCases[] = {
    // Printer: a plain number, a bool, a station.
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=8016, Value=42", "RecLineChars=42"},
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=8513, Value=1", "CapJrnPresent=TRUE"},
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=8004, Value=2", "ErrorStation=PTR_S_RECEIPT"},
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=8551, Value=-2147483648", "CapJrnColor=PTR_COLOR_FULL"},
    {"CPosPrinter", "SetPropertyNumber", "entered PropIndex=8013 value=4", "MapMode=PTR_MM_METRIC"},
    // The MICR's check types and the other categories' value tables.
    {"CMICR", "GetPropertyNumber", "returning PropIndex=6001, Value=1", "CheckType=MICR_CT_PERSONAL"},
    {"CDisplay", "GetPropertyNumber", "returning PropIndex=5001, Value=998", "CharacterSet=DISP_CS_ASCII"},
    {"CDisplay", "GetPropertyNumber", "returning PropIndex=5014, Value=1", "MarqueeType=DISP_MT_UP"},
    {"CMSR", "GetPropertyNumber", "returning PropIndex=7003, Value=15", "TracksToRead=MSR_TR_1_2_3_4"},
    {"CScale", "GetPropertyNumber", "returning PropIndex=9002, Value=2", "WeightUnit=SCAL_WU_KILOGRAM"},
    {"CScanner", "GetPropertyNumber", "returning PropIndex=10002, Value=101", "ScanDataType=SCAN_SDT_UPCA"},
    {"CCashChanger", "GetPropertyNumber", "returning PropIndex=13006, Value=11", "DeviceStatus=CHAN_STATUS_EMPTY"},
    {"CFiscalPrinter", "GetPropertyNumber", "returning PropIndex=16020, Value=2", "PrinterState=FPTR_PS_FISCAL_RECEIPT"},
    {"CFiscalPrinter", "GetPropertyNumber", "returning PropIndex=16012, Value=2", "ErrorStation=FPTR_S_RECEIPT"},
    {"CCheckScanner", "GetPropertyNumber", "returning PropIndex=22007, Value=3", "ImageFormat=CHK_IF_BMP"},
    {"CKeylock", "GetPropertyNumber", "returning PropIndex=4001, Value=1", "KeyPosition=LOCK_KP_LOCK"},
    // Extended result codes by class, from the same data.
    {"CDisplay", "GetPropertyNumber", "returning PropIndex=7, Value=202", "ResultCodeExtended=OPOS_EDISP_BADFORMAT"},
    {"CCheckScanner", "GetPropertyNumber", "returning PropIndex=7, Value=203", "ResultCodeExtended=OPOS_ECHK_NOROOM"},
    {"CMICR", "GetPropertyNumber", "returning PropIndex=7, Value=206", "ResultCodeExtended=OPOS_EMICR_JAM"},
    {"CMICR", "GetPropertyNumber", "returning PropIndex=7, Value=0", "ResultCodeExtended=NONE"},
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=7, Value=512", "ResultCodeExtended=QORVEL_EPTR_NO_IMAGE_AVAILABLE"},
    // A string index of a category.
    {"CPosPrinter", "GetPropertyString", "PropIndex=1008001, string='0,997'", "CharacterSetList='0,997'"},
    // An index of no category, and a value missing from its property's table.
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=99999, Value=5", "99999=5"},
    {"CPosPrinter", "GetPropertyNumber", "returning PropIndex=8004, Value=7", "ErrorStation=7      (0x00000007)"},
};

TraceRec OposLine(const std::string& cls, const std::string& method, const std::string& text) {
    TraceRec r;
    r.component = 1;
    r.minor = 100;
    r.payload = TextPayload(1, cls, method, text);
    return r;
}

std::string Shown(const std::string& cls, const std::string& method, const std::string& text) {
    return "Opos" + std::string(20, ' ') + cls + "(" + method + "): " + text + "\n";
}

class OposNames : public ::testing::Test, protected FormatterFixture {};

TEST_F(OposNames, PropertiesAndValuesByTheirStandardNames) {
    for (const NameCase& c : kNameCases) {
        TraceFileBuilder f;
        f.Marker().V3(OposLine(c.cls, c.method, c.text));
        EXPECT_EQ(Format(f).out, Shown(c.cls, c.method, c.shown)) << c.cls << "(" << c.method << "): " << c.text;
    }
}

// Every category's string properties are known: the first of each category prints its name.
TEST_F(OposNames, AStringPropertyOfEachCategory) {
    const OposData data = LoadOposData(OVK_OPOS_DATA_DIR);
    TraceFileBuilder f;
    f.Marker();
    std::string expected;
    std::string lastCategory;
    int categories = 0;
    for (const OposProperty& p : data.properties) {
        if (p.kind != "string" || p.category == lastCategory) continue;
        lastCategory = p.category;
        ++categories;
        const std::string text = "PropIndex=" + std::to_string(p.index) + ", string='x'";
        f.V3(OposLine("CPosPrinter", "GetPropertyString", text));
        expected += Shown("CPosPrinter", "GetPropertyString", p.name + "='x'");
    }
    EXPECT_GT(categories, 20);
    EXPECT_EQ(Format(f).out, expected);
}

} // namespace
