#include "TmuxSession.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

TmuxSession::TmuxSession(const std::string& folder)
    : folder_(folder), statusFile_(folder + "/status") {
    // A server of its own for each session: a server still ending on a shared socket would
    // refuse the next session.
    static int sessions = 0;
    socket_ = folder + "/tmux" + std::to_string(++sessions) + ".sock";
}

TmuxSession::~TmuxSession() {
    if (started_) Tmux("kill-server");
}

std::string TmuxSession::Tmux(const std::string& arguments) {
    const std::string command = "tmux -S '" + socket_ + "' " + arguments + " 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t got;
        while ((got = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, got);
        pclose(p);
    }
    return out;
}

bool TmuxSession::Start(const std::string& command, int columns, int rows) {
    std::remove(statusFile_.c_str());
    std::ofstream(folder_ + "/tmux.conf")
        << "set -g status off\nset -g default-terminal screen\n"
        << "set -g default-size " << columns << "x" << rows << "\n";
    // The pane stays alive after the program: a pane that ends can lose its first lines.
    const std::string line = command + "; echo $? > '" + statusFile_ + "'; exec sleep 600";
    std::string quoted;
    for (char c : line) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    Tmux("-f '" + folder_ + "/tmux.conf' new-session -d -s ovk -x " + std::to_string(columns) +
         " -y " + std::to_string(rows) + " '" + quoted + "'");
    started_ = true;
    return Tmux("has-session -t ovk").empty();
}

void TmuxSession::SendKeys(const std::string& keys) { Tmux("send-keys -t ovk " + keys); }

std::vector<std::string> TmuxSession::Screen(bool escapes) {
    std::istringstream in(Tmux(std::string("capture-pane -p -J ") + (escapes ? "-e " : "") + "-t ovk"));
    std::vector<std::string> rows;
    std::string row;
    while (std::getline(in, row)) rows.push_back(row);
    return rows;
}

std::string TmuxSession::Text() {
    std::string text;
    for (const std::string& row : Screen()) text += row + "\n";
    return text;
}

std::string TmuxSession::From(const std::string& row, int column, int count) {
    // Walks UTF-8 characters.
    size_t at = 0;
    auto next = [&](size_t i) {
        size_t j = i + 1;
        while (j < row.size() && (static_cast<unsigned char>(row[j]) & 0xC0) == 0x80) ++j;
        return j;
    };
    for (int c = 0; c < column && at < row.size(); ++c) at = next(at);
    size_t end = at;
    for (int c = 0; c < count && end < row.size(); ++c) end = next(end);
    return row.substr(at, end - at);
}

bool TmuxSession::WaitForText(const std::string& text, int timeoutMs, std::string* screen) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::string now = Text();
        if (screen) *screen = now;
        if (now.find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int TmuxSession::WaitForExit(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::ifstream in(statusFile_);
        int status;
        if (in >> status) return status;
        if (std::chrono::steady_clock::now() >= end) return -1000;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
