// The options of the scanner set-up program, read from its command line.
#pragma once

class ConfigObject {
public:
    // Examines the arguments from the last to the first; the first error is thrown as a
    // ZelException.
    ConfigObject(int argc, char** argv);

    int getRequestedPortNumber() const { return port_; }
    long getRequestedBaudrate() const { return baud_; }
    bool baudRateRequested() const { return baudRequested_; }
    bool isLeaveLaserOffSet() const { return laserOff_; }
    bool isSmartRasterModeSet() const { return smartRaster_; }
    bool isLeaveCurrentSettingsSet() const { return leaveCurrent_; }
    bool isTryToDetectOmniSet() const { return omni_; }
    bool isTryToDetectLineSet() const { return line_; }
    bool isRequestedFirmwareSet() const { return firmware_; }
    bool isDebugModeSet() const { return debug_; }
    void setRequestedBaudrate(long baud) { baud_ = baud; baudRequested_ = true; }
    void setTryToDetectOmni(bool on) { omni_ = on; }
    void setTryToDetectLine(bool on) { line_ = on; }
    void setRequestedFirmware(bool on) { firmware_ = on; }

    static void printHelp();

private:
    int port_ = 4;
    bool portSet_ = false;
    long baud_ = 0;
    bool baudRequested_ = false;
    bool laserOff_ = false, smartRaster_ = false, leaveCurrent_ = false;
    bool omni_ = true, line_ = true, firmware_ = true, debug_ = false;
};
