// The utility configuration file.
#include "CTouch6348Config.h"

#include <cstdio>
#include <cstring>

#include "TutilPath.h"

using namespace tutilLines;

namespace {

const char kRestored[] = "\r\nThe default setting is restored!";
const char kDefaultLines[] =
    "ConnectionType = RS485\n"
    "!ConnectionType = RS232\n"
    "!ConnectionType = USB\n"
    "Calibrated = 0 ! 1=True 0=False\n"
    "RemindCalibrate = 1 ! 1=True 0=False\n";

bool contains(const std::string& s, const char* key) { return s.find(key) != std::string::npos; }

// Every character after the first "=" (the value of a numeric key).
std::string valueOf(const std::string& normalised) {
    const size_t eq = normalised.find('=');
    return eq == std::string::npos ? std::string() : normalised.substr(eq + 1);
}

} // namespace

const char* const CTouch6348Config::m_szDefaultFileName = "ovktutil.conf";

CTouch6348Config::CTouch6348Config(const char* directory) {
    m_szErrMsg[0] = '\0';
    std::snprintf(m_szFileName, sizeof m_szFileName, "/%s/%s", directory ? directory : "",
                  m_szDefaultFileName);
    ReadFile();
}

CTouch6348Config::~CTouch6348Config() = default;

std::string CTouch6348Config::Path() const { return tutilPath(m_szFileName); }

void CTouch6348Config::Fail(const char* message) {
    std::snprintf(m_szErrMsg, sizeof m_szErrMsg, "%s%s%s", message, m_szFileName, kRestored);
    SetToDefaultSetting();
}

void CTouch6348Config::SetToDefaultSetting() {
    if (!tutilReplaceFile(Path(), kDefaultLines))
        std::snprintf(m_szErrMsg, sizeof m_szErrMsg, "%s%s", "Error doing default settings:",
                      "Cannot create configuration file!");
}

void CTouch6348Config::ReadFile() {
    FILE* f = std::fopen(Path().c_str(), "re");
    if (!f) {
        SetToDefaultSetting();
        return;
    }
    bool seen[5] = {};
    const char* error = nullptr;
    std::string line;
    while (!error && ReadLine(f, LENGTH - 2, line)) {
        if (IsRemark(line)) continue;
        const std::string n = Normalise(Cut(line));
        if (contains(n, "CONNECTIONTYPE")) {
            if (seen[0]) {
                error = "Multiple definitions of ConnectionType in configuration file:\r\n";
                break;
            }
            seen[0] = true;
            const bool r485 = contains(n, "RS485"), r232 = contains(n, "RS232"), usb = contains(n, "USB");
            if (r485 && !r232 && !usb) m_nConnectionType = RS485;
            else if (r232 && !r485 && !usb) m_nConnectionType = RS232;
            else if (usb && !r485 && !r232) m_nConnectionType = USB;
        }
        struct Numeric {
            const char* key;
            int index;
            char highest;
            const char* twice;
            const char* wrong;
        };
        static const Numeric kNumeric[] = {
            {"SCREENRESOLUTION", 1, '7', "Mutiple definitions of screen resolution in configuration file:\r\n",
             "Wrong definition in configuration file:\r\n"},
            {"CALIBRATED", 2, '1', "Mutiple definitions of Calibrated in configuration file:\r\n",
             "Wrong definition in configuration file:\r\n"},
            {"REMINDCALIBRATE", 3, '1', "Multiple definitions of RemmindCalibrate in file:\r\n",
             " Wrong definition in configuration file:\r\n"},
            {"LOGFILE", 4, '1', "Multiple definitions of LogFile in file:\r\n",
             " Wrong definition in configuration file:\r\n"},
        };
        for (const Numeric& k : kNumeric) {
            if (!contains(n, k.key)) continue;
            if (seen[k.index]) {
                error = k.twice;
                break;
            }
            seen[k.index] = true;
            const std::string v = valueOf(n);
            if (v.empty()) {
                error = "Wrong definition in configuration file!\r\n";
                break;
            }
            long number = 0;
            for (char c : v) {
                if (c < '0' || c > k.highest) {
                    error = k.wrong;
                    break;
                }
                if (number < 100000000) number = number * 10 + (c - '0');
            }
            if (error) break;
            switch (k.index) {
            case 1: m_nScreenResolution = static_cast<int>(number); break;
            case 2: m_fCalibrated = number != 0; break;
            case 3: m_fRemindCalibrate = number != 0; break;
            default: m_fLogFile = number != 0; break;
            }
        }
    }
    const bool closed = std::fclose(f) == 0;
    if (!error && !closed) error = "Cannot close configuration file:\r\n";
    if (error) Fail(error);
}

void CTouch6348Config::Rewrite(const char* key, const std::string& newLine, bool append,
                               const char* missing, const char* tooMany, const char* reopen) {
    FILE* f = std::fopen(Path().c_str(), "re");
    if (!f) return Fail(missing);
    std::vector<std::string> lines;
    bool matched = false;
    std::string line;
    while (ReadLine(f, LENGTH - 2, line)) {
        if (!IsRemark(line) && contains(Normalise(Cut(line)), key)) {
            line = newLine;
            matched = true;
        }
        lines.push_back(line);
        if (static_cast<int>(lines.size()) >= LINES) {
            std::fclose(f);
            return Fail(tooMany);
        }
    }
    std::fclose(f);
    if (append && !matched) lines.push_back(newLine);
    std::string content;
    for (const std::string& l : lines) content += l;
    // Written beside the file and renamed over it: a failure leaves the old file whole.
    if (!tutilReplaceFile(Path(), content)) Fail(reopen);
}

void CTouch6348Config::SetCalibrated(bool calibrated) {
    m_fCalibrated = calibrated;
    Rewrite("CALIBRATED", calibrated ? "Calibrated = 1 ! 1=True 0=False\n" : "Calibrated = 0 ! 1=True 0=False\n",
            false, "Cannot find or open configuration file.\r\n",
            "Too many lines in configuration file.\r\n", "Cannot open a new configuration file.\r\n");
}

void CTouch6348Config::SetRemindCalibrate(bool remind) {
    m_fRemindCalibrate = remind;
    Rewrite("REMINDCALIBRATE",
            remind ? "RemindCalibrate = 1 ! 1=True 0=False\n" : "RemindCalibrate = 0 ! 1=True 0=False\n",
            false, "Cannot find or open configuration file:\r\n",
            "Too many lines in configuration file:\r\n", "Cannot open a new configuration file:\r\n");
}

void CTouch6348Config::SetScreenResolution(int id) {
    m_nScreenResolution = id;
    char line[LENGTH + 40];
    std::snprintf(line, sizeof line,
                  "ScreenResolution = %d ! 0=? 1=640x480 2=800x600 3=1024x768 4=1152x864 "
                  "5=1280x1024 6=1400x1050 7=1600x1200\n",
                  id);
    Rewrite("SCREENRESOLUTION", line, true, "Cannot find or open configuration file:\r\n",
            "Too many lines in configuration file:\r\n", "Cannot open a new configuration file:\r\n");
}
