// A private OVK_ROOT for one test: a fresh directory tree with the system's fixed
// folders, exported in the environment while the object lives and removed afterwards.
#pragma once
#include <string>

class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::string& path() const { return root_; }
    // Absolute path of a system path (such as "/etc/ovksys.conf") inside this root.
    std::string at(const std::string& systemPath) const { return root_ + systemPath; }
    // Writes a file inside the root, creating its folders.
    void write(const std::string& systemPath, const std::string& contents) const;
    // Reads a file inside the root ("" when missing).
    std::string read(const std::string& systemPath) const;
    // The raw-access query port of this root: "/etc/services" names a port whose next
    // ports were free as well when the root was made, so that parallel tests do not meet.
    int queryPort() const { return queryPort_; }

private:
    std::string root_;
    int queryPort_ = 0;
    std::string previous_;
    bool hadPrevious_ = false;
};
