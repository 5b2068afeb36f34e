// Arbitrary bytes from a client, taken as the daemon's connection thread takes them: framed
// request by request and answered by the dispatcher with the real core behind it (a system
// object without slots under a private root). Each framed request is decoded again from an
// exact copy of its bytes, so that any read beyond them shows.
//
// Bit 0 of the first byte starts the connection with a valid Initialize request, so that the
// requests after it reach the core's entry points.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// Before the client-side headers: their macros share names with the core's enumerators.
#include "../FuzzRoot.h"
#include "COMD.h"
#include "ProcessHost.h"
#include "RequestDispatcher.h"
#include "RequestFramer.h"
#include "ServiceConnection.h"

using namespace ovkwire;

namespace {

// The connection a process writes its events on; its peer is never read, so event writes
// wait at most briefly.
class FuzzConnection : public ServiceConnection {
public:
    explicit FuzzConnection(int sd) : ServiceConnection(new sockbuf(sd), true) { setWriteTimeout(0); }
    int handleInput(Selector*) override { return -1; }
};

void answer(RequestDispatcher& dispatcher, const uint8_t* bytes, size_t length) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[length]);
    std::memcpy(copy.get(), bytes, length);
    Request request;
    DecodeResult r = decodeRequest(copy.get(), length, request);
    if (r.status != DecodeResult::Ok || r.bytes != length) std::abort(); // framing disagrees
    static uint8_t* const reply = new uint8_t[REPLY_BUFFER_SIZE]; // heap, so overruns show
    const size_t n = dispatcher.Dispatch(request, reply);
    if (n < REPLY_HEADER_SIZE || n > REPLY_BUFFER_SIZE) std::abort();
}

std::vector<uint8_t> initializeRequest() {
    InitializeRequest r;
    r.handle = 1;
    r.applName = "fuzz";
    r.resFile = "fuzz.res";
    r.codePage = 932;
    leadByteRanges(932, r.leadBytes);
    std::vector<uint8_t> out(MESSAGE_BUFFER_SIZE);
    out.resize(encodeRequest(out.data(), out.size(), r));
    return out;
}

// A framer at the start of a request, as a new connection has it. Copied over the last
// run's framer, whose buffer is reused: a new one would allocate and clear a whole message
// buffer, which costs more than the rest of a short run.
RequestFramer& freshFramer() {
    static const RequestFramer blank;
    static RequestFramer framer;
    framer = blank;
    return framer;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    static COMD* comd = new COMD(); // the core's system object, alive for the whole run
    (void)comd;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return 0;
    static CoreProcessHost host;
    {
        FuzzConnection connection(sv[1]);
        RequestDispatcher dispatcher(host, &connection, 4242);
        if (data[0] & 1) {
            static const std::vector<uint8_t> init = initializeRequest();
            answer(dispatcher, init.data(), init.size());
        }
        RequestFramer& framer = freshFramer();
        size_t pos = 1;
        for (;;) {
            const size_t want = framer.wanted();
            if (want == 0 || want > size - pos) break;
            std::memcpy(framer.space(), data + pos, want);
            pos += want;
            Request request;
            RequestFramer::Status s = framer.Received(request);
            if (s == RequestFramer::NeedMore) continue;
            if (s == RequestFramer::Invalid) break;
            answer(dispatcher, framer.bytes(), framer.gathered());
            framer.Next();
        }
        dispatcher.End();
    }
    ::close(sv[0]);
    return 0;
}
