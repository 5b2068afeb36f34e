// Argument blocks: serialisation of PosArg arrays (client requests, daemon's get-values
// replies) and the bounded decoders of both directions.
#include "ovkargs.h"

#include <cerrno>
#include <cstring>

#include "ovkrestable.h"
#include "ovkwire.h"

using ovkwire::getU16;
using ovkwire::getU32;
using ovkwire::pad4;
using ovkwire::putU16;
using ovkwire::putU32;
using namespace ovkargs;

namespace {

bool validAddress(intptr_t v) { return v != 0 && v != intptr_t(-1); }
bool validName(const char* name) {
    return name != nullptr && name != reinterpret_cast<const char*>(intptr_t(-1)) && name[0] != '\0';
}

// Copies a value field of `max` bytes: raw rows take exactly `max` bytes, the others the text
// up to its first NUL; the rest of the field is zero.
void copyValue(uint8_t* dst, const uint8_t* src, size_t max, bool raw) {
    size_t n = raw ? max : strnlen(reinterpret_cast<const char*>(src), max);
    std::memcpy(dst, src, n);
    std::memset(dst + n, 0, max - n);
}

// The size of the item at p (n bytes available): 0 when it is malformed or runs past n.
size_t itemSize(const uint8_t* p, size_t n) {
    if (n < ITEM_HEADER_SIZE) return 0;
    uint8_t type = p[0];
    size_t nameLen = p[1];
    size_t valueLen = getU16(p + 2);
    size_t total;
    switch (type) {
    case ITEM_EMPTY:
        if (nameLen != 0 || valueLen != 0) return 0;
        total = ITEM_HEADER_SIZE;
        break;
    case ITEM_INTEGER:
    case ITEM_STRING:
    case ITEM_CHARDEF:
        total = ITEM_HEADER_SIZE + pad4(nameLen) + pad4(valueLen);
        break;
    default:
        return 0;
    }
    return total <= n ? total : 0;
}

} // namespace

int apiSerializePosArgs(void* buffer, unsigned int size, PosArg* args, int nargs, int request) {
    if (nargs <= 0 || args == nullptr) return 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t pos = 0;
    const bool charDefs = isCharDefRequest(request);
    for (int i = 0; i < nargs; ++i) {
        const PosArg& a = args[i];
        size_t room = size - pos;
        if (room < ITEM_HEADER_SIZE) {
            errno = POSERR_SYS_BUFFER_TOO_SMALL;
            return -1;
        }
        uint8_t* item = out + pos;
        if (charDefs) {
            if (room < CHARDEF_ITEM_SIZE) {
                errno = POSERR_SYS_BUFFER_TOO_SMALL;
                return -1;
            }
            if (!validAddress(a.value)) {
                errno = POSERR_SYS_INVALID_ADDRESS;
                return -1;
            }
            uint16_t code = static_cast<uint16_t>(reinterpret_cast<intptr_t>(a.name));
            item[0] = ITEM_CHARDEF;
            item[1] = 2;
            putU16(item + 2, CHARDEF_BYTES);
            putU16(item + 4, code);
            item[6] = item[7] = 0;
            std::memcpy(item + 8, reinterpret_cast<const void*>(a.value), CHARDEF_BYTES);
            item[8 + CHARDEF_BYTES] = item[9 + CHARDEF_BYTES] = 0;
            pos += CHARDEF_ITEM_SIZE;
            continue;
        }
        int row = validName(a.name) ? FindResourceName(a.name) : -1;
        if (row < 0) {
            std::memset(item, 0, ITEM_HEADER_SIZE);
            pos += ITEM_HEADER_SIZE;
            continue;
        }
        const ResourceItem& r = resTable[row];
        size_t nameLen = std::strlen(r.name) + 1;
        size_t valueLen = r.isInteger ? 4 : r.maxLength;
        size_t total = ITEM_HEADER_SIZE + pad4(nameLen) + pad4(valueLen);
        if (total > room) {
            errno = POSERR_SYS_BUFFER_TOO_SMALL;
            return -1;
        }
        if (!r.isInteger && !validAddress(a.value)) {
            errno = POSERR_SYS_INVALID_ADDRESS;
            return -1;
        }
        std::memset(item, 0, total);
        item[0] = r.isInteger ? ITEM_INTEGER : ITEM_STRING;
        item[1] = static_cast<uint8_t>(nameLen);
        putU16(item + 2, static_cast<uint16_t>(valueLen));
        std::memcpy(item + ITEM_HEADER_SIZE, r.name, nameLen);
        uint8_t* value = item + ITEM_HEADER_SIZE + pad4(nameLen);
        if (r.isInteger)
            putU32(value, static_cast<uint32_t>(a.value));
        else
            copyValue(value, reinterpret_cast<const uint8_t*>(a.value), valueLen, r.raw);
        pos += total;
    }
    return static_cast<int>(pos);
}

int apiDeserializePosArgs(const void* block, unsigned int length, PosArg* args, int nargs) {
    if (nargs <= 0 || args == nullptr) return 0;
    if (block == nullptr) return -1;
    const uint8_t* p = static_cast<const uint8_t*>(block);
    size_t pos = 0;
    for (int i = 0; i < nargs; ++i) {
        size_t total = itemSize(p + pos, length - pos);
        if (total == 0) return -1;
        const uint8_t* item = p + pos;
        size_t nameLen = item[1];
        size_t valueLen = getU16(item + 2);
        const uint8_t* value = item + ITEM_HEADER_SIZE + pad4(nameLen);
        PosArg& a = args[i];
        int row = validName(a.name) ? FindResourceName(a.name) : -1;
        if (row >= 0) {
            const ResourceItem& r = resTable[row];
            if (item[0] == ITEM_INTEGER && r.isInteger) {
                if (valueLen != 4) return -1;
                a.value = static_cast<int32_t>(getU32(value));
            } else if (item[0] == ITEM_STRING && !r.isInteger && validAddress(a.value)) {
                uint8_t* dst = reinterpret_cast<uint8_t*>(a.value);
                size_t max = r.maxLength;
                size_t n = valueLen < max ? valueLen : max;
                if (r.raw) {
                    std::memcpy(dst, value, n);
                } else {
                    // The text and its NUL only: the caller's buffer may be sized for the
                    // device's own limit, shorter than the row's field.
                    size_t len = strnlen(reinterpret_cast<const char*>(value), n);
                    std::memcpy(dst, value, len);
                    if (len < max) dst[len] = 0;
                }
            }
        }
        pos += total;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// ArgList (daemon side)

void ArgList::clear() {
    args_.clear();
    storage_.clear();
}

bool ArgList::decode(ByteSpan block, unsigned int nargs, int request) {
    clear();
    request_ = request;
    if (block.size == 0) return true;
    const bool charDefs = isCharDefRequest(request);
    const uint8_t* p = block.data;
    size_t pos = 0;
    for (unsigned int i = 0; i < nargs; ++i) {
        size_t total = itemSize(p + pos, block.size - pos);
        if (total == 0) {
            clear();
            return false;
        }
        const uint8_t* item = p + pos;
        uint8_t type = item[0];
        size_t nameLen = item[1];
        size_t valueLen = getU16(item + 2);
        const uint8_t* name = item + ITEM_HEADER_SIZE;
        const uint8_t* value = name + pad4(nameLen);
        PosArg a{nullptr, 0};
        bool ok = false;
        if (charDefs) {
            if (type == ITEM_CHARDEF && nameLen == 2 && valueLen == CHARDEF_BYTES) {
                auto buf = std::make_unique<uint8_t[]>(CHARDEF_BYTES);
                std::memcpy(buf.get(), value, CHARDEF_BYTES);
                a.name = reinterpret_cast<const char*>(static_cast<intptr_t>(getU16(name)));
                a.value = reinterpret_cast<intptr_t>(buf.get());
                storage_.push_back(std::move(buf));
                ok = true;
            }
        } else if (type == ITEM_EMPTY) {
            ok = true;
        } else if ((type == ITEM_INTEGER || type == ITEM_STRING) && nameLen > 1 &&
                   nameLen <= sizeof(ResourceItem::name) && name[nameLen - 1] == '\0' &&
                   std::memchr(name, '\0', nameLen - 1) == nullptr) {
            int row = FindResourceName(reinterpret_cast<const char*>(name));
            if (row >= 0) {
                const ResourceItem& r = resTable[row];
                a.name = r.name;
                if (type == ITEM_INTEGER && r.isInteger && valueLen == 4) {
                    a.value = static_cast<int32_t>(getU32(value));
                    ok = true;
                } else if (type == ITEM_STRING && !r.isInteger && valueLen == r.maxLength) {
                    auto buf = std::make_unique<uint8_t[]>(r.maxLength + 1u);
                    std::memcpy(buf.get(), value, r.maxLength);
                    buf[r.maxLength] = 0;
                    a.value = reinterpret_cast<intptr_t>(buf.get());
                    storage_.push_back(std::move(buf));
                    ok = true;
                }
            }
        }
        if (!ok) {
            clear();
            return false;
        }
        args_.push_back(a);
        pos += total;
    }
    if (pos != block.size) {
        clear();
        return false;
    }
    return true;
}

int ArgList::encodeValues(void* buffer, unsigned int room) {
    return apiSerializePosArgs(buffer, room, data(), size(), request_);
}
