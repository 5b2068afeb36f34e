// The message codec: golden bytes of every message, and the bounded decoders of both sides.
#include <gtest/gtest.h>

#include "ByteHelpers.h"
#include "ovkwire.h"

using namespace ovkwire;
using Bytes = std::vector<uint8_t>;

namespace {

template <class R>
Bytes encoded(const R& r) {
    Bytes out(MESSAGE_BUFFER_SIZE);
    size_t n = encodeRequest(out.data(), out.size(), r);
    out.resize(n);
    return out;
}

Request decoded(const Bytes& b) {
    Request r;
    DecodeResult d = decodeRequest(b.data(), b.size(), r);
    EXPECT_EQ(d.status, DecodeResult::Ok);
    EXPECT_EQ(d.bytes, b.size());
    return r;
}

} // namespace

TEST(WireGolden, VersionAndClose) {
    EXPECT_EQ(encoded(VersionRequest{5}), hexBytes("08 00 00 CE 05 00 00 00"));
    EXPECT_EQ(encoded(CloseRequest{9, 3}), hexBytes("03 00 00 CE 09 00 00 00 03 00 00 00"));
}

TEST(WireGolden, WriteAndReadPadTheirData) {
    WriteRequest w;
    w.handle = 1;
    w.device = 2;
    w.data = ByteSpan("A", 1);
    EXPECT_EQ(encoded(w), hexBytes("09 00 00 CE 01 00 00 00 02 00 01 00 41 00 00 00"));
    w.data = ByteSpan("ABCD", 4);
    EXPECT_EQ(encoded(w), hexBytes("09 00 00 CE 01 00 00 00 02 00 04 00 41 42 43 44"));

    ReadRequest r;
    r.handle = 0x0102;
    r.device = 7;
    r.data = ByteSpan("xyz", 3);
    EXPECT_EQ(encoded(r), hexBytes("07 00 00 CE 02 01 00 00 07 00 03 00 78 79 7A 00"));
}

TEST(WireGolden, IOCtlCarriesItsArgumentBlock) {
    PosArg arg{"slotNumber", 3};
    uint8_t block[64];
    int len = apiSerializePosArgs(block, sizeof block, &arg, 1, POS_SYS_SET_VALUES);
    ASSERT_EQ(len, 20);
    IOCtlRequest r;
    r.handle = 1;
    r.device = 2;
    r.request = POS_SYS_GET_VALUES;
    r.argBlock = ByteSpan(block, 20);
    r.nargs = 1;
    EXPECT_EQ(encoded(r), hexBytes("05 00 00 CE 01 00 00 00 02 00 2E 01 14 00 01 00"
                                   "01 0B 04 00") +
                              textBytes("slotNumber\0\0", 12) + hexBytes("03 00 00 00"));
    // An empty block always goes with an argument count of 0.
    r.argBlock = ByteSpan();
    r.nargs = 4;
    EXPECT_EQ(encoded(r), hexBytes("05 00 00 CE 01 00 00 00 02 00 2E 01 00 00 00 00"));
}

TEST(WireGolden, Open) {
    OpenRequest r;
    r.handle = 1;
    r.deviceName = "abc";
    r.className = "PosMsr";
    EXPECT_EQ(encoded(r), hexBytes("06 00 00 CE 01 00 00 00 04 00 07 00 00 00 00 00") +
                              textBytes("abc\0PosMsr\0\0", 12));
}

TEST(WireGolden, InitializeNamesAndLeadBytes) {
    InitializeRequest r;
    r.handle = 1;
    r.applName = "app"; // 4 bytes with its NUL: no padding
    r.resFile = "r.res";
    r.codePage = 858;
    leadByteRanges(858, r.leadBytes);
    Bytes header = hexBytes("04 00 00 CE 01 00 00 00 01 00 04 00 06 00 00 00"
                            "00 00 5A 03 01 00 CC CC") +
                   zeros(32) + zeros(4);
    EXPECT_EQ(encoded(r), header + textBytes("app\0r.res\0\0\0", 12));

    r.applName = "abcd"; // 5 bytes: 3 bytes of padding
    r.codePage = 932;
    leadByteRanges(932, r.leadBytes);
    Bytes b = encoded(r);
    ASSERT_EQ(b.size(), 60u + 8 + 8);
    EXPECT_EQ(b[10], 5);
    EXPECT_EQ(Bytes(b.begin() + 24, b.begin() + 30), hexBytes("81 9F E9 FC 00 00"));
    EXPECT_EQ(Bytes(b.begin() + 60, b.begin() + 68), textBytes("abcd\0\0\0\0", 8));
}

TEST(WireGolden, LeadByteRangesByCodePage) {
    struct {
        uint16_t cp;
        const char* bytes;
    } cases[] = {{932, "81 9F E9 FC 00"}, {936, "81 FC 00"}, {950, "81 FC 00"}, {949, "A1 FE 00"},
                 {1361, "A1 FE 00"},      {874, "81 9F 00"}, {929, "81 9F 00"}, {858, "00"},
                 {437, "00"}};
    for (auto& c : cases) {
        uint8_t out[LEAD_BYTES_SIZE];
        leadByteRanges(c.cp, out);
        Bytes want = hexBytes(c.bytes);
        want.resize(LEAD_BYTES_SIZE, 0);
        EXPECT_EQ(Bytes(out, out + LEAD_BYTES_SIZE), want) << c.cp;
    }
}

TEST(WireGolden, ReplyEventAndVersionData) {
    Bytes out(64);
    size_t n = encodeReply(out.data(), out.size(), ReplyHeader{7, 3, 0, 0}, ByteSpan("abc", 3));
    out.resize(n);
    EXPECT_EQ(out, hexBytes("02 00 00 CE 07 00 00 00 03 00 00 00 00 00 00 00 03 00 00 00 61 62 63 00"));

    out.assign(20, 0xEE);
    ASSERT_EQ(encodeEvent(out.data(), out.size(), EventMessage{0, 0x420D, 0x01113503, 0x12}), 20u);
    EXPECT_EQ(out, hexBytes("01 00 00 CE 00 00 00 00 0D 42 00 00 03 35 11 01 12 00 00 00"));

    uint8_t v[VERSION_DATA_SIZE];
    encodeVersionData(VersionInfo{5, -2, 7}, v);
    EXPECT_EQ(Bytes(v, v + 6), hexBytes("05 00 FE FF 07 00"));
    VersionInfo back = decodeVersionData(ByteSpan(v, 6));
    EXPECT_EQ(back.version, 5);
    EXPECT_EQ(back.release, -2);
    EXPECT_EQ(back.modification, 7);
    back = decodeVersionData(ByteSpan(v, 2)); // an older daemon: the version alone
    EXPECT_EQ(back.version, 5);
    EXPECT_EQ(back.release, 0);
    EXPECT_EQ(back.modification, 0);
}

TEST(WireEncode, RefusesWhatItsFieldsOrTheBufferCannotCarry) {
    Bytes out(MESSAGE_BUFFER_SIZE + 100);
    Bytes big(MESSAGE_BUFFER_SIZE);
    WriteRequest w;
    w.data = ByteSpan(big.data(), MAX_WRITE_BYTES);
    EXPECT_EQ(encodeRequest(out.data(), out.size(), w), MESSAGE_BUFFER_SIZE - 3);
    w.data = ByteSpan(big.data(), MAX_WRITE_BYTES + 1);
    EXPECT_EQ(encodeRequest(out.data(), out.size(), w), 0u);
    w.data = ByteSpan("ABCD", 4);
    EXPECT_EQ(encodeRequest(out.data(), 15, w), 0u);

    OpenRequest o;
    std::string name(33, 'n');
    o.deviceName = name; // 34 bytes with its NUL
    o.className = "PosMsr";
    EXPECT_EQ(encodeRequest(out.data(), out.size(), o), 0u);

    EXPECT_EQ(encodeReply(out.data(), out.size(), ReplyHeader{}, ByteSpan(big.data(), MAX_REPLY_DATA + 1)),
              0u);
    EXPECT_EQ(encodeReply(out.data(), out.size(), ReplyHeader{}, ByteSpan(big.data(), MAX_REPLY_DATA)),
              REPLY_BUFFER_SIZE);
}

// ---------------------------------------------------------------------------------------
// Daemon side: requests

TEST(WireDecodeRequest, EveryKindRoundTrips) {
    PosArg args[] = {{"slotNumber", 3}, {"deviceName", reinterpret_cast<intptr_t>("ab")}, {"bogus", 1}};
    uint8_t block[256];
    int len = apiSerializePosArgs(block, sizeof block, args, 3, 0);
    ASSERT_GT(len, 0);

    InitializeRequest ini;
    ini.handle = 11;
    ini.applName = "shop";
    ini.resFile = "/etc/shop.res";
    ini.argBlock = ByteSpan(block, static_cast<size_t>(len));
    ini.nargs = 3;
    ini.codePage = 932;
    leadByteRanges(932, ini.leadBytes);
    Bytes b1 = encoded(ini); // the decoded views point into it
    Request r = decoded(b1);
    auto& i2 = std::get<InitializeRequest>(r);
    EXPECT_EQ(i2.handle, 11u);
    EXPECT_EQ(i2.applName, "shop");
    EXPECT_EQ(i2.resFile, "/etc/shop.res");
    EXPECT_EQ(i2.codePage, 932);
    EXPECT_EQ(i2.leadBytes[3], 0xFC);
    ASSERT_EQ(i2.args.size(), 3);
    EXPECT_STREQ(i2.args[0].name, "slotNumber");
    EXPECT_EQ(i2.args[0].value, 3);
    EXPECT_STREQ(reinterpret_cast<const char*>(i2.args[1].value), "ab");
    EXPECT_EQ(i2.args[2].name, nullptr);

    OpenRequest op;
    op.handle = 12;
    op.deviceName = "receipt";
    op.className = "PosPrinter";
    op.argBlock = ByteSpan(block, 20);
    op.nargs = 1;
    Bytes b2 = encoded(op);
    r = decoded(b2);
    auto& o2 = std::get<OpenRequest>(r);
    EXPECT_EQ(o2.deviceName, "receipt");
    EXPECT_EQ(o2.className, "PosPrinter");
    ASSERT_EQ(o2.args.size(), 1);
    EXPECT_EQ(o2.args[0].value, 3);

    IOCtlRequest io;
    io.handle = 13;
    io.device = 4;
    io.request = 0x1234;
    Bytes b3 = encoded(io);
    r = decoded(b3);
    EXPECT_EQ(std::get<IOCtlRequest>(r).request, 0x1234);
    EXPECT_EQ(std::get<IOCtlRequest>(r).device, 4);
    EXPECT_TRUE(std::get<IOCtlRequest>(r).args.empty());

    ReadRequest rd;
    rd.handle = 14;
    rd.device = 5;
    rd.data = ByteSpan("12345", 5);
    Bytes b4 = encoded(rd);
    r = decoded(b4);
    EXPECT_EQ(std::get<ReadRequest>(r).data.size, 5u);
    EXPECT_EQ(std::memcmp(std::get<ReadRequest>(r).data.data, "12345", 5), 0);

    WriteRequest wr;
    wr.handle = 15;
    wr.device = 6;
    wr.data = ByteSpan("hello", 5);
    Bytes b5 = encoded(wr);
    r = decoded(b5);
    EXPECT_EQ(std::get<WriteRequest>(r).device, 6);
    EXPECT_EQ(std::get<WriteRequest>(r).data.size, 5u);

    Bytes b6 = encoded(CloseRequest{16, 7});
    r = decoded(b6);
    EXPECT_EQ(std::get<CloseRequest>(r).device, 7);
    Bytes b7 = encoded(VersionRequest{17});
    r = decoded(b7);
    EXPECT_EQ(std::get<VersionRequest>(r).handle, 17u);
}

TEST(WireDecodeRequest, EveryPrefixAsksForMoreWithinTheMessage) {
    InitializeRequest ini;
    ini.applName = "app";
    ini.resFile = "x.res";
    OpenRequest op;
    op.deviceName = "d";
    op.className = "PosMsr";
    ReadRequest rd;
    rd.data = ByteSpan("abcdef", 6);
    WriteRequest wr;
    wr.data = ByteSpan("abcdefg", 7);
    IOCtlRequest io;
    std::vector<Bytes> messages = {encoded(ini), encoded(op), encoded(rd), encoded(wr), encoded(io),
                                   encoded(CloseRequest{1, 1}), encoded(VersionRequest{1})};
    for (const Bytes& m : messages) {
        for (size_t n = 0; n < m.size(); ++n) {
            Request r;
            DecodeResult d = decodeRequest(m.data(), n, r);
            ASSERT_EQ(d.status, DecodeResult::NeedMore) << hexDump(m) << " at " << n;
            EXPECT_GT(d.bytes, n);
            EXPECT_LE(d.bytes, m.size());
        }
    }
}

TEST(WireDecodeRequest, RefusesMalformedRequests) {
    InitializeRequest ini;
    ini.applName = "app";
    ini.resFile = "x.res";
    Bytes goodInit = encoded(ini);
    OpenRequest op;
    op.deviceName = "dev";
    op.className = "PosMsr";
    Bytes goodOpen = encoded(op);

    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"unknown type", hexBytes("0A 00 00 CE 01 00 00 00 00 00 00 00")});
    cases.push_back({"event sent to the daemon", hexBytes("01 00 00 CE 01 00 00 00")});
    Bytes b = goodInit;
    b[8] = 2; // the constant 1
    cases.push_back({"initialize constant", b});
    b = goodInit;
    b[20] = 0; // 0xCCCC0001
    cases.push_back({"initialize magic", b});
    b = goodInit;
    b[63] = 'x'; // application name without its NUL
    cases.push_back({"unterminated name", b});
    b = goodInit;
    b[61] = 0; // a NUL inside the name
    cases.push_back({"embedded NUL", b});
    b = goodInit;
    b[10] = 0; // name length 0
    cases.push_back({"empty name field", b});
    b = goodInit;
    b[14] = 2; // argument block length not a multiple of 4
    cases.push_back({"block length", b});
    b = goodOpen;
    b[8] = 34; // device name longer than 33 bytes
    b.resize(b.size() + 40, 0);
    cases.push_back({"device name length", b});
    b = goodOpen;
    b[14] = 1; // one argument but an empty block: fine
    Request ok;
    EXPECT_EQ(decodeRequest(b.data(), b.size(), ok).status, DecodeResult::Ok);
    cases.push_back({"IOCtl block over the limit",
                     hexBytes("05 00 00 CE 01 00 00 00 00 00 00 00 E0 7F 00 00")}); // 32736
    cases.push_back({"read larger than a message",
                     hexBytes("07 00 00 CE 01 00 00 00 01 00 E4 7F")}); // 12 + 32740
    b = hexBytes("05 00 00 CE 01 00 00 00 00 00 2E 01 04 00 01 00 01 00 00 00");
    cases.push_back({"argument item of no known form", b});
    b = hexBytes("05 00 00 CE 01 00 00 00 00 00 2E 01 10 00 01 00 01 05 04 00") +
        textBytes("nope\0\0\0\0", 8) + hexBytes("01 00 00 00");
    cases.push_back({"argument name missing from the table", b});

    for (const Case& c : cases) {
        Bytes m = c.bytes;
        m.resize(m.size() + 64, 0); // more bytes than the message needs must not matter
        Request r;
        EXPECT_EQ(decodeRequest(m.data(), m.size(), r).status, DecodeResult::Invalid) << c.what;
    }

    // The largest messages that fit are accepted.
    Bytes big = hexBytes("09 00 00 CE 01 00 00 00 01 00 E0 7F") + zeros(32736);
    Request r;
    EXPECT_EQ(decodeRequest(big.data(), big.size(), r).status, DecodeResult::Ok);
}

// ---------------------------------------------------------------------------------------
// Client side: replies and events

TEST(WireDecodeServer, EventsRepliesAndOtherTypes) {
    Bytes ev = hexBytes("01 00 00 CE 00 00 00 00 0D 42 00 00 03 35 11 01 12 00 00 00");
    ServerMessage m;
    DecodeResult d = decodeServerMessage(ev.data(), ev.size(), m);
    EXPECT_EQ(d.status, DecodeResult::Ok);
    EXPECT_EQ(d.bytes, 20u);
    EXPECT_EQ(m.kind, ServerMessage::Event);
    EXPECT_EQ(m.event.msg, 0x420Du);
    EXPECT_EQ(m.event.mp1, 0x01113503u);
    EXPECT_EQ(m.event.mp2, 0x12u);

    Bytes rep = hexBytes("02 00 00 CE 07 00 00 00 FF FF FF FF 41 01 00 00 05 00 00 00 61 62 63 64 65 00 00 00");
    for (size_t n = 0; n < rep.size(); ++n) {
        d = decodeServerMessage(rep.data(), n, m);
        ASSERT_EQ(d.status, DecodeResult::NeedMore) << n;
        EXPECT_EQ(d.bytes, n < 20 ? 20u : rep.size());
    }
    d = decodeServerMessage(rep.data(), rep.size(), m);
    EXPECT_EQ(d.status, DecodeResult::Ok);
    EXPECT_EQ(d.bytes, 28u);
    EXPECT_EQ(m.kind, ServerMessage::Reply);
    EXPECT_EQ(m.reply.handle, 7u);
    EXPECT_EQ(m.reply.rc, -1);
    EXPECT_EQ(m.reply.error, 321);
    EXPECT_EQ(m.data.size, 5u);

    Bytes other = hexBytes("77 00 00 CE") + zeros(16) + ev;
    d = decodeServerMessage(other.data(), other.size(), m);
    EXPECT_EQ(d.status, DecodeResult::Ok);
    EXPECT_EQ(d.bytes, 20u);
    EXPECT_EQ(m.kind, ServerMessage::Unknown);
}

TEST(WireDecodeServer, ReplyDataBeyondTheReplyBufferIsInvalid) {
    Bytes rep = hexBytes("02 00 00 CE 07 00 00 00 00 00 00 00 00 00 00 00 DC 7F 00 00"); // 32732
    ServerMessage m;
    EXPECT_EQ(decodeServerMessage(rep.data(), rep.size(), m).status, DecodeResult::Invalid);
    rep = hexBytes("02 00 00 CE 07 00 00 00 00 00 00 00 00 00 00 00 FF FF FF FF");
    EXPECT_EQ(decodeServerMessage(rep.data(), rep.size(), m).status, DecodeResult::Invalid);
    rep = hexBytes("02 00 00 CE 07 00 00 00 00 00 00 00 00 00 00 00 DB 7F 00 00"); // 32731
    DecodeResult d = decodeServerMessage(rep.data(), rep.size(), m);
    EXPECT_EQ(d.status, DecodeResult::NeedMore);
    EXPECT_EQ(d.bytes, REPLY_BUFFER_SIZE);
}
