// The utility configuration file "ovktutil.conf": how the touch screen is connected, the
// screen resolution last calibrated for, whether it is calibrated, whether to remind the
// user, and whether the utility log is on. Read whole at construction; each setter rewrites
// the file. A missing or faulty file is replaced by the five default lines.
#pragma once

#include <string>
#include <vector>

class CTouch6348Config {
public:
    enum { RC_SUCCESS = 0, RC_FAIL = 1 };
    enum { RS485 = 0, USB = 1, RS232 = 2 };
    enum {
        SCR_RES_UNKNOWN = 0,
        SCR_RES_640_480 = 1,
        SCR_RES_800_600 = 2,
        SCR_RES_1024_768 = 3,
        SCR_RES_1152_864 = 4,
        SCR_RES_1280_1024 = 5,
        SCR_RES_1400_1050 = 6,
        SCR_RES_1600_1200 = 7,
    };
    enum { MAX_FILENAME = 276, MAX_ERRMSG_LENGTH = 400, LINES = 100, LENGTH = 110 };

    explicit CTouch6348Config(const char* directory);
    virtual ~CTouch6348Config();

    int GetConnectionType() const { return m_nConnectionType; }
    int GetScreenResolution() const { return m_nScreenResolution; }
    bool GetCalibrated() const { return m_fCalibrated; }
    bool GetRemindCalibrate() const { return m_fRemindCalibrate; }
    bool GetLogFileFlag() const { return m_fLogFile; }

    void SetCalibrated(bool calibrated);
    void SetRemindCalibrate(bool remind);
    void SetScreenResolution(int id);
    void SetConnectionType() {}
    // Writes the default file; the members stay as they are.
    void SetToDefaultSetting();

    const char* GetFileName() const { return m_szFileName; }
    // The text of the last file error ("" when none).
    const char* GetErrorMessage() const { return m_szErrMsg; }

    static const char* const m_szDefaultFileName;
    static const char m_chRemark = '!';

private:
    void ReadFile();
    // Replaces every line whose key matches by `line`; appends it when none did and
    // `append` is set. Messages per situation: missing file, too many lines, reopening.
    void Rewrite(const char* key, const std::string& line, bool append, const char* missing,
                 const char* tooMany, const char* reopen);
    void Fail(const char* message);
    std::string Path() const;

    char m_szFileName[MAX_FILENAME];
    char m_szErrMsg[MAX_ERRMSG_LENGTH];
    int m_nConnectionType = RS485;
    int m_nScreenResolution = SCR_RES_UNKNOWN;
    bool m_fCalibrated = false;
    bool m_fRemindCalibrate = true;
    bool m_fLogFile = false;
};

// The line rules of the utility's text files: a line starting with "!" is a remark; other
// lines are cut at their first "!"; keys are matched in a copy without blanks in capitals.
namespace tutilLines {
bool IsRemark(const std::string& line);
std::string Cut(const std::string& line);
std::string Normalise(const std::string& line);
// Reads one line of at most `max` characters (the line end included when it fits); false at
// the end of the file.
bool ReadLine(FILE* f, int max, std::string& line);
} // namespace tutilLines
