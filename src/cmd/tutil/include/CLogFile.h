// The utility log file: one text line per call, "\r\n" ended, with a 30-column time stamp
// and a 50-column function field before the message.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class CLogFile {
public:
    CLogFile() = default;
    virtual ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens (truncating) the file at the system path (under $OVK_ROOT when set).
    bool OpenLogFile(const char* path);
    void CloseLogFile();
    // One whole line; lines of two threads never mix.
    bool WriteToLogFile(std::string message, std::string function);
    bool WriteToFile(std::string piece);
    bool GetLogFileStatus() const { return m_pFile != nullptr; }

private:
    FILE* m_pFile = nullptr;
    std::mutex m_lock;
};
