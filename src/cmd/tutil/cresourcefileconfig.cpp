// The touch tone keys of the device server's resource file.
#include "CResourceFileConfig.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "CTouch6348Config.h"
#include "TutilPath.h"

using namespace tutilLines;

namespace {

const char kReinstall[] = "\r\nPlease install QORVEL Varnelle again!";
const char kReinstallThe[] = "\r\nPlease install the QORVEL Varnelle again!";
const char kDirectory[] = "\r\nPlease make sure this application is in the right directory!";

bool contains(const std::string& s, const char* key) { return s.find(key) != std::string::npos; }

} // namespace

CResourceFileConfig::CResourceFileConfig() : CResourceFileConfig("/var/lib/misc/ovksys.res") {}

CResourceFileConfig::CResourceFileConfig(const char* path) : m_szResFileName(path ? path : "") {
    m_szErrMsg[0] = '\0';
}

CResourceFileConfig::~CResourceFileConfig() = default;

std::string CResourceFileConfig::Path() const { return tutilPath(m_szResFileName); }

void CResourceFileConfig::Fail(const std::string& message) {
    std::snprintf(m_szErrMsg, sizeof m_szErrMsg, "%s", message.c_str());
    m_fError = RC_FAIL;
}

void CResourceFileConfig::SetTouchToneConfig(bool& entryClick, bool& exitClick, bool& disabled) {
    m_fError = RC_SUCCESS;
    m_szErrMsg[0] = '\0';
    const std::string path = Path();
    if (::access(path.c_str(), F_OK) != 0 || ::access(path.c_str(), W_OK) != 0) {
        m_fError = RC_FAIL;
        return;
    }
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f)
        return Fail("Cannot find or open resource file:\r\n" + m_szResFileName + kDirectory);

    const std::string entryLine = entryClick ? "*touchEntryClick: ON\n" : "*touchEntryClick: OFF\n";
    const std::string exitLine = exitClick ? "*touchExitClick: ON\n" : "*touchExitClick: OFF\n";
    const std::string volumeLine = disabled ? "*touchClickVolume: LOW\n" : "*touchClickVolume: HIGH\n";
    bool entryFound = false, exitFound = false, volumeFound = false;
    std::vector<std::string> lines;
    std::string line;
    while (ReadLine(f, LENGTH - 2, line)) {
        if (!IsRemark(line)) {
            const std::string n = Normalise(Cut(line));
            if (contains(n, "*TOUCHENTRYCLICK")) {
                line = entryLine;
                entryFound = true;
            } else if (contains(n, "*TOUCHEXITCLICK")) {
                line = exitLine;
                exitFound = true;
            } else if (contains(n, "*TOUCHCLICKVOLUME")) {
                line = volumeLine;
                volumeFound = true;
            }
        }
        lines.push_back(line);
        if (static_cast<int>(lines.size()) >= LINES) {
            std::fclose(f);
            return Fail("Too many lines in resource file:\r\n" + m_szResFileName + kReinstall);
        }
    }
    std::fclose(f);
    std::string content;
    for (const std::string& l : lines) content += l;
    if (!entryFound)
        content += "!Touch screen (6348) tone setting\n!Touch screen tone entry click setting\n" + entryLine;
    if (!exitFound) content += "!Touch screen tone exit click setting\n" + exitLine;
    if (!volumeFound) content += "!Touch screen tone click disabled setting\n" + volumeLine;
    // The device server's file is replaced whole or not at all.
    if (!tutilReplaceFile(path, content))
        Fail("Cannot open a new resource file:\n" + m_szResFileName + kReinstall);
}

void CResourceFileConfig::GetTouchToneConfig(bool& entryClick, bool& exitClick, bool& disabled) {
    m_fError = RC_SUCCESS;
    m_szErrMsg[0] = '\0';
    FILE* f = std::fopen(Path().c_str(), "re");
    if (!f)
        return Fail("Cannot find or open resource file!" + m_szResFileName + kDirectory);
    bool entrySeen = false, exitSeen = false;
    std::string line;
    while (ReadLine(f, LENGTH - 2, line)) {
        if (IsRemark(line)) continue;
        const std::string n = Normalise(Cut(line));
        const bool on = contains(n, "ON") && !contains(n, "OFF");
        if (contains(n, "TOUCHENTRYCLICK")) {
            if (entrySeen) {
                std::fclose(f);
                return Fail("Multiple definitions of Entry Click in resource file:\r\n" +
                            m_szResFileName + kReinstallThe);
            }
            entrySeen = true;
            entryClick = on;
        }
        if (contains(n, "TOUCHEXITCLICK")) {
            if (exitSeen) {
                std::fclose(f);
                return Fail("Mutiple definitions of Exit Click in resource file:\r\n" +
                            m_szResFileName + kReinstallThe);
            }
            exitSeen = true;
            exitClick = on;
        }
        disabled = !entryClick && !exitClick;
    }
    if (std::fclose(f) != 0)
        Fail("Cannot close resource file:\r\n" + m_szResFileName + kReinstallThe);
}
