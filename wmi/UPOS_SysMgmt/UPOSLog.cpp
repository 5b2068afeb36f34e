#include "UPOSLog.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "BridgePath.h"

bool UPOSLog::CheckIfLog() { return std::getenv("UPOS_SYSMGMT_LOG") != nullptr; }

std::string UPOSLog::GetFileLocation() { return bridgePath("/var/log/UPOSSysMgmt.log"); }

void UPOSLog::Init() {}

void UPOSLog::LogMessage(char* text, ...) {
    if (!CheckIfLog()) return;
    LogMessage(GetFileLocation(), std::string(text ? text : "") + "\r\n");
}

void UPOSLog::LogMessage(const int& value) {
    if (!CheckIfLog()) return;
    LogMessage(GetFileLocation(), std::to_string(value) + "\r\n");
}

void UPOSLog::LogMessage(std::string& text) {
    text += "\r\n";
    LogMessage(GetFileLocation(), text);
}

void UPOSLog::Line(const std::string& text) {
    if (!CheckIfLog()) return;
    LogMessage(GetFileLocation(), text + "\r\n");
}

void UPOSLog::LogMessage(const std::string& file, const std::string& text) {
    if (!CheckIfLog()) return;
    std::FILE* f = std::fopen(file.c_str(), "ab+e");
    if (!f) return;
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::fprintf(f, "%02d/%02d/%04d %02d:%02d:%02d ", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900,
                 tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}
