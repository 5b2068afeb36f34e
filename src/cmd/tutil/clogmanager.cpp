// The front of the utility log.
#include "CLogManager.h"

#include <mutex>

#include "CLogFile.h"
#include "CTouch6348Config.h"

namespace {
// The manager's state and its lines, one caller at a time.
std::recursive_mutex managerLock;
} // namespace

const char* const CLogManager::m_szLogFileName = "/var/log/QORVEL6348TouchUtilLog.txt";
bool CLogManager::m_fHasBeenSet = false;
bool CLogManager::m_fLogFileFlag = false;
CLogFile* CLogManager::m_pLogFile = nullptr;
bool CLogManager::m_fEverCreated = false;

bool CLogManager::RegisterLogInstance() {
    std::lock_guard<std::recursive_mutex> g(managerLock);
    // Once a log file has existed in the process, the log is not opened again.
    if (m_fHasBeenSet || m_pLogFile || m_fEverCreated) return false;
    m_fHasBeenSet = true;
    if (!m_fLogFileFlag) return false;
    m_pLogFile = new CLogFile;
    m_fEverCreated = true;
    return m_pLogFile->OpenLogFile(m_szLogFileName);
}

bool CLogManager::WriteToLogFile(const char* configDirectory, std::string message,
                                 std::string function) {
    std::lock_guard<std::recursive_mutex> g(managerLock);
    if (m_fHasBeenSet) return false;
    CTouch6348Config config(const_cast<char*>(configDirectory ? configDirectory : ""));
    m_fLogFileFlag = config.GetLogFileFlag();
    if (!m_fLogFileFlag || !RegisterLogInstance()) return false;
    return m_pLogFile->WriteToLogFile(message, function);
}

bool CLogManager::WriteToLogFile(std::string message, std::string function) {
    std::lock_guard<std::recursive_mutex> g(managerLock);
    if (!m_fHasBeenSet || !m_fLogFileFlag || !m_pLogFile) return false;
    return m_pLogFile->WriteToLogFile(message, function);
}

bool CLogManager::CloseLogFile() {
    std::lock_guard<std::recursive_mutex> g(managerLock);
    WriteToLogFile("Closing log file", "CLogManager::CloseLogFile");
    if (!m_fHasBeenSet || !m_fLogFileFlag || !m_pLogFile) return false;
    m_pLogFile->WriteToLogFile("Log file ended", "CLogManager::CloseLogFile");
    m_pLogFile->CloseLogFile();
    delete m_pLogFile;
    m_pLogFile = nullptr;
    m_fHasBeenSet = false;
    m_fLogFileFlag = false;
    return true;
}
