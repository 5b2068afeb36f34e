// Several driver nodes behind the one in-process backend seam: each open goes to the first
// node that knows the path, and the descriptor it gives out leads back to that node.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <vector>

#include "sydevnode.h"

namespace bussim {

class NodeSwitch : public DevNodeBackend {
public:
    // Adds a node (not owned); nodes are asked in the order they were added.
    void add(DevNodeBackend* node);

    // ENOENT when no node knows the path; else the first node's answer.
    int open(const char* path, int& fd) override;
    // A descriptor this switch did not give out gets EBADF in the result word.
    void ioctl(int fd, unsigned long request, void* record, size_t size) override;
    int close(int fd) override;
    // A descriptor this switch did not give out counts as lost.
    bool lost(int fd) override;

private:
    struct Route {
        DevNodeBackend* node;
        int fd;
    };
    std::mutex mutex_;
    std::vector<DevNodeBackend*> nodes_;
    std::map<int, Route> routes_;
    int next_ = 3000;
};

} // namespace bussim
