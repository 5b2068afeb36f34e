// The bridge's diagnostic log: one time-stamped line per message in
// "/var/log/UPOSSysMgmt.log", written only while UPOS_SYSMGMT_LOG is set (also when empty).
#pragma once

#include <string>

class UPOSLog {
public:
    static bool CheckIfLog();
    static std::string GetFileLocation();
    static void Init();
    // The text is written as it is (it is no format); further arguments are ignored.
    static void LogMessage(char* text, ...);
    static void LogMessage(const int& value);
    // Appends "\r\n" to the caller's text, then writes it.
    static void LogMessage(std::string& text);
    static void LogMessage(const std::string& file, const std::string& text);

    // Convenience for the bridge's own lines: writes text + "\r\n".
    static void Line(const std::string& text);
};
