// Loading logos into the model-6397 printer and keeping its logo directory.
#include "Prnt63Logos.h"

#include <cstring>
#include <unistd.h>
#include <vector>

#include "ovkhost.h"
#include "sycrc.h"

namespace {

const char kSourceTag[] = "@(#)prnt63logos";
enum : uint32_t { kLogBadLogoName = 20315 };

} // namespace

void Prnt63Logos::Open(const char* serial, Prnt63LogoSink& sink) {
    serial_ = serial ? serial : "";
    const uint16_t printer = sink.LogoChecksum();
    tprintf("Serial Number='%s', CheckSum=%04x\n", serial_.c_str(), printer);
    valid_ = false;
    file_ = LogoFile();
    const char* name = GetPrinterLogoFileName(serial_.c_str(), 0);
    if (name) {
        const std::string path = name;
        tprintf("Trying to open file '%s'\n", path.c_str());
        LogoFile read;
        if (ReadPrinterLogoFile(path.c_str(), &read) == 0) {
            tprintf("Flash checksum=%04x, File checksum=%04x\n", printer, read.checksum);
            if (read.checksum == printer) {
                file_ = read;
                tprintf("Logo memory used is %d bytes\n", static_cast<int>(file_.memoryUsed));
                valid_ = true;
            } else {
                // What the file says the printer holds is not what it holds: none of its
                // entries may spare a download.
                tprintf("Checksum's do not match\n");
            }
        }
    }
    for (LogoEntry& e : file_.entries) e.present = 0;
}

void Prnt63Logos::ClearEntry(int index, bool removeFile) {
    LogoEntry& e = file_.entries[index];
    if (removeFile && e.fileName[0]) {
        // Only the name this entry's number gives is ever deleted, whatever the file held.
        if (const char* own = GetPrinterLogoFileName(serial_.c_str(), index + 1)) unlink(own);
    }
    e = LogoEntry();
}

int Prnt63Logos::Resend(Prnt63LogoSink& sink) {
    int sent = 0;
    for (int i = 0; i < PRN63_LOGO_ENTRIES; ++i) {
        LogoEntry& e = file_.entries[i];
        if (!e.present) {
            if (e.fileName[0]) ClearEntry(i, true);
            else if (e.length || e.crc) ClearEntry(i, false);
            continue;
        }
        // The logo is in the printer no longer: unless it is sent again, its entry goes.
        bool resent = false;
        const char* name = GetPrinterLogoFileName(serial_.c_str(), i + 1);
        std::vector<unsigned char> data(e.length);
        if (name && e.length && ReadLogoFile(name, data.data(), e.length) == 0 &&
            CalculateCRC(data.data(), e.length) == e.crc &&
            Prnt63CheckLogoData(data.data(), e.length) == 0 && data[0] == i + 1) {
            int written = 0;
            const int rc = sink.SendLogo(data.data(), e.length, written);
            if (rc == 0 && written == e.length) {
                file_.memoryUsed += e.length;
                resent = true;
                ++sent;
            }
        }
        if (!resent) ClearEntry(i, true);
    }
    return sent;
}

int Prnt63Logos::Load(Prnt63LogoSink& sink, const unsigned char* data, int n, int& written) {
    written = 0;
    sink.LogoChecksum();
    if (data && n > 0 && data[0] == 0) {
        written = 1;
        return 0;
    }
    if (Prnt63CheckLogoData(data, n) != 0) return 4914;
    const int number = data[0];
    const char* ownName = GetPrinterLogoFileName(serial_.c_str(), number);
    if (!ownName) {
        // No file could record the logo: refused before anything is sent.
        clErrorLog(kLogBadLogoName, 4914, static_cast<uint32_t>(number), kSourceTag);
        return 4914;
    }
    const std::string fileName = ownName;
    const uint16_t crc = CalculateCRC(data, n);
    tprintf("Logo memory used is %d bytes\n", static_cast<int>(file_.memoryUsed));
    LogoEntry& entry = file_.entries[number - 1];
    if (entry.length == n && entry.crc == crc) {
        tprintf("Length and CRC of logo %d match saved values\n", number);
        entry.present = 1;
        written = n;
        return 0;
    }
    int rc;
    if (!valid_) {
        valid_ = true;
        file_.memoryUsed = 0;
        if ((rc = sink.QueueLogoCommand(8)) != 0) return rc;
    } else if (entry.length || entry.crc) {
        file_.memoryUsed = 0;
        if ((rc = sink.QueueLogoCommand(8)) != 0) return rc;
        entry.present = 0;
        if (Resend(sink) > 0 && (rc = sink.QueueLogoCommand(129)) != 0) return rc;
    }
    tprintf("New logo for number %d to be downloaded\n", number);
    rc = sink.SendLogo(data, n, written);
    tprintf("WriteOther() returned rc=%d, loe=%d, nbyte=%d\n", rc, n, written);
    if (rc != 0 || written != n) return rc;
    if ((rc = sink.QueueLogoCommand(129)) != 0) return rc;
    file_.memoryUsed += static_cast<uint32_t>(n);
    LogoEntry& e = file_.entries[number - 1];
    e = LogoEntry();
    e.number = static_cast<uint16_t>(number);
    e.crc = crc;
    e.length = static_cast<uint16_t>(n);
    e.present = 1;
    std::memcpy(e.fileName, fileName.c_str(), fileName.size() + 1);
    WriteLogoFile(fileName.c_str(), data, n);
    return 0;
}

int Prnt63Logos::StoreChecksum(uint16_t checksum) {
    file_.checksum = checksum;
    const char* name = GetPrinterLogoFileName(serial_.c_str(), 0);
    if (!name) return -1;
    const std::string path = name;
    tprintf("Trying to write to file '%s' w/checksum=%04x\n", path.c_str(), checksum);
    if (WritePrinterLogoFile(path.c_str(), &file_) != 0) return -1;
    tprintf("Write of '%s' successful\n", path.c_str());
    return 0;
}
