// Printer command objects: frame buffers, the system codes and the sequence numbers.
#include "PRNTCMD.h"

#include <new>

std::atomic<uint32_t> PRNTCMD::SequenceCount{0};

PRNTCMD::PRNTCMD() = default;

PRNTCMD::~PRNTCMD() {
    if (ownsFrame && frame) delete[] frame;
}

unsigned char* PRNTCMD::SetPbCmd(unsigned short size) {
    if (ownsFrame && frame) delete[] frame;
    frame = new (std::nothrow) unsigned char[size ? size : 1]();
    ownsFrame = frame ? 1 : 0;
    frameLength = frame ? size : 0;
    return frame;
}

unsigned char* PRNTCMD::SetPbCmd63(unsigned short size) { return PRNTCMD::SetPbCmd(size); }

int PRNTCMD::Set(unsigned short code_, void* owner_, unsigned char, unsigned char, unsigned short,
                 const unsigned char*, unsigned short, unsigned char) {
    if (!(code_ & PRNTCMD_SYSTEM)) return 0;
    unsigned short st = 0, flags = 0;
    switch (code_) {
    case PRNTCMD_CHASE_CR: st = PRN_STATION_CR; flags = PRNTCMD_CHASE; break;
    case PRNTCMD_CHASE_SJ: st = PRN_STATION_SJ; flags = PRNTCMD_CHASE; break;
    case PRNTCMD_CHASE_DI: st = PRN_STATION_DI; flags = PRNTCMD_CHASE; break;
    case PRNTCMD_SET_INTERLEAVE: st = PRN_STATION_CR; flags = PRNTCMD_INTERLEAVE; break;
    case PRNTCMD_SET_HEAD_PARK: st = PRN_STATION_CR; flags = PRNTCMD_HEAD_PARK; break;
    default: return 316;
    }
    owner = owner_;
    code = code_;
    SetSequenceNumber();
    station = st;
    classFlags = flags;
    return 0;
}

void PRNTCMD::SetChaseNumber(uint32_t number) { chaseNumber = number; }
void PRNTCMD::SetInterleaved(unsigned short value) { interleaved = value; }
void PRNTCMD::SetHeadParkedPosition(unsigned short value) { headParkedPosition = value; }
void PRNTCMD::SetSequenceNumber() { sequenceNumber = SequenceCount.fetch_add(1); }
unsigned short PRNTCMD::GetInterleaved() const { return interleaved; }
unsigned short PRNTCMD::GetHeadParkedPosition() const { return headParkedPosition; }
