// A program run by a test on a pseudo-terminal, as a user at a console would run it: the
// test types keys and waits for the text the program shows.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class PtySession {
public:
    PtySession() = default;
    ~PtySession();
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    // Starts argv[0] (a path) on a new pseudo-terminal of `rows` x `columns`, with the test's
    // environment.
    bool Start(const std::vector<std::string>& argv, int rows = 24, int columns = 80);
    // Types the text (keys as bytes).
    void Type(const std::string& keys);
    // Reads the program's output until `text` appears after what earlier waits consumed
    // (true; the output up to its end is consumed) or the time is up (false).
    bool WaitFor(const std::string& text, int timeoutMs = 10000);
    // Everything the program has shown so far (for failure messages), and what is not yet
    // consumed.
    const std::string& Output() const { return output_; }
    std::string Unconsumed() const { return output_.substr(consumed_); }
    // Waits for the end: the exit status, 128 + signal, or -1 after `timeoutMs` (then killed).
    int Wait(int timeoutMs = 10000);

private:
    // Reads what is there, waiting at most `timeoutMs`; false at the end of the output.
    bool pump(int timeoutMs);

    pid_t pid_ = -1;
    int master_ = -1;
    int status_ = -1;
    std::string output_;
    size_t consumed_ = 0;
};
