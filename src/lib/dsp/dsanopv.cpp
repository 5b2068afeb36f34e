// Alphanumeric operator display, virtual side: text mapped for the display's type, the
// display's code pages, lights and user-defined characters.
#include <cstring>
#include <new>

#include "ANOP.h"
#include "ObjectSupport.h"
#include "ovkhost.h"
#include "ovknls.h"

const posLookup posDspCPLookupTbl[12] = {
    {"DSP_CP_US_EUROPE", LookupHash("DSP_CP_US_EUROPE"), 0},
    {"DSP_CP_KATAKANA", LookupHash("DSP_CP_KATAKANA"), 1},
    {"DSP_CP_MULTILINGUAL_INTL", LookupHash("DSP_CP_MULTILINGUAL_INTL"), 2},
    {"DSP_CP_HUNGARY", LookupHash("DSP_CP_HUNGARY"), 3},
    {"DSP_CP_CYRILLIC", LookupHash("DSP_CP_CYRILLIC"), 4},
    {"DSP_CP_TURKEY", LookupHash("DSP_CP_TURKEY"), 5},
    {"DSP_CP_ISRAEL", LookupHash("DSP_CP_ISRAEL"), 6},
    {"DSP_CP_CANADIAN_FRENCH", LookupHash("DSP_CP_CANADIAN_FRENCH"), 7},
    {"DSP_CP_ARABIC", LookupHash("DSP_CP_ARABIC"), 8},
    {"DSP_CP_NORDIC", LookupHash("DSP_CP_NORDIC"), 9},
    {"DSP_CP_CYRILLIC_RUSSIA", LookupHash("DSP_CP_CYRILLIC_RUSSIA"), 10},
    {"DSP_CP_GREECE", LookupHash("DSP_CP_GREECE"), 11},
};

const int cpNumbers[12] = {0, 0, 850, 852, 855, 857, 862, 863, 864, 865, 866, 869};

namespace {

constexpr int kPatternRecord = 10;

bool validIndex(intptr_t v) { return v == ANOP_CP_FOLLOW_CLIENT || (v >= 0 && v <= 11); }

const NlsByteMap* mapFor(unsigned char type) {
    if (type < ANOP_TYPE_VFD) return &lcd2x20Map;
    if (type == ANOP_TYPE_VFD || type == ANOP_TYPE_VFD2) return &vfd2x20Map;
    if (type == ANOP_TYPE_LCVFD || type == ANOP_TYPE_LCVFD2) return &lcvfd2x20Map;
    return &lcd2x20Map;
}

} // namespace

ANOPV::ANOPV(const DeviceID& id, int handle, const unsigned char* name) : DSV(id, handle, name) {
    cellCount_ = kCells;
    std::memset(text_, ' ', sizeof text_);
}

ANOPV::~ANOPV() = default;

bool ANOPV::HasCodePages() const {
    return type_ == ANOP_TYPE_VFD || type_ == ANOP_TYPE_VFD2 || SelectsCodePages();
}

bool ANOPV::DoubleByte() const { return GetDbcsTable().active != 0 && !singleByte_; }

unsigned char ANOPV::SelectionByte() const {
    if (SelectsCodePages() && cpIndex_ >= 0) return static_cast<unsigned char>(cpIndex_);
    return DoubleByte() ? 1 : 0;
}

unsigned char ANOPV::MapByte(unsigned char byte) const {
    if (unsigned char udc = userChars_.Lookup(byte)) return udc;
    // The display's own code page, or a double-byte client: the bytes go as they are.
    if ((SelectsCodePages() && cpIndex_ >= 0) || DoubleByte()) return byte;
    return map_ ? map_->at(Glyph(byte), ' ') : ' ';
}

// ---------------------------------------------------------------------------------------
// Requests to the physical device.

int ANOPV::SendText(int first, int count, bool text, bool lights) {
    DspTextRecord record;
    record.first = first;
    record.cells = cells_;
    record.count = count;
    record.textUpdate = text ? 1 : 0;
    record.text = text_;
    record.lightsUpdate = lights ? 1 : 0;
    record.lights = lights_;
    return Tell(DSP_REQ_UPDATE_TEXT, &record, sizeof record);
}

int ANOPV::SendPatterns() {
    unsigned char records[DspUserChars::kChars * kPatternRecord];
    for (int n = 0; n < DspUserChars::kChars; ++n) {
        records[n * kPatternRecord] = 0x40;
        records[n * kPatternRecord + 1] = static_cast<unsigned char>(n + 1);
        std::memcpy(records + n * kPatternRecord + 2, userChars_.patterns[n],
                    DspUserChars::kPatternBytes);
    }
    return Tell(DSP_REQ_PATTERNS, records, sizeof records);
}

int ANOPV::SendSelection() {
    DspTextRecord record;
    record.codePage = SelectionByte();
    return Tell(DSP_REQ_CODE_PAGE, &record, sizeof record);
}

// ---------------------------------------------------------------------------------------
// Client requests.

int ANOPV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                int count) {
    int32_t lights = 0;
    int32_t codePage = ANOP_CP_FOLLOW_CLIENT;
    const posResources table[] = {
        {"displayLightsOn", "DisplayLightsOn", POSRES_INTEGER, &lights, 0, nullptr, 0},
        {"displayCodePage", "DisplayCodePage", POSRES_INTEGER, &codePage, ANOP_CP_FOLLOW_CLIENT,
         posDspCPLookupTbl, 12},
    };
    int rc = LoadResources(resourceName, className, table, 2);
    TraceResources(table, 2);
    DumpResources(table, 2);
    if (rc != 0) return rc;
    lights_ = lights;

    rc = DSV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;

    unsigned char type = 0;
    Tell(DSP_REQ_TYPE, &type, 1);
    type_ = type;
    if (SelectsCodePages()) {
        int32_t index = ANOP_CP_FOLLOW_CLIENT;
        for (int i = 0; i < 12; ++i)
            if (cpNumbers[i] == GetCodePage()) {
                index = i;
                break;
            }
        if (codePage != ANOP_CP_FOLLOW_CLIENT) {
            if (!validIndex(codePage)) {
                int remaining = 0;
                VDEV::Close(remaining);
                return POSERR_DSP_INVALID_CODE_PAGE;
            }
            index = codePage;
        }
        cpIndex_ = index;
    }
    if (GetDbcsTable().active && !HasCodePages()) {
        singleByte_ = true;
        cpIndex_ = 1;
    }
    map_ = mapFor(type_);
    return 0;
}

int ANOPV::Write(const void* buffer, unsigned int length, int& count) {
    return WriteCells(buffer, length, count, [this](int start, const unsigned char* bytes, int n) {
        for (int k = 0; k < n; ++k) text_[start + k] = MapByte(bytes[k]);
        return SendText(start, n, true, false);
    });
}

int ANOPV::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_DSP_DEFINE_CHARACTERS:
        out = 0;
        userChars_.Define(args, count);
        return IsHolding() ? SendPatterns() : 0;
    case POS_DSP_CLEAR_SCREEN: {
        out = 0;
        std::memset(text_, ' ', sizeof text_);
        const uint16_t space = Glyph(0x20);
        for (int i = 0; i < kCells; ++i) cells_[i] = space;
        DspTextRecord record;
        record.cells = cells_;
        record.count = kCells;
        record.clear = 1;
        record.text = text_;
        Tell(DSP_REQ_UPDATE_TEXT, &record, sizeof record);
        cursor_ = 0;
        return 0;
    }
    default:
        return DSV::IOCtl(request, args, count, out);
    }
}

int ANOPV::SetValues(PosArg* args, int count) {
    const int32_t oldLights = lights_;
    const int32_t oldIndex = cpIndex_;
    const unsigned short oldClientPage = GetCodePage();
    int32_t lights = lights_;
    int32_t index = cpIndex_;
    for (int i = 0; args && i < count; ++i) {
        if (Named(args[i], "displayLightsOn")) {
            lights = static_cast<int32_t>(args[i].value);
        } else if (Named(args[i], "displayCodePage") && SelectsCodePages()) {
            if (!validIndex(args[i].value)) return POSERR_DSP_INVALID_CODE_PAGE;
            index = static_cast<int32_t>(args[i].value);
        }
    }
    int rc = DSV::SetValues(args, count);
    if (rc != 0) return rc;

    lights_ = lights;
    cpIndex_ = index;
    const bool clientPageChanged = GetCodePage() != oldClientPage;
    if (SelectsCodePages() && clientPageChanged && cpIndex_ == oldIndex)
        cpIndex_ = ANOP_CP_FOLLOW_CLIENT;
    const bool pageChanged = cpIndex_ != oldIndex || clientPageChanged;
    const bool lightsChanged = lights_ != oldLights;

    if (IsHolding() && HasCodePages()) {
        if (lightsChanged || pageChanged) SendText(0, kCells, pageChanged, lightsChanged);
        if (pageChanged) SendSelection();
    }
    return 0;
}

int ANOPV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        if (Named(args[i], "displayLightsOn")) args[i].value = lights_;
        else if (Named(args[i], "displayCodePage")) args[i].value = cpIndex_;
    }
    return DSV::GetValues(args, count);
}

int ANOPV::AcquirePhysical() {
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    if (HasCodePages()) {
        SendSelection();
        SendPatterns();
        SendText(0, kCells, true, true);
    } else {
        SendPatterns();
        SendText(0, kCells, true, false);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------

VDEV* _CreateANOPV(const DeviceID& id, int handle) {
    return new (std::nothrow) ANOPV(id, handle, "ANOPV");
}

ObjectSupport objectANOPV(ANOPV_TYPE_ID, _CreateANOPV);
