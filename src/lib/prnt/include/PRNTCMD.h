// A printer command on its way from a virtual printer through the physical printer's
// outbound queue to the printer. The models derive their command classes from it and fill
// the frame from their command tables; the base's Set handles the system codes (chase,
// interleave and head-park markers).
//
// Printer model classes derive from it, so the order of its virtual operations and its
// fields are a fixed interface.
#pragma once

#include <atomic>
#include <cstdint>

#include "PRNDList.h"
#include "prntdefs.h"

class PRNTCMD : public PRNDLNode {
public:
    PRNTCMD();
    // Frees the frame when the command owns it.
    ~PRNTCMD() override;

    // A zeroed frame buffer of size bytes owned by the command (an owned frame it had is
    // freed first); null when no memory.
    virtual unsigned char* SetPbCmd(unsigned short size);
    virtual unsigned char* SetPbCmd63(unsigned short size);
    // The base takes system codes only: a code without bit 15 returns 0 and changes
    // nothing (the models handle their own codes first); an unknown system code is 316.
    // The other arguments are the models' (parameter bytes, payload length and bytes).
    virtual int Set(unsigned short code, void* owner, unsigned char b1, unsigned char b2,
                    unsigned short length, const unsigned char* data, unsigned short w,
                    unsigned char b3);
    virtual void SetChaseNumber(uint32_t number);
    virtual void SetInterleaved(unsigned short value);
    virtual void SetHeadParkedPosition(unsigned short value);
    // Stamps the next number of the process-wide sequence.
    virtual void SetSequenceNumber();
    virtual unsigned short GetInterleaved() const;
    virtual unsigned short GetHeadParkedPosition() const;

    bool IsChase() const { return (classFlags & PRNTCMD_CHASE) != 0; }
    bool IsInterleave() const { return (classFlags & PRNTCMD_INTERLEAVE) != 0; }
    bool IsHeadPark() const { return (classFlags & PRNTCMD_HEAD_PARK) != 0; }
    bool IsMarker() const { return IsChase() || IsInterleave() || IsHeadPark(); }

    // The process-wide sequence (every printer of every plug-in).
    static std::atomic<uint32_t> SequenceCount;

    unsigned short code = 0;
    unsigned short station = 0;
    unsigned short classFlags = 0;
    unsigned short frameLength = 0;
    unsigned short ownsFrame = 0;
    uint32_t chaseNumber = 0;
    unsigned short interleaved = 0;
    unsigned short headParkedPosition = 0;
    unsigned char* frame = nullptr;
    void* owner = nullptr;
    unsigned short sent = 0;
    unsigned short acknowledged = 0;
    unsigned short completed = 0;
    unsigned short everSent = 0;
    uint32_t sequenceNumber = 0;
};
