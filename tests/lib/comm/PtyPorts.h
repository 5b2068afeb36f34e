// Serial and parallel ports for tests: pseudo-terminals linked as prefix + N in a short
// private directory ("/tmp/qcXXXXXX/p"), the test keeping each master side.
#pragma once

#include <string>
#include <vector>

class PtyPorts {
public:
    PtyPorts();
    ~PtyPorts();
    PtyPorts(const PtyPorts&) = delete;
    PtyPorts& operator=(const PtyPorts&) = delete;

    const std::string& prefix() const { return prefix_; }
    // Makes node prefix + n; returns its path.
    std::string add(int n);
    int master(int n) const;

private:
    std::string dir_;
    std::string prefix_;
    std::vector<std::pair<int, int>> masters_;  // node number, master descriptor
    std::vector<std::string> links_;
};

// Enters a private IPC namespace once for the process; false where that is not allowed.
bool privateIpc();
