// The RS-485 exchange buffer that the bus driver node and the adapter manager pass back
// and forth, and the frame records inside it. All multi-byte fields are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bussim {

namespace exch {
constexpr size_t kBufferSize = 2048;

// Offsets from the buffer's first byte.
constexpr size_t kFlags = 0;          // control flags, both ways
constexpr size_t kPortConfig = 1;     // port configuration byte; bit 7 from the node: send the default poll list
constexpr size_t kTiming = 2;         // 3 poll-timing bytes, to the node
constexpr size_t kFrameCount = 5;     // number of outgoing frame records
constexpr size_t kFrameMark1 = 6;     // 0x2F, written with frames
constexpr size_t kFrameMark2 = 7;     // 0x01, written with frames
constexpr size_t kEvents = 12;        // event bits, from the node
constexpr size_t kPollList = 15;      // 48 entries of (port id, bus address), to the node
constexpr size_t kPollEntries = 48;
constexpr size_t kErrorLength = 271;  // 16-bit length of the error area, from the node
constexpr size_t kErrorArea = 273;    // error records, from the node
constexpr size_t kErrorAreaSize = 30; // the error area ends where the frame area starts
constexpr size_t kFrameArea = 303;    // outgoing frame records / one received frame record
constexpr size_t kOutFrameAreaSize = 1743;
constexpr size_t kInFrameAreaSize = 1742;
constexpr size_t kStatusByte = 305;   // adapter status, with event 1

// Control flags (offset 0).
constexpr uint8_t kFlagInitialise = 0x80;
constexpr uint8_t kFlagTiming = 0x40;
constexpr uint8_t kFlagPortConfig = 0x20;
constexpr uint8_t kFlagFrames = 0x10;
constexpr uint8_t kFlagPollList = 0x08;
constexpr uint8_t kFlagReinitialise = 0x02;

// Event bits (offset 12).
constexpr int kEventStatus = 1;  // adapter status at 305 (ready after a re-initialise)
constexpr int kEventErrors = 3;  // error records at 273
constexpr int kEventFrame = 4;   // one received frame at 303
constexpr int kEventReset = 7;   // the adapter was reset

constexpr uint8_t kPort1 = 0x11;
constexpr uint8_t kPort2 = 0x22;
constexpr uint8_t kBroadcastAddress = 0x7A;
constexpr uint8_t kPollTimeout = 0x13; // error code of a poll that got no answer
} // namespace exch

struct PollEntry {
    uint8_t port = 0;
    uint8_t address = 0;
    bool operator==(const PollEntry& o) const { return port == o.port && address == o.address; }
};

// One outgoing frame record: length, port id, address wait, byte wait, bus address,
// control, data, check (CRC-16/X.25 over address, control and data, low byte first).
// A broadcast record (address 0x7A) carries the power-on reset data in the check bytes.
struct OutFrame {
    uint8_t port = 0;
    uint8_t addressWait = 30;
    uint8_t byteWait = 0;
    uint8_t address = 0;
    uint8_t control = 0;
    std::vector<uint8_t> data;
    uint16_t check = 0;   // as carried in the record
    bool checkOk = false; // check equals the CRC of address, control and data

    bool broadcast() const { return address == exch::kBroadcastAddress; }
    // A frame with its check computed.
    static OutFrame make(uint8_t port, uint8_t address, uint8_t control,
                         std::vector<uint8_t> data = {}, uint8_t addressWait = 30,
                         uint8_t byteWait = 0);
    // The adapter manager's broadcast power-on reset record for a port.
    static OutFrame broadcastReset(uint8_t port);
};

// What the core hands back: only the sections its flags announce are meaningful.
struct CoreOutput {
    uint8_t flags = 0;
    uint8_t portConfig = 0;
    std::array<uint8_t, 3> timing{};
    std::array<PollEntry, exch::kPollEntries> pollList{};
    std::vector<OutFrame> frames;
};

struct ErrorRecord {
    uint8_t code = 0;
    uint8_t port = 0;
    uint8_t address = 0;
    std::vector<uint8_t> extra; // bytes after the address
    bool operator==(const ErrorRecord& o) const {
        return code == o.code && port == o.port && address == o.address && extra == o.extra;
    }
    size_t encodedSize() const { return 4 + extra.size(); } // length byte N, then N bytes
};

// One received frame record: length, port id, bus address, control, data, two check bytes.
struct InFrame {
    uint8_t port = 0;
    uint8_t address = 0;
    uint8_t control = 0;
    std::vector<uint8_t> data;
    uint16_t check = 0;
    bool checkOk = false;
};

// What the node delivers.
struct NodeInput {
    uint8_t flags = 0;     // offset 0
    uint8_t portByte = 0;  // offset 1
    uint8_t events = 0;    // offset 12; bits 3 and 4 follow errors and frame when encoding
    uint8_t status = 0;    // offset 305, with event 1 (never together with a frame)
    std::vector<ErrorRecord> errors;
    std::optional<InFrame> frame;
};

uint16_t frameCheck(uint8_t address, uint8_t control, const uint8_t* data, size_t n);

// Encoded outgoing frame record (L + 5 bytes).
std::vector<uint8_t> encodeOutFrame(const OutFrame& f);

// Decodes a buffer handed back by the core. Reads only the sections that its flags announce
// and never past n bytes. False, with the reason, when the buffer is short or a frame
// record does not fit its area; `out` is then incomplete and must not be used.
bool decodeCoreOutput(const uint8_t* buf, size_t n, CoreOutput& out, std::string& why);
// Builds the buffer the core would hand back for `out` (frames encoded as given).
// False when the frames do not fit the frame area or there are more than 255.
bool encodeCoreOutput(const CoreOutput& out, std::array<uint8_t, exch::kBufferSize>& buf);

// Writes what the node delivers into a zeroed buffer. False when the errors do not fit
// the error area, the frame does not fit the frame area, or status and frame are both set.
bool encodeNodeInput(const NodeInput& in, std::array<uint8_t, exch::kBufferSize>& buf);
// Reads a delivered buffer (tests and tools), bounded by n. False when malformed.
bool decodeNodeInput(const uint8_t* buf, size_t n, NodeInput& in, std::string& why);

} // namespace bussim
