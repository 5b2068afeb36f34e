// The graphic display (plug-in libovkdapa2): 160 x 36 pixels. The virtual device draws the
// client's text with 8 x 16 or 5 x 12 glyphs, or the client's bitmap, into a picture of 40
// pixel rows of 20 bytes (most significant bit leftmost); the physical device sends it in
// the display's column form. With a double-byte code page the display draws text itself
// from a 40-character line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DSP.h"
#include "DSV.h"

enum : unsigned short { APA2P_TYPE_ID = 4800, APA2V_TYPE_ID = 4900 };

// Display type bytes that render double-byte text; 0x80 and 0x81 report subtypes 17 and 18.
enum : unsigned char { APA2_TYPE_A = 0x80, APA2_TYPE_B = 0x81, APA2_TYPE_C = 0x82 };

// Requests of the virtual device to the physical device.
enum {
    APA2_REQ_UPDATE = 1,      // an Apa2Record
    APA2_REQ_UPSIDE_DOWN = 2, // a non-null record turns the picture, a null one turns it back
    APA2_REQ_DEFINE = 3,      // the 3456-byte block of defined characters
    APA2_REQ_MODE = 4,        // answers the mode byte (1 byte)
    APA2_REQ_TYPE = 5,        // answers the display type byte (1 byte)
};

// The picture: 40 pixel rows of 20 bytes; the display shows the first 36.
enum { APA2_WIDTH = 160, APA2_HEIGHT = 36, APA2_ROW_BYTES = 20, APA2_ROWS = 40,
       APA2_BITMAP_BYTES = APA2_ROW_BYTES * APA2_ROWS, APA2_TEXT_LINE = 40,
       APA2_DEFINE_ENTRY = 36, APA2_DEFINE_CHARS = 96,
       APA2_DEFINE_BYTES = APA2_DEFINE_ENTRY * APA2_DEFINE_CHARS };

// Request 1's record: the fifteen fields of a display update with this model's meanings.
struct Apa2Record {
    int32_t first = 0;                   // 0: first text-line index
    const unsigned char* text = nullptr; // 1: the text line
    int32_t count = 0;                   // 2: text-line bytes
    int32_t taken = 0;                   // 3: set by the physical device
    int32_t graphics = 0;                // 4: the picture changed
    int32_t textUpdate = 0;              // 5: the text line changed
    int32_t lightsUpdate = 0;            // 6: the lights changed
    int32_t clear = 0;                   // 7: blank the display
    const unsigned char* bitmap = nullptr; // 8: the picture (APA2_BITMAP_BYTES)
    int32_t lights = 0;                  // 9: lights value
    int32_t reserved[5] = {};            // 10-14
};
static_assert(sizeof(Apa2Record) == sizeof(DspTextRecord), "the update record's layout");
static_assert(offsetof(Apa2Record, bitmap) == offsetof(DspTextRecord, text), "field 8");

// Converts a picture of APA2_ROWS rows of APA2_ROW_BYTES bytes into the display's column
// form: 5 bands of 8 rows; per band and byte column, one device byte per pixel column,
// bit r the pixel of row 8 x band + r.
void Apa2ColumnForm(const unsigned char* bitmap, unsigned char* out);

class APA2P : public DSP {
public:
    enum { kConfigQuery = 1, kModeQuery = 2, kClear = 3, kSetMode = 4, kFirstBlock = 5,
           kLastBlock = 9, kTextLine = 10, kSetModeKeep = 11, kBitmap = 12, kLights = 13,
           kSlots = 14, kBlockBytes = 768, kLastBlockBytes = 384 };
    enum : unsigned char { kInitialMode = 0x10, kModeReported = 0x20, kModeUpsideDown = 0x40 };

    APA2P(const DeviceID& id, const unsigned char* name);
    APA2P(const DeviceID& id, const char* name)
        : APA2P(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~APA2P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;

    unsigned char GetModeByte() const { return mode_; }
    unsigned char GetDisplayType() const { return type_; }
    const unsigned char* GetConfiguration() const { return config_; }
    const unsigned char* GetTextLine() const { return textCmd_ + 3; }
    const unsigned char* GetColumnForm() const { return bitmapCmd_ + 5; }
    const unsigned char* GetLightsCommand() const { return lightsCmd_; }
    bool NotBlank() const { return notBlank_; }
    bool CharactersDefined() const { return defined_; }

protected:
    int Update(const Apa2Record& record);

    unsigned char configQuery_[3] = {0x00, 0x00, 0x01};
    unsigned char modeQuery_[2] = {0xB1, 0x00};
    unsigned char clear_[2] = {0x01, 0x40};
    unsigned char setMode_[2] = {0xA1, kInitialMode};
    unsigned char blocks_[4][2 + kBlockBytes];
    unsigned char lastBlock_[2 + kLastBlockBytes];
    unsigned char textCmd_[3 + APA2_TEXT_LINE];
    unsigned char setModeKeep_[2] = {0xA1, kInitialMode};
    unsigned char bitmapCmd_[5 + APA2_BITMAP_BYTES];
    unsigned char lightsCmd_[6] = {0x10, 0x00, 0, 0, 0, 0};
    unsigned char mode_ = kInitialMode;
    unsigned char type_ = 0;
    unsigned char config_[3] = {}; // configuration bytes 1 and 2, and byte 4 of the reply
    bool notBlank_ = false;
    bool defined_ = false;
};

class APA2V : public DSV {
public:
    enum { kCells8x16 = 40, kCells5x12 = 96 };

    APA2V(const DeviceID& id, int handle, const unsigned char* name);
    APA2V(const DeviceID& id, int handle, const char* name)
        : APA2V(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~APA2V() override;

    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int SetValues(PosArg* args, int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;

    // Draws `height` rows of one byte each at pixel (x, y), clipped to the picture.
    void WriteCharacter(int x, int y, const unsigned char* rows, int height);

    const unsigned char* GetBitmap() const { return bitmap_; }
    const unsigned char* GetTextLine() const { return text_; }
    int GetGlyphWidth() const { return glyphWidth_; }
    int GetGlyphHeight() const { return glyphHeight_; }
    int GetColumns() const { return columns_; }
    int GetRows() const { return rows_; }
    unsigned char GetDisplayType() const { return type_; }

protected:
    bool DoubleByte() const;
    // Glyph size and cell count for a display mode and character size.
    void SetGlyphSize(int32_t mode, int32_t charSize);
    static int CellsFor(int32_t charSize) { return charSize == 1 ? kCells5x12 : kCells8x16; }
    int Send(bool graphics, bool text, bool lights, bool clear);
    int DrawText(const unsigned char* data, unsigned int length, int x, int y, bool wrap);
    int DrawBitmap(const unsigned char* data, unsigned int length);

    int32_t lights_ = 0;
    int32_t direction_ = 0;
    int32_t pixelX_ = 0;
    int32_t pixelY_ = 0;
    int32_t charSize_ = 0;
    int32_t mode_ = 0;
    int32_t upsideDown_ = 0;
    int glyphWidth_ = 8;
    int glyphHeight_ = 16;
    int columns_ = APA2_WIDTH / 8;
    int rows_ = APA2_HEIGHT / 16;
    unsigned char text_[APA2_TEXT_LINE] = {};
    unsigned char bitmap_[APA2_BITMAP_BYTES] = {};
    unsigned char type_ = 0;
    bool singleByte_ = false; // a double-byte client on a display that cannot draw its text
};
