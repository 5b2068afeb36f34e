// One connection to a simulator's control socket (ovksim, ovkscansim): a command line out,
// its reply line back.
#pragma once

#include <string>

class SimControl {
public:
    explicit SimControl(const std::string& path);
    ~SimControl();
    SimControl(const SimControl&) = delete;
    SimControl& operator=(const SimControl&) = delete;

    bool connected() const { return fd_ >= 0; }
    // The reply ("" when none came within 5 s).
    std::string Run(const std::string& command);

private:
    int fd_ = -1;
};
