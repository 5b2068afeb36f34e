// A program started by a test, with pipes to its standard input and output (its standard
// error goes to a file). Killed and reaped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] with the test's environment; standard error (and standard output when
    // `pipeOutput` is false) to `errorFile`. A child that ended may be started again; one
    // still running may not.
    bool Start(const std::vector<std::string>& argv, const std::string& errorFile,
               bool pipeOutput = true);
    pid_t pid() const { return pid_; }
    bool Running();

    // One line of the child's standard output (without the newline); false at its end or
    // after `timeoutMs`.
    bool ReadLine(std::string& line, int timeoutMs = 10000);
    // The rest of the child's standard output, up to its end or until `timeoutMs` pass
    // without a byte.
    std::string ReadAll(int timeoutMs = 10000);
    bool WriteLine(const std::string& line);
    void CloseInput();

    void Signal(int sig);
    // Waits for the end: the exit status, 128 + signal for a killed child, or -1 when it
    // did not end within `timeoutMs` (it is then killed).
    int Wait(int timeoutMs = 10000);

private:
    pid_t pid_ = -1;
    int status_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string pending_;
};
