#include "MgmtService.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>

namespace {

constexpr char kStart = 0x1B;
constexpr char kEnd = 0x08;
constexpr size_t kMaxRequest = 64 * 1024;
constexpr int kReadTimeoutMs = 10000;

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string unescape(const std::string& text) {
    static const struct {
        const char* entity;
        char c;
    } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool done = false;
        for (const auto& e : kEntities) {
            const size_t n = std::strlen(e.entity);
            if (text.compare(i, n, e.entity) == 0) {
                out += e.c;
                i += n;
                done = true;
                break;
            }
        }
        if (!done) out += text[i++];
    }
    return out;
}

// The text of the first element `name` of a request ("" when absent).
std::string elementText(const std::string& doc, const std::string& name) {
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    const size_t a = doc.find(open);
    if (a == std::string::npos) return "";
    const size_t b = doc.find(close, a + open.size());
    if (b == std::string::npos) return "";
    return unescape(doc.substr(a + open.size(), b - a - open.size()));
}

bool sendAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Waits until fd or the stop pipe is readable: true for fd.
bool waitReadable(int fd, int stopFd, int timeoutMs) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int r = ::poll(p, 2, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0 && !(p[1].revents & POLLIN) && p[0].revents;
    }
}

} // namespace

bool ParseInstances(const std::string& text, std::vector<MgmtInstance>& out, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string word;
        if (!(words >> word) || word[0] == '#') continue;
        if (word == "instance") {
            MgmtInstance instance;
            if (!(words >> instance.className)) {
                error = "line " + std::to_string(number) + ": instance without a class";
                return false;
            }
            out.push_back(std::move(instance));
        } else if (word == "field") {
            MgmtField field;
            if (out.empty() || !(words >> field.name >> field.type)) {
                error = "line " + std::to_string(number) + ": field needs an instance, a name and a type";
                return false;
            }
            if (field.type == "-") {
                field.hasType = false;
                field.type.clear();
            }
            std::getline(words, field.value);
            if (!field.value.empty() && field.value[0] == ' ') field.value.erase(0, 1);
            out.back().fields.push_back(std::move(field));
        } else {
            error = "line " + std::to_string(number) + ": unknown word " + word;
            return false;
        }
    }
    return true;
}

std::string MgmtService::Answer(const std::vector<MgmtInstance>& instances, const std::string& request) {
    const std::string type = elementText(request, "type");
    const std::string cls = elementText(request, "class");
    const std::string id = elementText(request, "id");
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><response>";
    bool known = false;
    for (const MgmtInstance& instance : instances) {
        if (instance.className != cls) continue;
        known = true;
        if (type == "getInstance") {
            bool match = false;
            for (const MgmtField& f : instance.fields)
                if (f.name == "DeviceID" && f.value == id) match = true;
            if (!match) continue;
        }
        doc += "<instance>";
        for (const MgmtField& f : instance.fields) {
            doc += "<field name=\"" + escape(f.name) + "\"";
            if (f.hasType) doc += " type=\"" + escape(f.type) + "\"";
            doc += ">" + escape(f.value) + "</field>";
        }
        doc += "</instance>";
    }
    if (!known) doc += "<error name=\"" + escape("unknown class " + cls) + "\"/>";
    doc += "</response>";
    return doc;
}

MgmtService::MgmtService(std::vector<MgmtInstance> instances, Options options)
    : instances_(std::move(instances)), options_(options) {}

MgmtService::~MgmtService() { Stop(); }

bool MgmtService::Start(unsigned short port, std::string& error) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = "127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
    return true;
}

void MgmtService::Stop() {
    if (stopPipe_[1] >= 0) {
        const char b = 1;
        ssize_t ignored = ::write(stopPipe_[1], &b, 1);
        (void)ignored;
    }
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& t : connections_)
        if (t.joinable()) t.join();
    connections_.clear();
    for (int* fd : {&listenFd_, &stopPipe_[0], &stopPipe_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void MgmtService::SetReplyDocument(const std::string& document) {
    std::lock_guard<std::mutex> lock(mutex_);
    replyDocument_ = document;
    replyOverride_ = true;
}

std::vector<std::string> MgmtService::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void MgmtService::acceptLoop() {
    for (;;) {
        if (!waitReadable(listenFd_, stopPipe_[0], -1)) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int now = ++open_;
        int most = mostOpen_.load();
        while (now > most && !mostOpen_.compare_exchange_weak(most, now)) {
        }
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

bool MgmtService::readRequest(int fd, std::string& request) {
    bool inside = false;
    char buf[1024];
    while (request.size() < kMaxRequest) {
        if (!waitReadable(fd, stopPipe_[0], kReadTimeoutMs)) return false;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (!inside) {
                inside = buf[i] == kStart;
            } else if (buf[i] == kEnd) {
                return true;
            } else {
                request += buf[i];
            }
        }
    }
    return false;
}

void MgmtService::sendReply(int fd, const std::string& document, const std::function<void()>& leave) {
    const std::string frame = std::string(1, kStart) + document + std::string(1, kEnd);
    switch (options_.fault) {
    case Fault::None:
        sendAll(fd, frame.data(), frame.size() - 1);
        leave();
        sendAll(fd, frame.data() + frame.size() - 1, 1);
        break;
    case Fault::BytesBeforeStart: {
        const std::string noise = "noise before the start <instance>";
        sendAll(fd, noise.data(), noise.size());
        sendAll(fd, frame.data(), frame.size() - 1);
        leave();
        sendAll(fd, frame.data() + frame.size() - 1, 1);
        break;
    }
    case Fault::Pieces: {
        // The ESC in the first segment, the BS in the last; the reader sees several reads.
        const size_t piece = frame.size() / 4 + 1;
        for (size_t at = 0; at < frame.size(); at += piece) {
            if (at + piece >= frame.size()) leave();
            sendAll(fd, frame.data() + at, std::min(piece, frame.size() - at));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        break;
    }
    case Fault::CloseMidDocument:
        sendAll(fd, frame.data(), frame.size() / 2);
        break;
    case Fault::Silence:
        // Nothing until the client goes away or the service stops.
        while (waitReadable(fd, stopPipe_[0], -1)) {
            char b[256];
            if (::recv(fd, b, sizeof b, 0) <= 0) break;
        }
        break;
    }
}

void MgmtService::serve(int fd) {
    // The connection stops counting as open before the reply's last byte goes out: a client
    // can only have finished with it (and a next one have connected) after that.
    bool left = false;
    const std::function<void()> leave = [this, &left] {
        if (!left) --open_;
        left = true;
    };
    std::string request;
    if (readRequest(fd, request)) {
        std::string document;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            document = replyOverride_ ? replyDocument_ : Answer(instances_, request);
        }
        if (observer_) observer_(request);
        if (options_.holdMs > 0) {
            // Held, but a stop ends the wait.
            pollfd p{stopPipe_[0], POLLIN, 0};
            ::poll(&p, 1, options_.holdMs);
        }
        sendReply(fd, document, leave);
    }
    leave();
    ::close(fd);
}
