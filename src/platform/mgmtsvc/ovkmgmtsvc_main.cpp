// ovkmgmtsvc: the management service for the bridge, from an instance file.
//
//   ovkmgmtsvc -f INSTANCE-FILE [-p PORT] [-F pieces|prefix|close|silence] [-H MS]
//
// It listens on 127.0.0.1 at PORT (default: the port of the properties file the bridge reads,
// 42115 without one; 0: a free port) and prints "ovkmgmtsvc ready on port N", then
// "request TEXT" for each request. -F answers with a fault (in pieces, with bytes before the
// ESC, closing mid-document, or never); -H holds each reply MS milliseconds. SIGTERM or
// SIGINT ends it after it prints "most open at once N".
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <unistd.h>

#include "MgmtService.h"
#include "UPOSXMLAdapter.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char b = 1;
    ssize_t ignored = ::write(g_signalPipe[1], &b, 1);
    (void)ignored;
}

int usage() {
    std::fprintf(stderr, "usage: ovkmgmtsvc -f INSTANCE-FILE [-p PORT] [-F pieces|prefix|close|silence] [-H MS]\n");
    return 2;
}

void printRequest(const std::string& request) {
    std::printf("request %s\n", request.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    std::string file;
    long port = -1;
    MgmtService::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        const char* v = argv[++i];
        if (a == "-f") {
            file = v;
        } else if (a == "-p") {
            char* end = nullptr;
            port = std::strtol(v, &end, 10);
            if (*end || port < 0 || port > 65535) return usage();
        } else if (a == "-H") {
            options.holdMs = std::atoi(v);
        } else if (a == "-F") {
            const std::string f = v;
            if (f == "pieces") options.fault = MgmtService::Fault::Pieces;
            else if (f == "prefix") options.fault = MgmtService::Fault::BytesBeforeStart;
            else if (f == "close") options.fault = MgmtService::Fault::CloseMidDocument;
            else if (f == "silence") options.fault = MgmtService::Fault::Silence;
            else return usage();
        } else {
            return usage();
        }
    }
    if (file.empty()) return usage();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "ovkmgmtsvc: cannot read %s\n", file.c_str());
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<MgmtInstance> instances;
    std::string error;
    if (!ParseInstances(text.str(), instances, error)) {
        std::fprintf(stderr, "ovkmgmtsvc: %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    if (port < 0) port = UPOSXMLAdapter::servicePort();

    if (::pipe(g_signalPipe) != 0) return 1;
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    MgmtService service(std::move(instances), options);
    service.SetRequestObserver(printRequest);
    if (!service.Start(static_cast<unsigned short>(port), error)) {
        std::fprintf(stderr, "ovkmgmtsvc: %s\n", error.c_str());
        return 1;
    }
    std::printf("ovkmgmtsvc ready on port %u\n", service.Port());
    std::fflush(stdout);
    pollfd p{g_signalPipe[0], POLLIN, 0};
    while (::poll(&p, 1, -1) < 0) {
    }
    service.Stop();
    std::printf("most open at once %d\n", service.MostOpenAtOnce());
    std::fflush(stdout);
    return 0;
}
