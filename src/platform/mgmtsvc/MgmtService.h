// The management service as the bridge needs it, standing in for the Java service: it listens
// on 127.0.0.1, reads one ESC ... BS framed request per connection and answers one framed XML
// document from its instances (class, fields of name, type and value). For tests it can answer
// in pieces, with bytes before the ESC, close mid-document, stay silent, or hold each reply;
// it records each request and the most connections open at once.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct MgmtField {
    std::string name;
    std::string type; // "string", "boolean", "int32", "uint32", "uint64"
    bool hasType = true;
    std::string value;
};

struct MgmtInstance {
    std::string className;
    std::vector<MgmtField> fields;
};

// The instance file: "instance CLASS" starts an instance, "field NAME TYPE [VALUE]" adds a
// field to it (TYPE "-": no type attribute; the value is the rest of the line), blank lines
// and lines starting with "#" are skipped. False with a message for a malformed line.
bool ParseInstances(const std::string& text, std::vector<MgmtInstance>& out, std::string& error);

class MgmtService {
public:
    enum class Fault { None, Pieces, BytesBeforeStart, CloseMidDocument, Silence };
    struct Options {
        Fault fault = Fault::None;
        int holdMs = 0; // before each reply
    };

    MgmtService(std::vector<MgmtInstance> instances, Options options);
    ~MgmtService();
    MgmtService(const MgmtService&) = delete;
    MgmtService& operator=(const MgmtService&) = delete;

    // Listens on 127.0.0.1:port (0: a free port) and serves in a thread of its own.
    bool Start(unsigned short port, std::string& error);
    unsigned short Port() const { return port_; }
    void Stop();

    // Every request is answered with this document instead (tests of the reply's parsing).
    void SetReplyDocument(const std::string& document);
    // Called with each request's text as it arrives.
    void SetRequestObserver(void (*observer)(const std::string&)) { observer_ = observer; }

    std::vector<std::string> Requests() const;
    int MostOpenAtOnce() const { return mostOpen_; }

    // The reply document to a request document.
    static std::string Answer(const std::vector<MgmtInstance>& instances, const std::string& request);

private:
    void acceptLoop();
    void serve(int fd);
    bool readRequest(int fd, std::string& request);
    void sendReply(int fd, const std::string& document, const std::function<void()>& leave);

    std::vector<MgmtInstance> instances_;
    Options options_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    unsigned short port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> connections_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::string replyDocument_;
    bool replyOverride_ = false;
    void (*observer_)(const std::string&) = nullptr;
    std::atomic<int> open_{0};
    std::atomic<int> mostOpen_{0};
};
