// The console program's command line: one option ("-c", "-r", "-t:<tone>", "-h") or none
// (the menu).
#pragma once

class CCommandLineProcessor {
public:
    enum {
        MISSING_ARGUMENT = -2,
        COMMAND_NOT_RECOGNIZED = -1,
        COMMAND_SUCCESS = 0,
        CALIBRATE_TOUCHSCREEN = 1,
        RESET_TOUCHSCREEN = 2,
        DISABLE_TONE = 3,
        ENABLE_TOUCHDOWN_TONE = 4,
        ENABLE_LIFTOFF_TONE = 5,
        SHOW_MENU = 6,
    };
    enum { MAX_CMD_LENGHT = 50 };

    CCommandLineProcessor();
    virtual ~CCommandLineProcessor() = default;

    int ProcessCmdLine(int argc, char* argv[]);
    // The result code and the usage, on standard output.
    void DisplayUsage(int rc) const;
    static void OutputTextToScreen(const char* text);

private:
    char m_szProgramName[MAX_CMD_LENGHT];
};
