// The calibration screens.
#include "CCalibrationGUI.h"

#include <algorithm>
#include <vector>

#include "ConsoleShutdown.h"

namespace {

const int KEY_SLICE_MS = 200;

// The pieces a text is printed in: each ends at the last blank within the width (or at the
// width), the next starts after that blank.
std::vector<std::string> Pieces(const std::string& text, int width) {
    std::vector<std::string> out;
    std::string rest = text;
    const size_t w = static_cast<size_t>(std::max(width, 1));
    while (rest.size() > w) {
        const size_t blank = rest.rfind(' ', w - 1);
        if (blank == std::string::npos || blank == 0) {
            out.push_back(rest.substr(0, w));
            rest.erase(0, w);
        } else {
            out.push_back(rest.substr(0, blank));
            rest.erase(0, blank + 1);
        }
    }
    out.push_back(rest);
    return out;
}

const char* const kInit[] = {"System is configuring environment to start calibration"};
const char* const kInitInstruction[] = {
    "Please do NOT touch the screen until the calibration point appear"};
const char* const kFirstInstruction[] = {
    "Please touch the center of the calibration point at the lower left corner of the screen ONCE"};
const char* const kFirstDone[] = {"Congratulation! The first touch point configured successfully"};
const char* const kFirstDoneInstruction[] = {
    "Please do NOT touch the screen until the second calibration point appear"};
const char* const kSecondInstruction[] = {
    "Please touch the center of the calibration point at the upper right corner of the screen ONCE"};
const char* const kSecondDone[] = {"Congratulation! The second touch point configured successfully"};
const char* const kComplete[] = {"Touch calibration performed successfully"};
const char* const kFailed[] = {"Touch screen calibration failed."};
const char* const kHitKey[] = {"Please hit any key to exit touch calibration utility"};

} // namespace

CCalibrationGUI::CCalibrationGUI() {
    m_pWindow = newwin(m_nRows, m_nCols, MIN_ROW, MIN_COLUMN);
    curs_set(0);
}

CCalibrationGUI::~CCalibrationGUI() { DestroyCalibrationGUI(); }

void CCalibrationGUI::DestroyCalibrationGUI() {
    if (!m_pWindow) return;
    wclear(m_pWindow);
    wrefresh(m_pWindow);
    delwin(m_pWindow);
    m_pWindow = nullptr;
}

int CCalibrationGUI::ComputeNumOfLines(const std::string& text, int width) {
    const int length = static_cast<int>(text.size());
    if (width <= 0 || length <= width) return 1;
    int cut = width;
    for (int i = width - 1; i > 0; --i) {
        if (text[static_cast<size_t>(i)] == ' ') {
            cut = i;
            break;
        }
    }
    // The remainder, from the cut on, one character shorter than the rest.
    const int remainder = length - cut - 1;
    if (remainder <= 0) return 1;
    return 1 + ComputeNumOfLines(text.substr(static_cast<size_t>(cut), static_cast<size_t>(remainder)), width);
}

void CCalibrationGUI::PrintLines(WINDOW* win, const char* const* texts, int count, int row) {
    int columns = getmaxx(win);
    const int width = TextWidth();
    const int spanStart = (columns - width) / 2;
    for (int t = 0; t < count; ++t) {
        for (const std::string& line : Pieces(texts[t], width)) {
            mvwhline(win, row, spanStart, ' ', width);
            mvwprintw(win, row, (columns - static_cast<int>(line.size())) / 2, "%s", line.c_str());
            ++row;
        }
    }
}

void CCalibrationGUI::PrintStringToMidScreen(WINDOW* win, const char* const* texts, int count) {
    int lines = 0;
    for (int t = 0; t < count; ++t) lines += ComputeNumOfLines(texts[t], TextWidth());
    PrintLines(win, texts, count, getmaxy(win) / 2 - lines / 2 - 1);
}

void CCalibrationGUI::PrintInstructionToScreen(WINDOW* win, const char* const* texts, int count) {
    int lines = 0;
    for (int t = 0; t < count; ++t) lines += ComputeNumOfLines(texts[t], TextWidth());
    const int first = getmaxy(win) / 2 - lines / 2 + 3;
    DrawTextBox(first - 1, (getmaxx(win) - TextWidth()) / 2 - 2, TextWidth() + 2, lines + 1);
    PrintLines(win, texts, count, first);
}

void CCalibrationGUI::DrawTextBox(int row, int column, int width, int height) {
    mvwaddch(m_pWindow, row, column, ACS_ULCORNER);
    mvwhline(m_pWindow, row, column + 1, ACS_HLINE, width - 1);
    mvwaddch(m_pWindow, row, column + width, ACS_URCORNER);
    mvwvline(m_pWindow, row + 1, column, ACS_VLINE, height - 1);
    mvwvline(m_pWindow, row + 1, column + width, ACS_VLINE, height - 1);
    mvwaddch(m_pWindow, row + height, column, ACS_LLCORNER);
    mvwhline(m_pWindow, row + height, column + 1, ACS_HLINE, width - 1);
    mvwaddch(m_pWindow, row + height, column + width, ACS_LRCORNER);
}

int CCalibrationGUI::SwitchOnColor(WINDOW* win, short foreground, short background) {
    const int pair = m_nNextColorPair++;
    if (pair != 1 || !has_colors()) return 0;
    start_color();
    init_pair(static_cast<short>(pair), foreground, background);
    wattron(win, COLOR_PAIR(pair));
    m_fColorOn = true;
    return pair;
}

void CCalibrationGUI::SwitchOffColor(WINDOW* win, int pair) {
    if (m_fColorOn && pair > 0) {
        wattroff(win, COLOR_PAIR(pair));
        m_fColorOn = false;
    }
}

bool CCalibrationGUI::TargetCentre(int rows, int columns, int row, int column, int& centreRow,
                                   int& centreColumn) {
    const int k = std::max(rows / 40, 1);
    const int kc = columns / 40 == 0 ? 1 : k;
    centreRow = row - k / 2;
    centreColumn = column - kc / 2;
    return centreRow >= 0 && centreColumn >= 0;
}

void CCalibrationGUI::DrawTarget(WINDOW* win, int row, int column, int effect) {
    int r, c;
    if (!TargetCentre(getmaxy(win), getmaxx(win), row, column, r, c)) return;
    const chtype blink = effect == BLINK_EFFECT ? A_BLINK : A_NORMAL;
    mvwaddch(win, r, c, '+' | blink);
    mvwaddch(win, r, c - 1, ACS_HLINE | blink);
    mvwaddch(win, r, c + 1, ACS_HLINE | blink);
    mvwaddch(win, r - 1, c, ACS_VLINE | blink);
    mvwaddch(win, r + 1, c, ACS_VLINE | blink);
    mvwaddch(win, r, c, ACS_DIAMOND | blink);
}

const char* CCalibrationGUI::ErrorText(int code) {
    switch (code) {
    case ERR_FIRST_POINT: return "Error : Inaccurate 1st touched point";
    case ERR_SECOND_POINT: return "Error : Inaccurate 2nd touched point";
    case ERR_SWITCH_NATIVE: return "Error : Failed to switch to Native mode";
    case ERR_SWITCH_EMULATION: return "Error : Failed to switch to Emulation mode";
    case ERR_CALIBRATE_CMD: return "Error : Calibration command failed";
    case ERR_TIME_OUT: return "Error : Calibration Time Out";
    case ERR_RESTORE_TONE: return "Error : Failed to restore tone setting";
    default: return "Error : Unknown error";
    }
}

void CCalibrationGUI::Finish() {
    wmove(m_pWindow, 0, 0);
    wrefresh(m_pWindow);
}

void CCalibrationGUI::WaitForKey() {
    wtimeout(m_pWindow, KEY_SLICE_MS);
    while (wgetch(m_pWindow) == ERR) consoleShutdown::Check();
}

void CCalibrationGUI::ShowInitCalibrateScreen() {
    m_nColorPair = SwitchOnColor(m_pWindow, COLOR_YELLOW, COLOR_BLACK);
    box(m_pWindow, 0, 0);
    PrintStringToMidScreen(m_pWindow, kInit, 1);
    PrintInstructionToScreen(m_pWindow, kInitInstruction, 1);
    Finish();
}

void CCalibrationGUI::ShowFirstCalibratePt() {
    wclear(m_pWindow);
    box(m_pWindow, 0, 0);
    PrintInstructionToScreen(m_pWindow, kFirstInstruction, 1);
    DrawTarget(m_pWindow, FirstPointRow(), FirstPointColumn(), BLINK_EFFECT);
    Finish();
}

void CCalibrationGUI::ShowFirstCalibratePtComplete() {
    PrintStringToMidScreen(m_pWindow, kFirstDone, 1);
    PrintInstructionToScreen(m_pWindow, kFirstDoneInstruction, 1);
    DrawTarget(m_pWindow, FirstPointRow(), FirstPointColumn(), STATIC_EFFECT);
    Finish();
}

void CCalibrationGUI::ShowSecondCalibratePt() {
    PrintInstructionToScreen(m_pWindow, kSecondInstruction, 1);
    DrawTarget(m_pWindow, SecondPointRow(), SecondPointColumn(), BLINK_EFFECT);
    Finish();
}

void CCalibrationGUI::ShowSecondCalibratePtComplete() {
    PrintStringToMidScreen(m_pWindow, kSecondDone, 1);
    DrawTarget(m_pWindow, SecondPointRow(), SecondPointColumn(), STATIC_EFFECT);
    Finish();
}

void CCalibrationGUI::ShowCalibrateComplete() {
    wclear(m_pWindow);
    box(m_pWindow, 0, 0);
    PrintStringToMidScreen(m_pWindow, kComplete, 1);
    PrintInstructionToScreen(m_pWindow, kHitKey, 1);
    SwitchOffColor(m_pWindow, m_nColorPair);
    Finish();
    WaitForKey();
}

void CCalibrationGUI::ShowCalibrateErrScreen(int code) {
    wattroff(m_pWindow, A_BLINK);
    wclear(m_pWindow);
    box(m_pWindow, 0, 0);
    const char* const text[] = {ErrorText(code)};
    PrintStringToMidScreen(m_pWindow, text, 1);
    Finish();
}

void CCalibrationGUI::ShowCalibrateExit() {
    wclear(m_pWindow);
    box(m_pWindow, 0, 0);
    PrintStringToMidScreen(m_pWindow, kFailed, 1);
    PrintInstructionToScreen(m_pWindow, kHitKey, 1);
    SwitchOffColor(m_pWindow, m_nColorPair);
    Finish();
    WaitForKey();
}
