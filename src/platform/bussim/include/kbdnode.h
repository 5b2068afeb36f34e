// The planar keyboard driver node (/dev/ovkikbps) as a stand-in: it answers the keyboard
// query with the keyboard that the terminal description or a script set, keeps the reader
// configuration it is sent, and hands out the reader messages a script queued.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <deque>
#include <set>
#include <vector>

#include "sydevnode.h"

namespace bussim {

// What the keyboard driver reports.
struct KeyboardState {
    bool driver = true;       // false: the node cannot be opened (no keyboard driver)
    uint16_t id = 0x87AB;     // keyboard id (0x87AB, 0x88AB; anything else: no POS keyboard)
    uint16_t type = 1;        // keyboard type
    uint16_t msrFlag = 0;     // MSR flag
    uint8_t flags13 = 0;      // byte 13; bit 0x04: MSR present (keyboard types 7 to 9)
    uint8_t ecLevel = 0;      // byte 10: the keyboard's EC level
    uint8_t msrEcLevel = 0;   // byte 11: the reader's EC level
    uint8_t result = 0;       // the driver's result for the query (0: success)
};

class KeyboardNode : public DevNodeBackend {
public:
    // Query of the attached keyboard: read-write, type 'k', number 0x0C, 16-byte record.
    static constexpr unsigned long kQueryKeyboard = 0xC0106B0CUL;
    static constexpr size_t kRecordSize = 16;
    // Reader configuration: read-write, number 0x09, 16-byte record (kept as it came).
    static constexpr unsigned long kReaderConfiguration = 0xC0106B09UL;
    // Reader data: read-write, number 0x0A, 1008-byte record {uint32 status, uint32 length
    // (in: the most the caller takes; out: the bytes delivered), data}.
    static constexpr unsigned long kReadReader = 0xC3F06B0AUL;
    static constexpr size_t kReadRecordSize = 1008;
    static constexpr size_t kReaderQueueLimit = 1024;

    explicit KeyboardNode(const KeyboardState& state = KeyboardState());

    // Opens a node whose last path component is "ovkikbps"; ENOENT for another node, ENODEV
    // when the driver is switched off.
    int open(const char* path, int& fd) override;
    // The query fills the record (result word, then keyboard id at 4, type at 6, MSR flag at
    // 8, EC level at 10, reader EC level at 11, byte 13); the reader configuration is kept;
    // a read takes the oldest queued reader message (status 0 and length 0 when there is
    // none), cut to the caller's maximum. Other requests give ENOTTY, a short record EINVAL,
    // a foreign descriptor EBADF.
    void ioctl(int fd, unsigned long request, void* record, size_t size) override;
    int close(int fd) override;

    void set(const KeyboardState& state);
    KeyboardState state() const;
    int queries() const;

    // Queues one reader message (false when the queue is full or the message empty).
    bool pushReader(const std::vector<uint8_t>& message);
    size_t readerQueued() const;
    // The last reader configuration record (empty before the first).
    std::vector<uint8_t> readerConfiguration() const;

private:
    mutable std::mutex mutex_;
    KeyboardState state_;
    std::set<int> descriptors_;
    int next_ = 500;
    int queries_ = 0;
    std::deque<std::vector<uint8_t>> reader_;
    std::vector<uint8_t> configuration_;
};

} // namespace bussim
