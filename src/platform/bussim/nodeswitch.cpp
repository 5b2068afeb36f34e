// Driver nodes side by side behind the in-process backend seam.
#include "nodeswitch.h"

#include <cerrno>

namespace bussim {

void NodeSwitch::add(DevNodeBackend* node) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (node) nodes_.push_back(node);
}

int NodeSwitch::open(const char* path, int& fd) {
    fd = -1;
    std::vector<DevNodeBackend*> nodes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        nodes = nodes_;
    }
    for (DevNodeBackend* node : nodes) {
        int inner = -1;
        const int rc = node->open(path, inner);
        if (rc == ENOENT) continue;
        if (rc != 0) return rc;
        std::lock_guard<std::mutex> lock(mutex_);
        fd = next_++;
        routes_[fd] = Route{node, inner};
        return 0;
    }
    return ENOENT;
}

void NodeSwitch::ioctl(int fd, unsigned long request, void* record, size_t size) {
    Route route{nullptr, -1};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = routes_.find(fd);
        if (it != routes_.end()) route = it->second;
    }
    if (route.node) return route.node->ioctl(route.fd, request, record, size);
    auto* rec = static_cast<unsigned char*>(record);
    for (size_t i = 0; rec && i < 4 && i < size; ++i) rec[i] = i == 0 ? EBADF : 0;
}

int NodeSwitch::close(int fd) {
    Route route{nullptr, -1};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = routes_.find(fd);
        if (it == routes_.end()) return EBADF;
        route = it->second;
        routes_.erase(it);
    }
    return route.node->close(route.fd);
}

bool NodeSwitch::lost(int fd) {
    Route route{nullptr, -1};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = routes_.find(fd);
        if (it == routes_.end()) return true;
        route = it->second;
    }
    return route.node->lost(route.fd);
}

} // namespace bussim
