// The serving side of ovkscansim: the pty that stands for the serial line (its slave linked
// under the given name), the control socket, and one loop that serves both.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "linescanner.h"

namespace scansim {

class ScanSimServer {
public:
    explicit ScanSimServer(LineScanner& scanner);
    ~ScanSimServer();
    ScanSimServer(const ScanSimServer&) = delete;
    ScanSimServer& operator=(const ScanSimServer&) = delete;

    // Opens the pty, links its slave as `linkPath` and listens on `controlPath`.
    bool start(const std::string& linkPath, const std::string& controlPath, std::string& error);
    // Serves until stop() or a signal writes to wakeFd().
    void run();
    void stop();
    int wakeFd() const { return wake_[1]; }

    static constexpr size_t kMaxClients = 16;
    static constexpr size_t kMaxCommandLine = 1024;

private:
    struct Client {
        int fd;
        std::string pending;
        bool discarding; // inside a line that was too long
    };

    unsigned lineSpeed() const;
    void serveLine();
    bool serveClient(Client& c); // false when the client is gone
    void send(const Bytes& bytes);
    void acceptClient();

    LineScanner& scanner_;
    int master_ = -1;
    int slave_ = -1; // held open so that the line keeps its settings between users
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::string link_, control_;
    std::vector<Client> clients_;
};

} // namespace scansim
