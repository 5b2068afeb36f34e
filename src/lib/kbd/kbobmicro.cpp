// Extended keyboard: the microcode download. The file "<data path>/ovkNNN.kbd" (NNN the EC
// level) holds a big-endian 16-bit length and then records {L, L bytes}; a record with
// L = 0 ends the list. Each record goes to the keyboard as 22 L data; the end block 22 00
// follows, and the keyboard's completion of it brings the keyboard online.
#include <cstdio>
#include <cstring>
#include <memory>

#include "COMD.h"
#include "KBOBP.h"
#include "ovkhost.h"

namespace {

enum : uint32_t { kLogShortFile = 15703, kLogEmptyFile = 15704 };

const char kTag[] = "@(#)kbobmicro.cpp 1.1";

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};

} // namespace

void KBOBP::MicrocodePath(char* out, size_t size) const {
    const char* dataPath = pcomd ? pcomd->GetDataPath() : "";
    std::snprintf(out, size, "%s/ovk%.3d.kbd", dataPath ? dataPath : "", ecLevel_);
}

unsigned char* KBOBP::ReadCodeUpdateFile(const unsigned char* path, uint16_t& length) {
    length = 0;
    const char* name = reinterpret_cast<const char*>(path);
    if (!name) return nullptr;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(ovkPath(name).c_str(), "rbe"));
    if (!file) return nullptr; // no file: no download, nothing logged
    unsigned char header[2] = {};
    const size_t got = std::fread(header, 1, sizeof header, file.get());
    const uint16_t announced = got == sizeof header ? static_cast<uint16_t>(header[0] << 8 | header[1]) : 0;
    if (announced == 0) {
        clErrorLog(kLogEmptyFile, 333, 0, kTag, this, static_cast<uint16_t>(sizeof *this), name,
                   static_cast<uint16_t>(std::strlen(name)));
        return nullptr;
    }
    unsigned char* contents = new unsigned char[announced];
    if (std::fread(contents, 1, announced, file.get()) != announced) {
        clErrorLog(kLogShortFile, 321, 0, kTag, this, static_cast<uint16_t>(sizeof *this), name,
                   static_cast<uint16_t>(std::strlen(name)));
        delete[] contents;
        return nullptr;
    }
    length = announced;
    return contents;
}

void KBOBP::QueueEndBlock() {
    microcodeDone_ = 1;
    block_[1] = 0;
    microcodePosition_ = 0;
    slots_[KBP_SLOT_MICROCODE].length = 2;
    SetPending(KBP_SLOT_MICROCODE);
}

void KBOBP::UpdateMicrocode() {
    if (!microcode_) {
        char path[4096];
        MicrocodePath(path, sizeof path);
        microcode_ = ReadCodeUpdateFile(reinterpret_cast<const unsigned char*>(path), microcodeLength_);
        if (!microcode_) {
            microcodeLength_ = 0;
            QueueEndBlock();
            return;
        }
    }
    if (microcodeDone_ || microcodePosition_ < 0 || microcodePosition_ >= microcodeLength_) {
        QueueEndBlock();
        return;
    }
    const unsigned char blockLength = microcode_[microcodePosition_];
    if (blockLength == 0) {
        QueueEndBlock();
        return;
    }
    // A record that runs past the file ends the download.
    if (microcodePosition_ + 1 + blockLength > microcodeLength_) {
        char path[4096];
        MicrocodePath(path, sizeof path);
        clErrorLog(kLogShortFile, 321, static_cast<uint32_t>(microcodePosition_), kTag, this,
                   static_cast<uint16_t>(sizeof *this), path, static_cast<uint16_t>(std::strlen(path)));
        QueueEndBlock();
        return;
    }
    block_[1] = blockLength;
    std::memcpy(block_ + 2, microcode_ + microcodePosition_ + 1, blockLength);
    microcodePosition_ += blockLength + 1;
    slots_[KBP_SLOT_MICROCODE].length = blockLength + 2;
    SetPending(KBP_SLOT_MICROCODE);
}
