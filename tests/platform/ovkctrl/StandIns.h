// Stand-ins for the core behind the daemon's dispatcher: a Process whose entry points record
// their calls and answer as a test sets them, and a host that makes such processes.
#pragma once

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Process.h"
#include "ProcessHost.h"

namespace ctrltest {

struct CoreLog {
    std::vector<std::string> calls;
    // Answers.
    int initRc = 0;
    bool initThrows = false; // DLL_PosInitialize throws, as a broken core might
    int addRc = 0;
    int openRc = 0;
    int openHandle = 5;
    int ioctlRc = 0;
    int ioctlOut = 0;
    int readRc = 0;
    int readCount = -1; // -1: the whole length asked for
    int writeRc = 0;
    int closeRc = 0;
    // What the core saw.
    std::vector<uint8_t> readBuffer;  // the buffer as it reached DLL_PosRead
    std::vector<uint8_t> written;
    unsigned char ranges[32] = {};
    unsigned short codePage = 0;
    int processes = 0; // alive

    bool has(const std::string& call) const {
        for (const std::string& c : calls)
            if (c == call) return true;
        return false;
    }
};

class StandInProcess : public Process {
public:
    StandInProcess(int processId, CoreLog& log) : Process(processId, 32, "STANDIN"), log_(log) {
        ++log_.processes;
    }
    ~StandInProcess() override {
        --log_.processes;
        log_.calls.push_back("delete " + std::to_string(GetProcessId()));
    }

    int InitializeEnvironment(unsigned char* ranges, unsigned short codePage, unsigned short,
                              unsigned long, unsigned long clientId) override {
        std::memcpy(log_.ranges, ranges, sizeof log_.ranges);
        log_.codePage = codePage;
        log_.calls.push_back("environment " + std::to_string(clientId));
        return 0;
    }
    int DLL_PosInitialize(ServiceConnection*, const unsigned char* app, const unsigned char* res,
                          PosArg*, int count) override {
        log_.calls.push_back(std::string("initialize ") + reinterpret_cast<const char*>(app) + " " +
                             reinterpret_cast<const char*>(res) + " " + std::to_string(count));
        if (log_.initThrows) throw std::runtime_error("initialise broke off");
        if (done_) return 304;
        if (log_.initRc == 0) done_ = true;
        return log_.initRc;
    }
    int DLL_PosOpen(_AppMessage*, const unsigned char* name, const unsigned char* cls, PosArg*,
                    int, int* handle) override {
        log_.calls.push_back(std::string("open ") + reinterpret_cast<const char*>(name) + " " +
                             reinterpret_cast<const char*>(cls));
        *handle = log_.openHandle;
        return log_.openRc;
    }
    int DLL_PosIOCtl(_AppMessage*, int handle, int request, PosArg* args, int count,
                     int* out) override {
        log_.calls.push_back("ioctl " + std::to_string(handle) + " " + std::to_string(request));
        // Fill the values the way the core does: integers in place, strings into the buffer
        // each value points to.
        for (int i = 0; i < count && request == 302; ++i) {
            if (!args[i].name) continue;
            if (std::strcmp(args[i].name, "deviceName") == 0)
                std::strcpy(reinterpret_cast<char*>(args[i].value), "core");
            else
                args[i].value = 100 + i;
        }
        *out = log_.ioctlOut;
        return log_.ioctlRc;
    }
    int DLL_PosRead(_AppMessage*, int handle, void* buffer, unsigned int length,
                    int* count) override {
        log_.calls.push_back("read " + std::to_string(handle) + " " + std::to_string(length));
        auto* p = static_cast<uint8_t*>(buffer);
        log_.readBuffer.assign(p, p + length);
        for (unsigned int i = 0; i < length; ++i) p[i] = static_cast<uint8_t>(0xA0 + i);
        *count = log_.readCount < 0 ? static_cast<int>(length) : log_.readCount;
        return log_.readRc;
    }
    int DLL_PosWrite(_AppMessage*, int handle, const void* buffer, unsigned int length,
                     int* count) override {
        log_.calls.push_back("write " + std::to_string(handle) + " " + std::to_string(length));
        const auto* p = static_cast<const uint8_t*>(buffer);
        log_.written.assign(p, p + length);
        *count = static_cast<int>(length);
        return log_.writeRc;
    }
    int DLL_PosClose(_AppMessage*, int handle) override {
        log_.calls.push_back("close " + std::to_string(handle));
        return log_.closeRc;
    }

private:
    CoreLog& log_;
    bool done_ = false;
};

class StandInHost : public ProcessHost {
public:
    explicit StandInHost(CoreLog& log) : log_(log) {}
    Process* NewProcess(int processId) override {
        log_.calls.push_back("new " + std::to_string(processId));
        return new StandInProcess(processId, log_);
    }
    int AddProcess(Process* p) override {
        log_.calls.push_back("add " + std::to_string(p->GetProcessId()));
        return log_.addRc;
    }
    int RemoveProcess(int processId) override {
        log_.calls.push_back("remove " + std::to_string(processId));
        return 0;
    }

private:
    CoreLog& log_;
};

} // namespace ctrltest
