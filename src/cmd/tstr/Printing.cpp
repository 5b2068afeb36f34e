#include "Printing.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "TstrNames.h"

void PrintDataBlock(const char* title, const void* data, int size) {
    if (!data || size <= 0) return;
    std::printf("%s:  (%hu bytes)\n\n", title ? title : "(No title)", static_cast<unsigned short>(size));
    if (size > 65519) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const int rounded = (size + 15) / 16 * 16;
    for (int line = 0; line < rounded; line += 16) {
        std::printf("   %04X: ", line);
        char text[17];
        for (int i = 0; i < 16; ++i) {
            const int at = line + i;
            if (i == 8) std::printf("- ");
            if (at < size) {
                std::printf("%02X ", bytes[at]);
                text[i] = std::isprint(bytes[at]) ? static_cast<char>(bytes[at]) : '.';
            } else {
                std::printf("-- ");
                text[i] = ' ';
            }
        }
        text[16] = '\0';
        std::printf(" | %s\n", text);
    }
    std::printf("\n");
}

void PrintQueueMsg(const _POSQMSG* record, int length, bool fromThread) {
    const char* prefix = fromThread ? "               " : "";
    if (length != 16) {
        std::printf("\nERROR: Unknown POSQ message format!!!!\n\n");
        PrintDataBlock("POSQ Info", record, length);
        return;
    }
    const uint32_t p1 = record->p1, p2 = record->p2;
    if (record->msg == POSM_SYS_DEVICE_OFFLINE || record->msg == POSM_SYS_DEVICE_ONLINE) {
        const int type = p1 & 0xFF, address = (p1 >> 8) & 0xFF, port = (p1 >> 16) & 0xFF,
                  slot = (p1 >> 24) & 0xFF;
        const int subtype = p2 & 0xFF, descriptor = (p2 >> 8) & 0xFF;
        std::printf("\n%s%s - type %s, subtype %s,\n%sserviceDescriptor 0x%02X, slotNumber 0x%02X (%s),\n"
                    "%sportNumber 0x%02X (%s), deviceNumber 0x%02X (%s)\n",
                    prefix, MessageName(static_cast<int32_t>(record->msg)), TypeName(type),
                    SubtypeName(address, subtype), prefix, descriptor, slot, SlotName(slot), prefix,
                    port, PortName(port), address, DeviceName(address));
    } else {
        std::printf("\n%sPOSQ Message from Handle %2ld: %s\n", prefix, static_cast<long>(p1 & 0xFFFF),
                    MessageName(static_cast<int32_t>(record->msg)));
        std::printf("%s     mp1 = 0x%08lX (%lu)\n", prefix, static_cast<unsigned long>(p1),
                    static_cast<unsigned long>(p1));
        std::printf("%s     mp2 = 0x%08lX (%lu)\n", prefix, static_cast<unsigned long>(p2),
                    static_cast<unsigned long>(p2));
    }
    FreeTableStrings();
}

void PrintResults(int rc) {
    std::printf("  RC = %d, errno = %s\n", rc, ErrorName(rc == -1 ? PosErrno() : 0));
    FreeTableStrings();
}

void PrintArgs(const PosArg* args, int count) {
    for (int i = 0; i < count; ++i) {
        const PosArg& arg = args[i];
        std::printf("   %d: %s = ", i + 1, arg.name);
        switch (ArgType(arg)) {
        case 'D': std::printf("%ld\n", static_cast<long>(arg.value)); break;
        case 'X': std::printf("0x%lX\n", static_cast<unsigned long>(arg.value)); break;
        case 'S': std::printf("\"%s\"\n", reinterpret_cast<const char*>(arg.value)); break;
        case 'B': {
            // The bytes are preceded by their count.
            const auto* bytes = reinterpret_cast<const unsigned char*>(arg.value);
            uint16_t n;
            std::memcpy(&n, bytes - sizeof n, sizeof n);
            PrintDataBlock("Binary Data", bytes, n);
            break;
        }
        default: std::printf("INTERNAL ERROR !!!!!!!!!!!!!\n");
        }
    }
}
