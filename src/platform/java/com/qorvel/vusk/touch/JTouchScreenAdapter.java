package com.qorvel.vusk.touch;

/** The touch-screen utility's adapter, implemented by libovktutil (the program loads it:
 *  System.loadLibrary("ovktutil")). Every native but InitializeTouch takes the handle that
 *  InitializeTouch returned. The library calls SetTouchStatus with each device status. */
public class JTouchScreenAdapter {
    public native long InitializeTouch();
    public native boolean InitializeTouchScreen(long handle);
    public native boolean SwitchToNative(long handle);
    public native boolean SwitchToEmulation(long handle);
    public native boolean SendCalibrateCommandCX(long handle);
    public native boolean RestoreDefaults(long handle);
    public native boolean CloseDevice(long handle);
    public native boolean SetToneDisabled(long handle);
    public native boolean SetToneEntryClick(long handle);
    public native boolean SetToneExitClick(long handle);
    public native boolean GetToneDisabled(long handle);
    public native boolean GetToneEntryClick(long handle);
    public native boolean GetToneExitClick(long handle);
    public native boolean RestoreClickToneSetting(long handle);
    public native boolean IsNativeMode(long handle);
    public native void TerminateTouchConnection(long handle);
    public native void KillTouch(long handle);
    public native boolean IsCalibrated(long handle);
    public native boolean SetCalibrated(long handle, boolean calibrated);
    public native boolean IsToRemindCalibrate(long handle);
    public native boolean SetRemindCalibrate(long handle, boolean remind);
    public native int GetScreenResolutionID(long handle, int width, int height);
    public native int GetSavedScreenResolutionID(long handle);
    public native boolean SetCurrentScreenResolution(long handle, int width, int height);

    /** A device status (1 native, 2 emulation, 3 restored, 4 calibrating, 5 point taken,
     *  6 point failed). */
    public void SetTouchStatus(int status) {
    }
}
