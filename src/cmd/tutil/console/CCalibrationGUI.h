// The calibration screens: a 25 x 80 window with a centre text, a boxed instruction and the
// target the user touches.
#pragma once

#include <curses.h>

#include <string>

class CCalibrationGUI {
public:
    enum { MIN_ROW = 0, MIN_COLUMN = 0 };
    enum { STATIC_EFFECT = 0, BLINK_EFFECT = 1 };
    enum { COLOR_MODE_OFF = 0, COLOR_MODE_ON = 1 };
    enum {
        ERR_FIRST_POINT = 0,
        ERR_SECOND_POINT = 1,
        ERR_SWITCH_NATIVE = 2,
        ERR_SWITCH_EMULATION = 3,
        ERR_UNKNOWN = 4,
        ERR_CALIBRATE_CMD = 5,
        ERR_TIME_OUT = 6,
        ERR_RESTORE_TONE = 7,
    };
    // Percent of the window width that texts take.
    enum { TEXT_WIDTH_PERCENT = 70 };

    CCalibrationGUI();
    virtual ~CCalibrationGUI();
    CCalibrationGUI(const CCalibrationGUI&) = delete;
    CCalibrationGUI& operator=(const CCalibrationGUI&) = delete;

    void DestroyCalibrationGUI();
    void ShowInitCalibrateScreen();
    void ShowFirstCalibratePt();
    void ShowFirstCalibratePtComplete();
    void ShowSecondCalibratePt();
    void ShowSecondCalibratePtComplete();
    void ShowCalibrateComplete();
    void ShowCalibrateErrScreen(int code);
    void ShowCalibrateExit();

    void DrawTarget(WINDOW* win, int row, int column, int effect = STATIC_EFFECT);
    void DrawTextBox(int row, int column, int width, int height);
    void PrintStringToMidScreen(WINDOW* win, const char* const* texts, int count);
    void PrintInstructionToScreen(WINDOW* win, const char* const* texts, int count);
    static int ComputeNumOfLines(const std::string& text, int width);
    int SwitchOnColor(WINDOW* win, short foreground, short background);
    void SwitchOffColor(WINDOW* win, int pair);

    // Where the target's centre falls in a window of rows x columns for the point (row,
    // column); false when it would leave the window.
    static bool TargetCentre(int rows, int columns, int row, int column, int& centreRow,
                             int& centreColumn);
    // The error screen's text for a code.
    static const char* ErrorText(int code);

    int FirstPointRow() const { return m_nRows * 7 / 8; }
    int FirstPointColumn() const { return m_nCols / 8; }
    int SecondPointRow() const { return m_nRows / 8; }
    int SecondPointColumn() const { return m_nCols * 7 / 8; }

private:
    int TextWidth() const { return m_nCols * TEXT_WIDTH_PERCENT / 100; }
    // Prints the texts in centred lines from `row`; blanks each line's span first.
    void PrintLines(WINDOW* win, const char* const* texts, int count, int row);
    void Finish();
    void WaitForKey();

    WINDOW* m_pWindow = nullptr;
    int m_nRows = 25;
    int m_nCols = 80;
    int m_nNextColorPair = 1;
    bool m_fColorOn = false;
    int m_nColorPair = 0;
};
