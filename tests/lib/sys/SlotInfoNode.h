// A driver node that answers only the slot request of the system object's start-up: one
// RS-485 adapter of the given type in one slot, every other request answered with zeros.
#pragma once

#include <cstdint>
#include <cstring>

#include "Slot.h"
#include "sydevnode.h"

class SlotInfoNode : public DevNodeBackend {
public:
    explicit SlotInfoNode(uint32_t adapterType, int slot = 1) : adapterType_(adapterType), slot_(slot) {}

    int open(const char*, int& fd) override {
        fd = 7;
        return 0;
    }
    // Record of request 0x0D: adapter type[9], then slot type[9], after the result word.
    void ioctl(int, unsigned long request, void* record, size_t size) override {
        std::memset(record, 0, size);
        if (request != DCS_GET_SLOT_INFO || size < 220) return;
        auto* words = static_cast<uint32_t*>(record);
        words[1 + slot_] = adapterType_;
        words[10 + slot_] = SLOT_TYPE_RS485;
    }
    int close(int) override { return 0; }

private:
    uint32_t adapterType_;
    int slot_;
};
