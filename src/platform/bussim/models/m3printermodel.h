// The M3 impact printer on the printer kit (address 0x34).
//
// Every command is answered with byte 0 0x03 (answered, head at centre), byte 1 0x48, byte 2
// 0x04 and the EC level in byte 3; an unasked report has byte 0 0x02. Paper out on the
// receipt clears byte 1 bit 6, on the journal byte 2 bit 2; an open cover sets byte 1 bit 4,
// a document in byte 1 bit 5; a rejected command has byte 0 bit 7 instead of bit 0.
//   00 80          6 bytes: byte 0 bit 2 double-byte model, bit 3 MICR reader; bytes 4-5
//                  the check of the loaded font (CRC low byte; 1 when its high byte is not 0)
//   00 40          reset (request online)
//   0B id ...      6 bytes: the setting id (0-49) big-endian in bytes 4-5
//   0A id 00 h l   stores the setting
//   09 00 00 c 08  a font block of 8 glyphs (96 bytes) from printer code c
//   01 18          erases the flash; 09 00 00 n 00 + records fill it; 01 19 answers 8
//                  bytes: the CRC of the flash's records in bytes 4-5, of the font in 6-7
//   01 17          the scripted MICR data (4 bytes only without a document)
// Print lines (01 02 04 11 12 14 0D 1D 05 15 with 01 CR, 02 SJ, 03 04 06 07 DI) are laid over
// the station's current line from column 0; a line with feed steps in byte 4 ends it.
#pragma once

#include <cstdint>
#include <string>

#include "printermodel.h"

namespace bussim {

class M3PrinterModel : public PrinterModel {
public:
    struct Options {
        bool dbcs = false;
        bool micr = false;
        uint8_t ec = 0x20;
        uint16_t codePage = 858;
    };
    static constexpr int kSettings = 50;
    static constexpr size_t kFontBytes = 480;
    static constexpr size_t kFlashLimit = 1 << 20;

    explicit M3PrinterModel(const Options& options);

    void setMicr(const Bytes& data) { micrData_ = data; }
    void rasErrorNext(int n) { rasErrors_ += n > 0 ? n : 0; }
    int rasErrorsDue() const { return rasErrors_; }
    uint16_t setting(int id) const { return id >= 0 && id < kSettings ? settings_[id] : 0; }
    const Bytes& font() const { return font_; }
    uint16_t fontCheck() const;
    // The flash: erased, records and chunks since, their bytes and the two CRCs.
    bool flashErased() const { return erased_; }
    int flashRecords() const { return flashRecords_; }
    int flashChunks() const { return flashChunks_; }
    const Bytes& flashBytes() const { return flash_; }
    uint16_t flashCrc() const;
    uint16_t fontCrc() const;
    int cuts() const { return cuts_; }

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override;
    Bytes rejectAnswer() const override;

private:
    Bytes done() const;

    Options options_;
    uint16_t settings_[kSettings] = {};
    Bytes font_;
    Bytes micrData_;
    int rasErrors_ = 0;
    bool erased_ = false;
    int flashRecords_ = 0;
    int flashChunks_ = 0;
    Bytes flash_;
    int cuts_ = 0;
};

} // namespace bussim
