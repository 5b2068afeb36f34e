// The front of the utility log: static members only, so that any class logs without
// holding a log object. The log is on only when the utility configuration says so, and
// once closed it is not opened again in the process.
#pragma once

#include <string>

class CLogFile;

class CLogManager {
public:
    CLogManager() = default;
    ~CLogManager() = default;

    static bool RegisterLogInstance();
    // The opening call: reads the log flag from the configuration in configDirectory
    // while the log is not set up; writes its line only when it set the log up.
    static bool WriteToLogFile(const char* configDirectory, std::string message, std::string function);
    static bool WriteToLogFile(std::string message, std::string function);
    static bool CloseLogFile();

    static const char* const m_szLogFileName;
    static bool m_fHasBeenSet;
    static bool m_fLogFileFlag;
    static CLogFile* m_pLogFile;
    // A log file object has existed in this process.
    static bool m_fEverCreated;
};
