// What a model-6397 virtual printer knows of the logos in its printer, and how it loads a
// logo: a logo is sent only when its length and CRC differ from the directory's entry;
// replacing a logo erases the printer's logo memory, so every logo loaded since the open is
// sent again from its file. The directory is read at open and written whenever the printer
// confirms a logo store with its new checksum.
#pragma once

#include <cstdint>
#include <string>

#include "Prnt63Logo.h"

// The printer side of a logo load, given by the virtual printer.
class Prnt63LogoSink {
public:
    virtual ~Prnt63LogoSink() = default;
    // The printer's logo checksum.
    virtual uint16_t LogoChecksum() = 0;
    // Queues a command without data (8 erase, 129 store the logos).
    virtual int QueueLogoCommand(unsigned short code) = 0;
    // Sends logo data; written counts the bytes placed.
    virtual int SendLogo(const unsigned char* data, int n, int& written) = 0;
};

class Prnt63Logos {
public:
    Prnt63Logos() = default;

    // At open: asks the printer for its checksum and reads the directory file of the
    // printer with this serial number. The directory is valid when the file's checksum
    // matches the printer's; otherwise it is emptied. Every present flag starts cleared.
    void Open(const char* serial, Prnt63LogoSink& sink);
    // Loads the logo data (number, width, height, image): 0 or an error (4914 bad data,
    // nothing sent; or the error of a command or of sending). written: the bytes taken.
    int Load(Prnt63LogoSink& sink, const unsigned char* data, int n, int& written);
    // The printer's checksum after a logo store: recorded and the directory file written.
    // 0, or -1 when the file could not be written.
    int StoreChecksum(uint16_t checksum);

    const LogoFile& Directory() const { return file_; }
    bool Valid() const { return valid_; }
    const std::string& Serial() const { return serial_; }

private:
    // Sends every present logo again from its file after an erase; entries not sent again
    // are cleared and their files deleted. The number of logos sent.
    int Resend(Prnt63LogoSink& sink);
    void ClearEntry(int index, bool removeFile);

    std::string serial_;
    LogoFile file_;
    bool valid_ = false;
};
