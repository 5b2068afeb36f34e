// Graphic display, virtual side: text drawn with the character maps' glyphs, client
// bitmaps, the double-byte text line, defined characters, lights and the resources.
#include <cstring>
#include <memory>
#include <new>

#include "APA2.h"
#include "ObjectSupport.h"
#include "ovkhost.h"
#include "ovknls.h"

namespace {

constexpr uint32_t kTraceComponent = 93;
constexpr uint32_t kTraceWrite = 301;
constexpr int kBitmapHeader = 12; // format, width, height: three int32
constexpr int kPatternBytes = 32;
constexpr int kUnreadablePattern = 334; // a pattern pointer that cannot be read

int32_t readInt32(const unsigned char* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

APA2V::APA2V(const DeviceID& id, int handle, const unsigned char* name) : DSV(id, handle, name) {
    cellCount_ = kCells8x16;
}

APA2V::~APA2V() = default;

bool APA2V::DoubleByte() const { return GetDbcsTable().active != 0 && !singleByte_; }

void APA2V::SetGlyphSize(int32_t mode, int32_t charSize) {
    const bool small = !(mode == 0 && DoubleByte()) && charSize == 1;
    glyphWidth_ = small ? 5 : 8;
    glyphHeight_ = small ? 12 : 16;
    cellCount_ = small ? kCells5x12 : kCells8x16;
    columns_ = APA2_WIDTH / glyphWidth_;
    rows_ = APA2_HEIGHT / glyphHeight_;
}

int APA2V::Send(bool graphics, bool text, bool lights, bool clear) {
    Apa2Record record;
    record.first = 0;
    record.text = text_;
    record.count = APA2_TEXT_LINE;
    record.graphics = graphics ? 1 : 0;
    record.textUpdate = text ? 1 : 0;
    record.lightsUpdate = lights ? 1 : 0;
    record.clear = clear ? 1 : 0;
    record.bitmap = bitmap_;
    record.lights = lights_;
    return Tell(APA2_REQ_UPDATE, &record, sizeof record);
}

// ---------------------------------------------------------------------------------------
// Drawing.

void APA2V::WriteCharacter(int x, int y, const unsigned char* rows, int height) {
    if (!rows || x < -7 || x > APA2_WIDTH - 1 || y > APA2_HEIGHT - 1 || y + height <= 0) return;
    for (int i = 0; i < height; ++i) {
        const int row = y + i;
        if (row < 0 || row > APA2_HEIGHT) continue;
        unsigned char* line = bitmap_ + row * APA2_ROW_BYTES;
        const unsigned b = rows[i];
        if (x < 0) {
            // Only the glyph's right 8 + x columns are on the picture: they go to column 0,
            // which keeps its own pixels right of them.
            const int cut = -x;
            line[0] = static_cast<unsigned char>((line[0] & (0xFFu >> (8 - cut))) | ((b << cut) & 0xFFu));
            continue;
        }
        const int column = x / 8;
        const int s = x % 8;
        line[column] = static_cast<unsigned char>((line[column] & ((0xFF00u >> s) & 0xFFu)) | (b >> s));
        if (s > 0 && x < APA2_WIDTH - 8)
            line[column + 1] =
                static_cast<unsigned char>((line[column + 1] & (0xFFu >> s)) | ((b << (8 - s)) & 0xFFu));
    }
}

int APA2V::DrawText(const unsigned char* data, unsigned int length, int x, int y, bool wrap) {
    const bool small = glyphWidth_ == 5;
    for (unsigned int k = 0; k < length; ++k) {
        if (!wrap && x > APA2_WIDTH - 1) break; // the rest of the line is off the picture
        const unsigned glyph = Glyph(data[k]);
        WriteCharacter(x, y, small ? gc5x12map.at(glyph) : gc8x16map.at(glyph), glyphHeight_);
        if (wrap && x + 2 * glyphWidth_ > APA2_WIDTH) {
            x = 0;
            y += glyphHeight_;
        } else {
            x += glyphWidth_;
        }
    }
    return 0;
}

int APA2V::DrawBitmap(const unsigned char* data, unsigned int length) {
    if (length < static_cast<unsigned>(kBitmapHeader)) return POSERR_DSP_BAD_BITMAP;
    if (readInt32(data) != 1) return POSERR_DSP_UNSUPPORTED_BITMAP;
    const int32_t width = readInt32(data + 4);
    const int32_t height = readInt32(data + 8);
    if (width <= 0 || height <= 0) return POSERR_DSP_BAD_BITMAP;
    const long long rowBytes = (static_cast<long long>(width) + 7) / 8;
    if (rowBytes * height + kBitmapHeader != static_cast<long long>(length)) return POSERR_DSP_BAD_BITMAP;

    const unsigned char* rows = data + kBitmapHeader;
    for (long long i = 0; i < height; ++i) {
        const long long y = static_cast<long long>(pixelY_) + height - 1 - i;
        if (y < 0 || y > APA2_HEIGHT) continue;
        for (long long k = 0; k < rowBytes; ++k) {
            const long long x = static_cast<long long>(pixelX_) + 8 * k;
            if (x > APA2_WIDTH - 1) break;
            if (x < -7) continue;
            WriteCharacter(static_cast<int>(x), static_cast<int>(y), rows + i * rowBytes + k, 1);
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Client requests.

int APA2V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                int count) {
    int32_t lights = 0, direction = 0, pixelX = 0, pixelY = 0, charSize = 0, mode = 0, upside = 0;
    const posResources table[] = {
        {"displayLightsOn", "DisplayLightsOn", POSRES_INTEGER, &lights, 0, nullptr, 0},
        {"direction", "Direction", POSRES_INTEGER, &direction, 0, nullptr, 0},
        {"pixelX", "PixelX", POSRES_INTEGER, &pixelX, 0, nullptr, 0},
        {"pixelY", "PixelY", POSRES_INTEGER, &pixelY, 0, nullptr, 0},
        {"charSize", "CharSize", POSRES_INTEGER, &charSize, 0, nullptr, 0},
        {"displayMode", "DisplayMode", POSRES_INTEGER, &mode, 0, nullptr, 0},
        {"displayUpsideDown", "DisplayUpsideDown", POSRES_BOOLEAN, &upside, 0, nullptr, 0},
    };
    int rc = LoadResources(resourceName, className, table, 7);
    TraceResources(table, 7);
    DumpResources(table, 7);
    if (rc != 0) return rc;
    if (charSize < 0 || charSize > 1) return POSERR_DSP_INVALID_SIZE;
    if (mode < 0 || mode > 2) return POSERR_DSP_INVALID_MODE;
    lights_ = lights;
    direction_ = direction;
    pixelX_ = pixelX;
    pixelY_ = pixelY;
    charSize_ = charSize;
    mode_ = mode;
    upsideDown_ = upside ? 1 : 0;
    SetGlyphSize(mode_, charSize_);

    rc = DSV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;

    unsigned char byte = 0;
    Tell(APA2_REQ_MODE, &byte, 1);
    byte = 0;
    Tell(APA2_REQ_TYPE, &byte, 1);
    type_ = byte;
    if (GetDbcsTable().active && type_ != APA2_TYPE_A && type_ != APA2_TYPE_B && type_ != APA2_TYPE_C)
        singleByte_ = true;
    SetGlyphSize(mode_, charSize_);
    if (cursor_ >= cellCount_) cursor_ = 0;
    return 0;
}

int APA2V::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    const auto* data = static_cast<const unsigned char*>(buffer);
    clTrace(kTraceComponent, kTraceWrite, data, data ? length : 0, 0);
    if (!IsHolding()) return 315;
    if (!data) length = 0;

    if (mode_ == 1) {
        int rc = DrawBitmap(data, length);
        if (rc != 0) return rc;
        count = static_cast<int>(length);
        return Send(true, false, false, false);
    }
    if (mode_ == 0 && DoubleByte()) {
        const int room = cursor_ >= 0 && cursor_ < APA2_TEXT_LINE ? APA2_TEXT_LINE - cursor_ : 0;
        const int n = length < static_cast<unsigned>(room) ? static_cast<int>(length) : room;
        if (n > 0) std::memcpy(text_ + cursor_, data, static_cast<size_t>(n));
        count = n;
        cursor_ += n;
        if (cursor_ >= cellCount_) cursor_ = 0;
        return Send(false, true, false, false);
    }
    int x = pixelX_, y = pixelY_;
    if (mode_ == 0) {
        if (cursor_ < 0 || cursor_ >= cellCount_) cursor_ = 0;
        x = (cursor_ % columns_) * glyphWidth_;
        y = (cursor_ / columns_) * glyphHeight_;
        if (static_cast<long long>(cursor_) + length >= cellCount_) {
            length = static_cast<unsigned>(cellCount_ - cursor_);
            cursor_ = 0;
        } else {
            cursor_ += static_cast<int32_t>(length);
        }
    }
    DrawText(data, length, x, y, mode_ == 0);
    count = static_cast<int>(length);
    return Send(true, false, false, false);
}

int APA2V::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_DSP_CLEAR_SCREEN:
        out = 0;
        std::memset(text_, 0, sizeof text_);
        std::memset(bitmap_, 0, sizeof bitmap_);
        if (IsHolding()) Send(false, false, false, true);
        cursor_ = 0;
        return 0;
    case POS_DSP_DEFINE_CHARACTERS: {
        out = 0;
        if (!DoubleByte()) return 311;
        std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[APA2_DEFINE_BYTES]);
        if (!block) return 305;
        std::memset(block.get(), 0, APA2_DEFINE_BYTES);
        const int n = !args || count <= 0 ? 0 : count < APA2_DEFINE_CHARS ? count : APA2_DEFINE_CHARS;
        for (int i = 0; i < n; ++i) {
            const auto code = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(args[i].name) & 0xFFFF);
            const auto* pattern = reinterpret_cast<const unsigned char*>(args[i].value);
            if (chCheckBuffer(pattern, kPatternBytes, CH_ACCESS_READ) != 0) return kUnreadablePattern;
            unsigned char* entry = block.get() + i * APA2_DEFINE_ENTRY;
            entry[0] = static_cast<unsigned char>(code >> 8);
            entry[1] = static_cast<unsigned char>(code & 0xFF);
            std::memcpy(entry + 2, pattern, kPatternBytes);
        }
        if (IsHolding() && n > 0) return Tell(APA2_REQ_DEFINE, block.get(), APA2_DEFINE_BYTES);
        return 0;
    }
    default:
        return DSV::IOCtl(request, args, count, out);
    }
}

int APA2V::SetValues(PosArg* args, int count) {
    TraceArgs(args, count);
    int32_t lights = lights_, direction = direction_, pixelX = pixelX_, pixelY = pixelY_;
    int32_t charSize = charSize_, mode = mode_, upside = upsideDown_;
    for (int i = 0; args && i < count; ++i) {
        const auto v = static_cast<int32_t>(args[i].value);
        if (Named(args[i], "charSize")) {
            if (args[i].value < 0 || args[i].value > 1) return POSERR_DSP_INVALID_SIZE;
            charSize = v;
        } else if (Named(args[i], "displayMode")) {
            if (args[i].value < 0 || args[i].value > 2) return POSERR_DSP_INVALID_MODE;
            mode = v;
        } else if (Named(args[i], "displayLightsOn")) {
            lights = v;
        } else if (Named(args[i], "direction")) {
            direction = v;
        } else if (Named(args[i], "pixelX")) {
            pixelX = v;
        } else if (Named(args[i], "pixelY")) {
            pixelY = v;
        } else if (Named(args[i], "displayUpsideDown")) {
            upside = v ? 1 : 0;
        }
    }
    // The cursor is checked against the cell count the new mode and size give.
    const int newCells = (mode == 0 && DoubleByte()) ? kCells8x16 : CellsFor(charSize);
    bool cursorGiven = false;
    int32_t cursor = cursor_;
    for (int i = 0; args && i < count; ++i) {
        if (!Named(args[i], "displayCursor")) continue;
        if (args[i].value < 0 || args[i].value >= newCells) return POSERR_DSP_INVALID_CURSOR;
        cursorGiven = true;
        cursor = static_cast<int32_t>(args[i].value);
    }
    int rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;

    const bool layoutChanged = mode != mode_ || charSize != charSize_;
    const bool upsideChanged = upside != upsideDown_;
    const bool lightsChanged = lights != lights_;
    lights_ = lights;
    direction_ = direction;
    pixelX_ = pixelX;
    pixelY_ = pixelY;
    charSize_ = charSize;
    mode_ = mode;
    upsideDown_ = upside;
    if (cursorGiven) cursor_ = cursor;
    if (layoutChanged) {
        SetGlyphSize(mode_, charSize_);
        cursor_ = 0;
    }
    if (IsHolding()) {
        if (upsideChanged) {
            unsigned char on = 1;
            Tell(APA2_REQ_UPSIDE_DOWN, upsideDown_ ? &on : nullptr, upsideDown_ ? 1 : 0);
        }
        if (lightsChanged) Send(false, false, true, false);
    }
    return 0;
}

int APA2V::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        if (Named(args[i], "displayLightsOn")) args[i].value = lights_;
        else if (Named(args[i], "direction")) args[i].value = direction_;
        else if (Named(args[i], "pixelX")) args[i].value = pixelX_;
        else if (Named(args[i], "pixelY")) args[i].value = pixelY_;
        else if (Named(args[i], "charSize")) args[i].value = charSize_;
        else if (Named(args[i], "displayMode")) args[i].value = mode_;
        else if (Named(args[i], "displayUpsideDown")) args[i].value = upsideDown_;
    }
    return DSV::GetValues(args, count);
}

int APA2V::AcquirePhysical() {
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    Send(true, true, true, false);
    return 0;
}

// ---------------------------------------------------------------------------------------

VDEV* _CreateAPA2V(const DeviceID& id, int handle) {
    return new (std::nothrow) APA2V(id, handle, "APA2V");
}

ObjectSupport objectAPA2V(APA2V_TYPE_ID, _CreateAPA2V);
