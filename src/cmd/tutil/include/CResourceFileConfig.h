// The touch tone keys of the device server's resource file (/var/lib/misc/ovksys.res):
// written whenever the user changes the click tone, so that the device server sets the
// screen up with it after a restart.
#pragma once

#include <string>

class CResourceFileConfig {
public:
    enum { RC_SUCCESS = 0, RC_FAIL = 1 };
    enum { MAX_ERRMSG_LENGTH = 400, LINES = 300, LENGTH = 81 };

    CResourceFileConfig();
    explicit CResourceFileConfig(const char* path);
    virtual ~CResourceFileConfig();

    // Rewrites the entry-click, exit-click and click-volume lines (appending those that are
    // missing); m_fError tells the outcome.
    void SetTouchToneConfig(bool& entryClick, bool& exitClick, bool& disabled);
    // Reads the two click keys; disabled is true when neither click is on.
    void GetTouchToneConfig(bool& entryClick, bool& exitClick, bool& disabled);

    int GetError() const { return m_fError; }
    const char* GetErrorMessage() const { return m_szErrMsg; }

private:
    void Fail(const std::string& message);
    std::string Path() const;

    std::string m_szResFileName;
    char m_szErrMsg[MAX_ERRMSG_LENGTH];
    int m_fError = RC_SUCCESS;
};

// Carries no state.
class CScreenResolution {
public:
    CScreenResolution() = default;
    virtual ~CScreenResolution() = default;
};
