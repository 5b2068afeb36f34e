// ServicePublisher: a listening socket (TCP by host and port or service name, or a
// Unix-domain path) that the Selector watches; the daemon's subclass accepts in handleInput.
// The listening descriptor is non-blocking, so accept() never stalls the loop: it returns
// null when the waiting connection has gone away.
#pragma once

#include <string>

#include "Selector.h"
#include "SocketStream.h"

class ServicePublisher : public Selectable {
public:
    // Each throws ServerException with the text of errno when the socket cannot listen.
    // An empty host listens on every address.
    ServicePublisher(const std::string& host, unsigned short port);
    ServicePublisher(const std::string& host, const std::string& service);
    explicit ServicePublisher(const std::string& path);
    ~ServicePublisher() override;

    // Close the current listening socket, then open as the constructors do.
    void publish(const std::string& host, unsigned short port);
    void publish(const std::string& host, const std::string& service);
    void publish(const std::string& path);

    int getDescriptor() override;
    int handleInput(Selector* selector) override = 0;
    // A new heap sockbuf on the next connection, or null. The caller owns it.
    virtual sockbuf* accept();

protected:
    sostream stream_;

private:
    void listened();
};
