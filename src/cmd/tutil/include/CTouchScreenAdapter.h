// What one Java touch-screen utility object holds: the touch-screen facade it observes, the
// click-tone setting last read or saved, and the way back to the Java object, which gets
// every device status the screen reports.
#pragma once

#include <jni.h>

#include "CTouch6348Config.h"
#include "Observer.h"

class CTouchScreen6348;
class CTouchUtilJavaAdapter;

class CTouchScreenAdapter : public Observer {
public:
    CTouchScreenAdapter(JNIEnv* env, jobject object);
    // Ends a connection still there before the Java object goes.
    ~CTouchScreenAdapter() override;
    CTouchScreenAdapter(const CTouchScreenAdapter&) = delete;
    CTouchScreenAdapter& operator=(const CTouchScreenAdapter&) = delete;

    // Device status from the facade's monitor thread: passed on to the Java object.
    void Update() override;

    // Connects to the screen, reads its tone setting and starts the status callbacks.
    bool InitializeTouchScreen();
    // Writes the facade's tone setting into the resource file and keeps it as saved.
    bool SaveToneSetting();
    // Sets the last saved tone again (true when none was saved).
    bool RestoreClickToneSetting();
    // The tone natives: the facade's setter, then the save.
    bool SetToneDisabled();
    bool SetToneEntryClick();
    bool SetToneExitClick();
    // Stops the callbacks and ends the device use.
    void TerminateTouchConnection();

    // None after TerminateTouchConnection (or when none could be made).
    CTouchScreen6348* GetTouchScreen() const { return m_pTouchScreen; }
    bool IsToneDisabled() const { return m_fToneDisabled; }
    bool IsToneEntryClick() const { return m_fToneEntryClick; }
    bool IsToneExitClick() const { return m_fToneExitClick; }

    // A fresh configuration of the utility (the file read anew); the caller deletes it.
    static CTouch6348Config* GetTouch6348ConfPointer();
    // The resolution id of a screen size (0 for a size not in the table).
    static int GetScreenResolutionID(int width, int height);

    static const char* const m_szResFile;
    static const char* const m_szConfigFilePath;
    static const char* const m_szApplicationName;

private:
    bool SetTone(int (CTouchScreen6348::*set)(bool), const char* function);

    CTouchScreen6348* m_pTouchScreen = nullptr;
    CTouchUtilJavaAdapter* m_pJavaAdapter = nullptr;
    bool m_fToneSaved = false;
    bool m_fToneEntryClick = false;
    bool m_fToneExitClick = false;
    bool m_fToneDisabled = false;
};
