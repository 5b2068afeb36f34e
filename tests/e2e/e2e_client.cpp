// A second client process for the end-to-end tests (the client library serves one local
// connection per process).
//   e2e_client hold              initialise, print "ready"; for each input line "values" read
//                                the system values ("ok" or "fail <error>"); at the end of
//                                the input end the session and exit 0
//   e2e_client partial <socket>  initialise by hand, print "ready", send half an IOCtl
//                                request and wait to be killed
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "RawClient.h"
#include "ovkapi.h"

namespace {

int hold() {
    char appl[] = "e2eclient";
    char res[] = "e2eclient.res";
    if (PosInitialize(appl, res, 0, 0, nullptr, 0) < 0) {
        std::printf("fail %d\n", PosErrno());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line != "values") continue;
        PosArg a[] = {{"queueHandle", 77}};
        if (PosIOCtl(0, POS_SYS_GET_VALUES, a, 1) == 0 && a[0].value == 0)
            std::printf("ok\n");
        else
            std::printf("fail %d\n", PosErrno());
        std::fflush(stdout);
    }
    PosTerm();
    return 0;
}

int partial(const char* path) {
    RawClient c;
    if (!c.Connect(path) || c.Initialize("e2epartial").rc != 0) {
        std::printf("fail\n");
        return 1;
    }
    ovkwire::IOCtlRequest r;
    std::vector<uint8_t> block(64, 0);
    r.argBlock = ByteSpan(block.data(), block.size());
    r.nargs = 16;
    std::vector<uint8_t> out(ovkwire::MESSAGE_BUFFER_SIZE);
    size_t n = ovkwire::encodeRequest(out.data(), out.size(), r);
    c.Send(out.data(), n / 2);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) ::pause();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "hold") == 0) return hold();
    if (argc == 3 && std::strcmp(argv[1], "partial") == 0) return partial(argv[2]);
    std::fprintf(stderr, "usage: e2e_client hold | partial <socket>\n");
    return 2;
}
