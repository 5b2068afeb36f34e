// Argument blocks: the wire form of a PosArg array in the Initialize, Open and IOCtl requests
// and in the reply to POS_SYS_GET_VALUES. Each item is a header (type, name length, value
// length), the name with its NUL and the value, both zero-padded to 4 bytes:
//   type 0 empty item (4 bytes), 1 integer, 2 string of the row's length, 3 character
//   definition (16-bit code, 74 definition bytes; requests 4402 and 4909 only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ovkapi.h"

struct ByteSpan {
    const uint8_t* data = nullptr;
    size_t size = 0;
    ByteSpan() = default;
    ByteSpan(const void* d, size_t n) : data(static_cast<const uint8_t*>(d)), size(n) {}
};

namespace ovkargs {
constexpr uint8_t ITEM_EMPTY = 0;
constexpr uint8_t ITEM_INTEGER = 1;
constexpr uint8_t ITEM_STRING = 2;
constexpr uint8_t ITEM_CHARDEF = 3;
constexpr size_t ITEM_HEADER_SIZE = 4;
constexpr size_t CHARDEF_BYTES = 74;
constexpr size_t CHARDEF_ITEM_SIZE = 84;

// True for the requests whose arguments are character definitions.
inline bool isCharDefRequest(int request) {
    return request == POS_DSP_DEFINE_CHARACTERS || request == POS_PRN_DEFINE_CHARACTERS;
}
} // namespace ovkargs

// Writes the argument block of args[0..nargs-1] into `buffer` (at most `size` bytes) and
// returns its length: 0 when nargs is 0 or less or args is null; -1 with errno
// POSERR_SYS_BUFFER_TOO_SMALL when an item does not fit, or POSERR_SYS_INVALID_ADDRESS when a
// string or character definition value is not a valid address. Names missing from the
// resource-name table become empty items. `request` selects the character-definition form.
int apiSerializePosArgs(void* buffer, unsigned int size, PosArg* args, int nargs, int request);

// Reads one item per argument, in order, from the `length` bytes of a reply's argument block
// and stores the values: an integer item into an argument whose row is an integer, a string
// item into the buffer of an argument whose row is a string (at most that row's length and
// the item's own length). Returns 0, or -1 when an item runs past the block or is malformed
// (the arguments read so far keep their new values, the rest are unchanged).
int apiDeserializePosArgs(const void* block, unsigned int length, PosArg* args, int nargs);

// The daemon's view of a request's argument block: the arguments as PosArg records whose
// names point into the resource-name table and whose string and character-definition values
// point into storage owned here (string buffers have the row's length plus a NUL). Empty
// items are {null, 0}; a character definition has its code as the name's pointer value.
class ArgList {
public:
    ArgList() = default;
    ArgList(ArgList&&) = default;
    ArgList& operator=(ArgList&&) = default;
    ArgList(const ArgList&) = delete;
    ArgList& operator=(const ArgList&) = delete;

    // Decodes exactly `nargs` items filling the whole block (an empty block gives no
    // arguments whatever `nargs` says). False, with the list empty, when an item runs past
    // the block, the block has bytes left over, or an item does not agree with the table:
    // a name that is not NUL-terminated or not in the table, an integer item for a string row
    // or one whose value is not 4 bytes, a string item whose value length is not the row's,
    // a character definition outside requests 4402 and 4909 or any other item within them.
    bool decode(ByteSpan block, unsigned int nargs, int request);

    PosArg* data() { return args_.empty() ? nullptr : args_.data(); }
    int size() const { return static_cast<int>(args_.size()); }
    bool empty() const { return args_.empty(); }
    const PosArg& operator[](int i) const { return args_[static_cast<size_t>(i)]; }

    // The reply block of POS_SYS_GET_VALUES for the current values: as apiSerializePosArgs.
    int encodeValues(void* buffer, unsigned int room);

private:
    void clear();
    std::vector<PosArg> args_;
    std::vector<std::unique_ptr<uint8_t[]>> storage_;
    int request_ = 0;
};
