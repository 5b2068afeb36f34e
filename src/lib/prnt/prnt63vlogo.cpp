// The model-6397 virtual printer's logos, flash records and check images: the logo loads
// (print mode 16 and ESC B D) over the logo directory, the record layout, the flash escapes
// over the staging area, and the image escapes 0x80 to 0x87.
#include <cstring>

#include "PRNT63V.h"
#include "ovkhost.h"

// The printer side of a logo load: the logo checksum from the physical printer, commands
// queued behind what the write buffer already holds, logo data sent framed by row 16.
class PRNT63V::LogoSink : public Prnt63LogoSink {
public:
    explicit LogoSink(PRNT63V& v) : v_(v) {}
    uint16_t LogoChecksum() override {
        unsigned char sum[2] = {};
        v_.Tell(PRN63_TP_LOGO_CHECKSUM, sum, sizeof sum);
        return static_cast<uint16_t>(sum[0] | sum[1] << 8);
    }
    int QueueLogoCommand(unsigned short code) override {
        const int rc = v_.SendWritePending();
        return rc ? rc : v_.QueueCmd(code);
    }
    int SendLogo(const unsigned char* data, int n, int& written) override {
        return v_.WriteOther(data, static_cast<unsigned>(n), written, 2, 16, 0);
    }

private:
    PRNT63V& v_;
};

// ---------------------------------------------------------------------------------------
// Logos.

int PRNT63V::GetLogoManagerInformation() {
    LogoSink sink(*this);
    logos_.Open(serial_, sink);
    return 0;
}

int PRNT63V::WriteLoadLogo(const unsigned char* data, unsigned int length, int& written) {
    written = 0;
    if (length > 0xFFFF) return POSERR_PRN_INCORRECT_DATA_FORMAT;
    LogoSink sink(*this);
    return logos_.Load(sink, data, static_cast<int>(length), written);
}

int PRNT63V::EscapeBitmapLoad(const unsigned char* p, int count, int& /*error*/) {
    // ESC B D, a 16-bit length (high first), the data and one more byte.
    const int args = count > 1 ? count - 1 : 0;
    if (args < 4) return args;
    const int length = p[2] << 8 | p[3];
    if (length == 0) return 4;
    if (args < length + 4) return args; // the data are not all there: nothing loaded
    int written = 0;
    WriteLoadLogo(p + 4, static_cast<unsigned>(length), written);
    return length + 4;
}

int PRNT63V::StoreLogoChecksum(const unsigned char* data, int length) {
    if (!data || length < 2) return 0;
    logos_.StoreChecksum(static_cast<uint16_t>(data[0] | data[1] << 8));
    return 0;
}

// ---------------------------------------------------------------------------------------
// Flash records.

int PRNT63V::UpdateRecordLength() {
    recordLength_ = settings_.recordLength;
    maxRecords_ = recordLength_ ? flashAvailable_ / recordLength_ : 0;
    const uint32_t fields[2] = {recordLength_, maxRecords_};
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < 4; ++i) cap_[0x2c + 4 * f + i] = static_cast<unsigned char>(fields[f] >> (8 * i));
    if (IsHolding()) Tell(PRN63_TP_SET_COUNTERS, cap_, sizeof cap_);
    return 0;
}

int PRNT63V::SetRecordLength() {
    if (!IsHolding()) return 0;
    static const unsigned char kParams[4] = {8, 0, 0, 0};
    int rc = AddPatchedCmd(PRN63_FLASH_SET_LENGTH, 2, kParams, sizeof kParams);
    unsigned char layout[8];
    Prnt63RecordLayoutBytes(recordLength_, maxRecords_, layout);
    if (rc == 0) rc = AddBytes(layout, sizeof layout);
    if (rc == 0) rc = SendWritePending();
    if (rc == 0) rc = Tell(PRN63_TP_SET_COUNTERS, cap_, sizeof cap_);
    return rc;
}

Prnt63FlashRecords PRNT63V::FlashRecords() const {
    Prnt63FlashRecords r;
    r.recordLength = recordLength_;
    r.maximumRecords = maxRecords_;
    r.memoryAvailable = flashAvailable_;
    return r;
}

int PRNT63V::AddCmdToWriteFlashBuf(unsigned short code) {
    return flash_.AddCmdToWriteFlashBuf(code, [this] { return SendWritePending(); });
}

int PRNT63V::EscapeWriteFlash(const unsigned char* p, int count, int& error) {
    return flash_.EscapeWriteFlash(p, count, error, FlashRecords(), [this] { return SendWritePending(); });
}

int PRNT63V::EscapeReadFlash(const unsigned char* p, int count, int& error) {
    return flash_.EscapeReadFlash(p, count, error, FlashRecords(), [this] { return SendWritePending(); }, reads_);
}

// ---------------------------------------------------------------------------------------
// Check images.

int PRNT63V::EscapeImage(const unsigned char* p, int count, int& /*error*/) {
    const int args = count > 1 ? count - 1 : 0;
    const unsigned char selector = p[0];
    static const unsigned char kZeros[6] = {};
    static const unsigned char kEnd = 0;
    int rc = 0;
    switch (selector) {
    case 0x80: // retrieve the image header
    case 0x81: // retrieve the image
        if (args < 8) return args;
        if (imaging_) {
            DiscardMicrData(PRN63_READ_SCAN);
            rc = MakeFree(10);
            if (rc == 0) rc = AddCmdToWriteBuffer(115);
            if (selector == 0x80) {
                if (rc == 0) rc = AddBytes(p + 1, 2);
                if (rc == 0) rc = AddBytes(kZeros, sizeof kZeros);
            } else if (rc == 0) {
                rc = AddBytes(p + 1, 8);
            }
        }
        return 8;
    case 0x82: // printed image
        if (args < 13) return args;
        if (imaging_) {
            rc = MakeFree(15);
            if (rc == 0) rc = AddCmdToWriteBuffer(116);
            if (rc == 0) rc = AddBytes(p + 1, 13);
        }
        return 13;
    case 0x83: // start a scan
        if (args < 1) return 0;
        if (imaging_) {
            DiscardMicrData(PRN63_READ_SCAN_COMPLETE);
            DiscardMicrData(PRN63_READ_SCAN);
            DiscardMicrData(PRN63_READ_MICR);
            rc = AddPatchedCmd(117, 2, p + 1, 1);
        }
        return 1;
    case 0x84: { // store the scan under a name
        if (args < 9) return args;
        int name = 0;
        while (name < 32 && 9 + name < args && p[10 + name] != 0) ++name;
        if (imaging_) {
            rc = MakeFree(44);
            if (rc == 0) rc = AddCmdToWriteBuffer(118);
            if (rc == 0) rc = AddBytes(p + 1, 9);
            if (rc == 0 && name) rc = AddBytes(p + 10, static_cast<unsigned>(name));
            if (rc == 0) rc = AddBytes(&kEnd, 1);
        }
        return 9 + name;
    }
    case 0x85: // compress part of the scan
        if (args < 32) return args;
        if (imaging_) {
            DiscardMicrData(PRN63_READ_SCAN);
            rc = MakeFree(44);
            if (rc == 0) rc = AddCmdToWriteBuffer(119);
            if (rc == 0) rc = AddBytes(p + 1, 32);
            if (rc == 0) rc = AddBytes(&kEnd, 1);
        }
        return 32;
    case 0x86:
        if (imaging_) QueueCmd(130);
        return 0;
    case 0x87:
        if (imaging_) QueueCmd(131);
        return 0;
    default:
        return -1;
    }
}
