// The model-6397 printer's logo directory file, logo loads and flash record escapes.
// The first byte picks what runs:
//   bit 0 clear: logos. Then the printer's checksum (2 bytes), the length of the directory
//   file (2 bytes) and its bytes (written as the file, as many as there are), then a run of
//   loads, each a 16-bit length and that many bytes of logo data.
//   bit 0 set: flash. Then the record length (1 byte), the maximum records (2 bytes), the
//   memory available (3 bytes), then a run of escapes, each a length byte and the escape
//   from its selector on ("w" a write, anything else a read).
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../FuzzRoot.h"
#include "Prnt63Flash.h"
#include "Prnt63Logo.h"
#include "Prnt63Logos.h"
#include "Prnt63ReadList.h"

namespace {

class Sink : public Prnt63LogoSink {
public:
    uint16_t checksum = 0;
    uint16_t LogoChecksum() override { return checksum; }
    int QueueLogoCommand(unsigned short) override { return 0; }
    int SendLogo(const unsigned char* data, int n, int& written) override {
        // Touch every byte as a printer would.
        unsigned sum = 0;
        for (int i = 0; i < n; ++i) sum += data[i];
        written = sum == 0xFFFFFFFFu ? 0 : n;
        return 0;
    }
};

struct Reader {
    const uint8_t* p;
    size_t n;
    size_t at = 0;
    size_t left() const { return n - at; }
    unsigned byte() { return at < n ? p[at++] : 0; }
};

void logos(Reader& in) {
    Sink sink;
    sink.checksum = static_cast<uint16_t>(in.byte() | in.byte() << 8);
    size_t fileLength = in.byte() | in.byte() << 8;
    if (fileLength > in.left()) fileLength = in.left();
    const std::string dir = fuzzroot::path() + "/var/log";
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir, ec);
    if (const char* name = GetPrinterLogoFileName("FUZZ0001", 0))
        WriteLogoFile(name, in.p + in.at, static_cast<int>(fileLength));
    in.at += fileLength;
    Prnt63Logos logos;
    logos.Open("FUZZ0001", sink);
    while (in.left() >= 2) {
        size_t n = in.byte() | in.byte() << 8;
        if (n > in.left()) n = in.left();
        std::vector<unsigned char> data(in.p + in.at, in.p + in.at + n);
        in.at += n;
        int written = 0;
        logos.Load(sink, data.data(), static_cast<int>(data.size()), written);
        if (written > static_cast<int>(n)) __builtin_trap();
    }
    logos.StoreChecksum(sink.checksum);
}

void flash(Reader& in) {
    Prnt63FlashRecords records;
    records.recordLength = static_cast<uint16_t>(in.byte());
    records.maximumRecords = in.byte() | in.byte() << 8;
    records.memoryAvailable = in.byte() | in.byte() << 8 | in.byte() << 16;
    Prnt63FlashArea area;
    area.Clear(records.recordLength & 1 ? PRN63_FLASH_AREA : PRN63_FLASH_AREA_OPEN);
    Prnt63ReadList reads;
    const Prnt63FlashArea::Flush send = [&area] {
        if (area.Fill() > area.Capacity()) __builtin_trap();
        area.Sent();
        return 0;
    };
    while (in.left() > 0) {
        size_t n = in.byte();
        if (n > in.left()) n = in.left();
        std::vector<unsigned char> esc(in.p + in.at, in.p + in.at + n);
        in.at += n;
        int err = 0;
        const int len = static_cast<int>(esc.size());
        const int used = !esc.empty() && esc[0] == 'w'
                             ? area.EscapeWriteFlash(esc.data(), len, err, records, send)
                             : area.EscapeReadFlash(esc.data(), len, err, records, send, reads);
        if (used < 0 || (len > 0 && used > len - 1) || area.Fill() > area.Capacity()) __builtin_trap();
    }
    reads.DiscardMicrData(PRN63_READ_FLASH);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Reader in{data, size, 1};
    if (data[0] & 1) flash(in);
    else logos(in);
    return 0;
}
