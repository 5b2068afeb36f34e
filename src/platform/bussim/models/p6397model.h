// The model-6397 printer on the printer kit. Every answer begins with the status block: 8
// bytes, or 16 when the device information is longer than 5 bytes. Unless scripted, byte 0
// has bit 0 (the command is answered; clear in an unasked report) and byte 1 is 0x47 (paper
// on every station, buffer empty).
//
// Commands and their answers:
//   00 00 01          device information: byte 4 bit 0, then the information bytes (device
//                     type, subtype, option, feature, EC level, or info= as given)
//   00 20 00          status request
//   00 40 00          reset: not acknowledged; ROL at the next poll
//   1B 53 n           MCT query: byte 4 bit 3 and the value of index n in two bytes (high
//                     first); the serial number is at 0x69-0x6C (two characters each), the
//                     code page at 0x50
//   1B 22 01          logo checksum: byte 4 bit 3 and two bytes, high first: CRC-16/X.25
//                     over the logo bytes stored, 0 when none are
//   1D 2A ...         logo data: the bytes after it are stored in the logo memory, and so
//                     are those after 1B 2E in the frames that continue it; 1B 29 00 1B 23
//                     01 erases the logo memory. Logos survive a reset.
//   ... 1B 49 ...     MICR read: byte 4 bit 2, a status byte 00 and the code line
//   1D 4E 01 00 / 01  (with feature bit 0x04, imaging) next scanned and first unread image
//                     location: byte 4 bit 3 and two bytes (high first): the images done + 1
//                     and 1 (0 while none is done)
//   1B 27 n a a a ... stores the n bytes after it in flash at address a (24 bits, high first);
//                     byte 2 bit 7
//   1B 34 n a a a     reads n bytes of flash at a: byte 4 bit 4 and the bytes; address
//                     0xFFFFFF holds the flash size as eight ASCII digits. Flash survives
//                     a reset.
//   1B 29 00 1B 23 0n, 1B 23 0n    firmware steps: byte 2 bit 7
//   ... 1B 53 0A, ... 1B 3D 99, ... 1B 00 80 00    chase (the plug-in's bytes first, the
//                     row last; longer than a bare MCT query): byte 4 bit 1
// Unasked (scripted, imaging only): image data with byte 4 bit 7, a finished scan with bit 6.
// Anything else is print data: printable bytes are printed, 0A ends a line, an ESC or GS
// sequence is skipped by the length of its command (the first of the plug-in's table rows
// with its two bytes), and the station select ESC c 0 n picks the station (02 CR, 01 SJ, 80
// CR and SJ, printed as CR, 04 or 08 DI).
//
// The kit's state on the status bytes: paper out on CR, SJ, DI clears byte 1 bit 2, 1, 0;
// cover open sets byte 0 bit 6; document out sets byte 0 bit 5 (the document starts in);
// a rejected command answers with byte 0 bit 7. Faults: error byte 2 bit 2, printer byte 2
// bit 0, eeprom byte 2 bit 3, busy byte 2 bit 1, full byte 1 bit 7.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "printermodel.h"

namespace bussim {

class P6397Model : public PrinterModel {
public:
    struct Options {
        uint8_t deviceType = 0x30;
        uint8_t subtype = 4;
        uint8_t option = 3;
        uint8_t feature = 0;
        uint8_t ecLevel = 0x14;
        Bytes info;                         // as given; empty: the five bytes above
        std::string serial = "00000000";    // 8 characters
        uint16_t codePage = 858;
        uint32_t flashSize = 65536;
    };
    enum Fault { kFaultError, kFaultPrinter, kFaultEeprom, kFaultBusy, kFaultFull };

    explicit P6397Model(const Options& options);

    // Script: a status byte as given (0-15), a fault on or every fault off, an MCT value.
    bool setStatusByte(int index, uint8_t value);
    void setFault(Fault fault, bool on);
    void clearFaults();
    void setMct(uint8_t index, uint16_t value) { mct_[index] = value; }
    void setCodeLine(const Bytes& line) { codeLine_ = line; }
    // Imaging: queues an unasked report of image data (done: the scan finished, which counts
    // an image). False without imaging.
    bool scanData(const Bytes& data, bool done);
    bool imaging() const { return options_.feature & 0x04; }
    const Bytes& logoMemory() const { return logos_; }
    uint16_t logoChecksum() const;

    const Options& options() const { return options_; }
    uint16_t mct(uint8_t index) const { return mct_[index]; }
    size_t statusLength() const { return deviceInfo().size() > 5 ? 16 : 8; }
    // The block an answer starts with.
    Bytes statusBlock(bool answer) const;
    Bytes deviceInfo() const;
    int flashByte(uint32_t address) const;

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override { return statusBlock(false); }
    Bytes rejectAnswer() const override;
    void powerOn() override;

private:
    void answerWith(ModelLink& link, uint8_t byte2, uint8_t byte4, const Bytes& data = {});
    void onTick(int32_t now, ModelLink& link) override;
    // Prints the frame; true when it holds a MICR read (1B 49).
    bool print(const Bytes& payload);

    Options options_;
    std::array<uint8_t, 16> base_{};
    uint8_t faults1_ = 0, faults2_ = 0;
    std::array<uint16_t, 256> mct_{};
    std::map<uint32_t, uint8_t> flash_;
    int station_ = CR;
    Bytes logos_;
    bool logoOpen_ = false;     // the last frame carried logo data
    Bytes codeLine_ = {'1', '2', '3', '4', '5'};
    std::deque<Bytes> unasked_;
    uint16_t images_ = 0;
};

} // namespace bussim
