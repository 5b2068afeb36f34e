// Arbitrary bytes from a daemon, read as the client's service thread reads them: message after
// message, each reply's data then read as a get-values argument block and as version data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ovkargs.h"
#include "ovkwire.h"

using namespace ovkwire;

namespace {

// Arguments of every kind, each string buffer exactly its row's length (an overrun shows).
void readValues(const uint8_t* block, size_t length) {
    std::unique_ptr<char[]> name(new char[30]), description(new char[128]), key(new char[20]);
    std::unique_ptr<uint8_t[]> vpd(new uint8_t[24]), status(new uint8_t[16]);
    PosArg args[] = {
        {"slotNumber", 0},
        {"deviceName", reinterpret_cast<intptr_t>(name.get())},
        {"vitalProductData", reinterpret_cast<intptr_t>(vpd.get())},
        {"unknownName", 0},
        {"deviceDescription", reinterpret_cast<intptr_t>(description.get())},
        {"rawPrintStatus", reinterpret_cast<intptr_t>(status.get())},
        {"doubleKey07", reinterpret_cast<intptr_t>(key.get())},
        {nullptr, 0},
        {"readTimeout", 0},
    };
    // An exact copy, so that a read past the block shows too.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[length ? length : 1]);
    if (length) std::memcpy(copy.get(), block, length);
    apiDeserializePosArgs(copy.get(), static_cast<unsigned int>(length), args, 9);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> stream(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(stream.get(), data, size);
    size_t pos = 0;
    while (pos < size) {
        ServerMessage m;
        DecodeResult r = decodeServerMessage(stream.get() + pos, size - pos, m);
        if (r.status != DecodeResult::Ok) break;
        if (r.bytes < REPLY_HEADER_SIZE || r.bytes > size - pos) std::abort();
        if (m.kind == ServerMessage::Reply) {
            if (m.data.size > MAX_REPLY_DATA || m.data.data + m.data.size > stream.get() + size)
                std::abort();
            readValues(m.data.data, m.data.size);
            decodeVersionData(m.data);
        }
        pos += r.bytes;
    }
    // The whole input as an argument block too.
    readValues(data, size);
    return 0;
}
