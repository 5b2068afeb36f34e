// The console program's main menu: six entries in a framed window, the help lines below it
// and a message line.
#pragma once

#include <curses.h>
#include <menu.h>

#include "CMenuItem.h"

class CTouchGUIMenu {
public:
    enum {
        EXIT_MENU = 0,
        CALIBRATE_TOUCHSCREEN = 1,
        RESET_TOUCHSCREEN = 2,
        DISABLE_TONE = 3,
        ENABLE_TOUCHDOWN_TONE = 4,
        ENABLE_LIFTOFF_TONE = 5,
        COMMAND_NOT_RECOGNIZED = 6,
    };
    enum { RED = 1, GREEN = 2, MAGENTA = 3, YELLOW = 4 };
    enum { NUM_ITEMS = 6 };

    CTouchGUIMenu() = default;
    virtual ~CTouchGUIMenu();
    CTouchGUIMenu(const CTouchGUIMenu&) = delete;
    CTouchGUIMenu& operator=(const CTouchGUIMenu&) = delete;

    void ConfigureMenu();
    void ShowMainMenu();
    // Reads keys until Enter; the chosen entry's value.
    int WaitForUserInput();
    void RefreshMainMenu();
    void DestroyMainMenu();
    // The value of the entry with that name (0 when none has it).
    int GetUserSelection(const char* name) const;
    void OutputTextToScreen(const char* text);
    void OutputWarningMsgToScreen(const char* text);
    void OutputSuccessMsgToScreen(const char* text);
    void OutputErrMsgToScreen(const char* text);
    void InitializeColor();
    static void Print_in_middle(WINDOW* win, int row, int column, int width, const char* text,
                                chtype attributes);

    static const char* const TITLE;

private:
    void DrawFrame();
    void OutputMessage(const char* text, attr_t attributes);

    CMenuItem m_items[NUM_ITEMS];
    ITEM* m_pItems[NUM_ITEMS + 1] = {};
    MENU* m_pMenu = nullptr;
    WINDOW* m_pMenuWindow = nullptr;
    WINDOW* m_pSubWindow = nullptr;
};
