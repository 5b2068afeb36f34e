// The utility log file.
#include "CLogFile.h"

#include <unistd.h>

#include <ctime>

#include "TutilPath.h"

namespace {
constexpr size_t kStampColumns = 30;
constexpr size_t kFunctionColumns = 50;
} // namespace

CLogFile::~CLogFile() { CloseLogFile(); }

bool CLogFile::OpenLogFile(const char* path) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_pFile || !path) return false;
    m_pFile = std::fopen(tutilPath(path).c_str(), "we");
    return m_pFile != nullptr;
}

void CLogFile::CloseLogFile() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_pFile) std::fclose(m_pFile);
    m_pFile = nullptr;
}

bool CLogFile::WriteToFile(std::string piece) {
    if (!m_pFile) return false;
    return std::fwrite(piece.data(), 1, piece.size(), m_pFile) == piece.size();
}

bool CLogFile::WriteToLogFile(std::string message, std::string function) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d-%d-%d %d:%d:%d %d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(getpid()));
    std::string field(stamp);
    const std::string stampPad(field.size() < kStampColumns ? kStampColumns - field.size() : 0, ' ');
    const std::string functionPad(
        function.size() < kFunctionColumns ? kFunctionColumns - function.size() : 0, ' ');

    // The whole line under one lock: lines of two threads never mix.
    std::lock_guard<std::mutex> g(m_lock);
    bool ok = WriteToFile(field);
    if (ok) ok = WriteToFile(stampPad + function);
    if (ok) ok = WriteToFile(functionPad + message);
    if (ok) ok = WriteToFile("\r\n");
    return ok;
}
