// Records 101 and 102: the 2,048-byte adapter exchange buffer as the adapter manager got or
// returned it. Every length read from the buffer is bounded by the buffer and the payload.
#include "CoreDecoders.h"

#include <string>

#include "Payload.h"
#include "TraceOutput.h"

namespace {

constexpr int kBufferSize = 2048;
constexpr int kRequest = 0, kFuncCmd = 1, kPtoTime = 2, kPtoCount = 4, kXmitMsgCnt = 5,
              kXmitMsgStart = 6, kStatus = 12, kRcvMsgOff = 13, kPollList = 15, kErrMsgLen = 271,
              kErrMsg = 273, kErrMsgSize = 30, kData = 303, kDataEnd = 2046, kSSB = 2047;
constexpr int kPollListShown = 95;

struct Bit {
    int mask;
    const char* name;
};

template <size_t N>
void bits(TraceOutput& out, const char* label, int value, const Bit (&names)[N]) {
    out.print("   %s=0x%x (", label, value);
    for (const Bit& b : names)
        if (value & b.mask) out.text(b.name);
    out.text(" )\n");
}

} // namespace

void FormatExchangeBuffer(TraceOutput& out, const Payload& whole, bool returned) {
    const Payload p(whole.data(), whole.length() < kBufferSize ? whole.length() : kBufferSize);
    out.text("\n");
    static const Bit ssb[] = {{0x40, " POR"}, {0x20, " NMI"}, {0x08, " ENABLE"},
                              {0x04, " INTERRUPT"}, {0x02, " PCDONE"}, {0x01, " ACCESS"}};
    bits(out, "bSSB", p.u8(kSSB), ssb);
    if (returned) {
        static const Bit request[] = {{0x80, " DIAG"}, {0x40, " READ_TIMEOUT"}, {0x20, " READ_FUNC_BYTE"},
                                      {0x10, " MSG_IN_BUF"}, {0x08, " POLL_LIST_CHANGED"},
                                      {0x04, " DUMP_8051"}, {0x02, " GET_EC_LEVEL"}, {0x01, " CABLE_WRAP_TEST"}};
        static const Bit func[] = {{0x80, " POLLING_ON"}, {0x40, " POLLING_OFF"}, {0x20, " PTO_RECORDING_ON"},
                                   {0x10, " PTR_RECORDING_OFF"}, {0x08, " XMIT_CRC_GEN_ON"},
                                   {0x04, " XMIT_CRC_GEN_OFF"}, {0x02, " MFG_STRESS_TEST_COMPLETE"}};
        bits(out, "bRequest", p.u8(kRequest), request);
        bits(out, "bFuncCmd", p.u8(kFuncCmd), func);
        out.print("   bPtoTime=%x.%x, bPtoCount=0x%x\n", p.u8(kPtoTime), p.u8(kPtoTime + 1), p.u8(kPtoCount));
        // The poll list up to its first pair of zero bytes, when there is one in time.
        int end = -1;
        for (int k = 0; k + 1 < kPollListShown + 1 && k < kPollListShown; k += 2)
            if (p.u8(kPollList + k) == 0 && p.u8(kPollList + k + 1) == 0) {
                end = k;
                break;
            }
        if (end > 0) {
            out.text("   bPollList:\n");
            out.HexDisplay(p.from(kPollList), p.clampCount(kPollList, end));
        }
    } else {
        static const Bit status[] = {{0x80, " DIAG_COMPLETE"}, {0x40, " MGF_TEST_IN_PROGRESS"},
                                     {0x10, " MESSAGE_IN_BUFFER"}, {0x08, " ERROR_IN_BUFFER"},
                                     {0x04, " DUMP_IN_BUFFER"}, {0x02, " EC_LEVEL_AVAIL"},
                                     {0x01, " WRAP_TEST_COMPLETE"}};
        const int st = p.u8(kStatus);
        bits(out, "bStatus", st, status);
        if ((st & 0x08) && (p.u8(kErrMsgLen) || p.u8(kErrMsgLen + 1))) {
            out.print("   bErrMsgLen=%x.%x\n", p.u8(kErrMsgLen), p.u8(kErrMsgLen + 1));
            out.text("   bErrMsg:\n");
            const int n = p.u8(kErrMsgLen) < kErrMsgSize ? p.u8(kErrMsgLen) : kErrMsgSize;
            out.HexDisplay(p.from(kErrMsg), p.clampCount(kErrMsg, n));
        }
        if (st & 0x10) {
            const int length = p.u16(kData);
            out.print("   bRcvmsgOff=%x.%x, length=%d (%x.%x)\n", p.u8(kRcvMsgOff), p.u8(kRcvMsgOff + 1), length,
                      p.u8(kData), p.u8(kData + 1));
            out.text("   bReceiveMsg:\n");
            const int at = kData + 2;
            const int n = length + 1 < kDataEnd - at ? length + 1 : kDataEnd - at;
            out.HexDisplay(p.from(at), p.clampCount(at, n));
        }
    }
    const int count = p.u8(kXmitMsgCnt);
    if (returned && count) {
        out.print("   bXmitMsgCnt=%d, bXmitMsgStart=%x.%x\n", count, p.u8(kXmitMsgStart), p.u8(kXmitMsgStart + 1));
        out.text("   bXmitMsg:\n");
        int at = kData;
        for (int i = 1; i <= count && at + 1 < kDataEnd && at < p.length(); ++i) {
            const int n = p.u16(at);
            out.print("   Msg %d: (length=%d)[%x.%x]\n", i, n + 3, p.u8(at), p.u8(at + 1));
            const int shown = n + 3 < kDataEnd - at ? n + 3 : kDataEnd - at;
            out.HexDisplay(p.from(at), p.clampCount(at, shown));
            at += n + 5;
        }
    }
}
