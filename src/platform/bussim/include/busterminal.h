// Terminal description: what the driver node reports about the terminal's slots and
// adapters.
#pragma once

#include <array>
#include <cstdint>

namespace bussim {

constexpr int kSlotCount = 9;
constexpr uint32_t kSlotTypeNone = 0;
constexpr uint32_t kSlotTypePlanar = 1;
constexpr uint32_t kSlotTypeRS485 = 2;
constexpr uint32_t kDefaultNvramSize = 8192;
constexpr uint32_t kMaxNvramSize = 1 << 20;
constexpr uint32_t kJournalBlock = 1040;

struct SlotDescription {
    uint32_t adapterType = 0;           // as request 0x0D reports it
    uint32_t slotType = kSlotTypeNone;  // 1 system board, 2 RS-485
    bool adapterPresent = true;         // false: requests on the slot answer 254 (no adapter)
    uint32_t adapterKind = 0;           // request 0x0C
    uint32_t portCount = 0;             // request 0x0C
    uint16_t nvramFlag = 0;             // request 0x25, offset 8
    // The adapter's own NVRAM: its size (request 0x25 offset 48; 0 for none, at most
    // kMaxNvramSize) and the offset of its journal block (offset 20), by default the last
    // 1040 bytes.
    uint32_t nvramSize = kDefaultNvramSize;
    uint32_t journalOffset = kDefaultNvramSize - kJournalBlock;
    uint32_t nvramWord24 = 0;           // request 0x25, offset 24

    bool rs485() const { return slotType == kSlotTypeRS485; }
};

struct TerminalDescription {
    std::array<SlotDescription, kSlotCount> slots{};
    std::array<uint8_t, 24> vitalProductData{};

    // The system board at slot 0 and one two-port RS-485 adapter (type 5, kind 5) at slot 1.
    static TerminalDescription standard();
};

} // namespace bussim
