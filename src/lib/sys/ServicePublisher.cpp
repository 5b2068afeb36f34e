// ServicePublisher: the listening socket of a daemon.
#include "ServicePublisher.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>

#include "ServerException.h"

namespace {
const char* hostOrAny(const std::string& host) { return host.empty() ? nullptr : host.c_str(); }
} // namespace

ServicePublisher::ServicePublisher(const std::string& host, unsigned short port) {
    publish(host, port);
}

ServicePublisher::ServicePublisher(const std::string& host, const std::string& service) {
    publish(host, service);
}

ServicePublisher::ServicePublisher(const std::string& path) { publish(path); }

ServicePublisher::~ServicePublisher() = default;

void ServicePublisher::listened() {
    if (!stream_.good()) throw ServerException("%s", std::strerror(errno));
    const int sd = stream_.rdbuf()->getDescriptor();
    const int fl = ::fcntl(sd, F_GETFL);
    if (fl >= 0) ::fcntl(sd, F_SETFL, fl | O_NONBLOCK);
}

void ServicePublisher::publish(const std::string& host, unsigned short port) {
    stream_.close();
    stream_.open(hostOrAny(host), port, 1);
    listened();
}

void ServicePublisher::publish(const std::string& host, const std::string& service) {
    stream_.close();
    stream_.open(hostOrAny(host), service.c_str(), 1);
    listened();
}

void ServicePublisher::publish(const std::string& path) {
    stream_.close();
    stream_.open(path.c_str(), 1);
    listened();
}

int ServicePublisher::getDescriptor() {
    sockbuf* sb = stream_.rdbuf();
    return sb ? sb->getDescriptor() : -1;
}

sockbuf* ServicePublisher::accept() {
    sockbuf* sb = stream_.rdbuf();
    return sb ? sb->accept() : nullptr;
}
