// A program run in a private tmux server: a window of a given size with the status line off,
// keys sent to it, its screen captured, and its exit status read from a file.
#pragma once

#include <string>
#include <vector>

class TmuxSession {
public:
    // The server's socket, configuration and the status file live in `folder`.
    explicit TmuxSession(const std::string& folder);
    ~TmuxSession();
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    // Runs the shell command line in a window of columns x rows.
    bool Start(const std::string& command, int columns = 80, int rows = 25);
    // tmux key names ("Down", "Enter", "q").
    void SendKeys(const std::string& keys);
    // The screen, one string per row (UTF-8); with escapes for attributes when asked.
    std::vector<std::string> Screen(bool escapes = false);
    // The characters from a column on (columns count characters, not bytes).
    static std::string From(const std::string& row, int column, int count);
    // Waits until the screen shows the text; `screen` gets the last screen.
    bool WaitForText(const std::string& text, int timeoutMs, std::string* screen = nullptr);
    // The program's exit status, or -1000 when it has not ended within the time.
    int WaitForExit(int timeoutMs);
    // The whole screen as one text.
    std::string Text();

private:
    std::string Tmux(const std::string& arguments);
    std::string folder_;
    std::string socket_;
    std::string statusFile_;
    bool started_ = false;
};
