// The console program's main menu.
#include "CTouchGUIMenu.h"

#include <cstring>

#include "ConsoleShutdown.h"

const char* const CTouchGUIMenu::TITLE = "QORVEL 6348 Touch Screen Calibration Utility";

namespace {
enum { WIN_ROWS = 15, WIN_COLS = 50, WIN_ROW = 4, WIN_COL = 4, SUB_ROWS = 10, SUB_COLS = 38 };
// Keys are read in slices so that a termination request is seen while waiting.
const int KEY_SLICE_MS = 200;
} // namespace

CTouchGUIMenu::~CTouchGUIMenu() { DestroyMainMenu(); }

void CTouchGUIMenu::ConfigureMenu() {
    static const struct {
        const char* name;
        int value;
    } entries[NUM_ITEMS] = {
        {"Calibrate Touch Screen", CALIBRATE_TOUCHSCREEN},
        {"Enable TouchDown Tone", ENABLE_TOUCHDOWN_TONE},
        {"Enable LiftOff Tone", ENABLE_LIFTOFF_TONE},
        {"Disable Touch Tone", DISABLE_TONE},
        {"Reset To Default Touch Settings", RESET_TOUCHSCREEN},
        {"Exit", EXIT_MENU},
    };
    for (int i = 0; i < NUM_ITEMS; ++i) {
        m_items[i].m_szName = entries[i].name;
        m_items[i].m_fSelectable = true;
        m_items[i].m_nValue = entries[i].value;
    }
}

void CTouchGUIMenu::InitializeColor() {
    init_pair(RED, COLOR_RED, COLOR_BLACK);
    init_pair(GREEN, COLOR_GREEN, COLOR_BLACK);
    init_pair(MAGENTA, COLOR_MAGENTA, COLOR_BLACK);
    init_pair(YELLOW, COLOR_YELLOW, COLOR_BLACK);
}

void CTouchGUIMenu::ShowMainMenu() {
    ConfigureMenu();
    start_color();
    cbreak();
    noecho();
    curs_set(0);
    InitializeColor();

    for (int i = 0; i < NUM_ITEMS; ++i) {
        m_pItems[i] = new_item(m_items[i].m_szName.c_str(), " ");
        if (m_pItems[i] && !m_items[i].m_fSelectable) item_opts_off(m_pItems[i], O_SELECTABLE);
    }
    m_pItems[NUM_ITEMS] = nullptr;
    m_pMenu = new_menu(m_pItems);
    set_menu_fore(m_pMenu, COLOR_PAIR(RED) | A_REVERSE);
    set_menu_back(m_pMenu, COLOR_PAIR(GREEN));
    set_menu_grey(m_pMenu, COLOR_PAIR(MAGENTA));

    m_pMenuWindow = newwin(WIN_ROWS, WIN_COLS, WIN_ROW, WIN_COL);
    keypad(m_pMenuWindow, TRUE);
    m_pSubWindow = derwin(m_pMenuWindow, SUB_ROWS, SUB_COLS, 3, 1);
    set_menu_win(m_pMenu, m_pMenuWindow);
    set_menu_sub(m_pMenu, m_pSubWindow);
    set_menu_mark(m_pMenu, " * ");

    DrawFrame();
    mvprintw(23, 0, "%s", "Please Press <ENTER> to choose option");
    mvprintw(22, 0, "%s", "Press Up and Down arrow keys to navigate");
    refresh();
    post_menu(m_pMenu);
    wrefresh(m_pMenuWindow);
}

void CTouchGUIMenu::DrawFrame() {
    Print_in_middle(m_pMenuWindow, 1, 0, WIN_COLS, TITLE, COLOR_PAIR(GREEN));
    wattron(m_pMenuWindow, COLOR_PAIR(YELLOW));
    box(m_pMenuWindow, 0, 0);
    mvwaddch(m_pMenuWindow, 2, 0, ACS_LTEE);
    mvwhline(m_pMenuWindow, 2, 1, ACS_HLINE, WIN_COLS - 2);
    mvwaddch(m_pMenuWindow, 2, WIN_COLS - 1, ACS_RTEE);
    wattroff(m_pMenuWindow, COLOR_PAIR(YELLOW));
}

void CTouchGUIMenu::RefreshMainMenu() {
    if (!m_pMenuWindow) return;
    InitializeColor();
    // A calibration run may have drawn over the whole screen meanwhile.
    touchwin(stdscr);
    touchwin(m_pMenuWindow);
    DrawFrame();
    mvprintw(LINES - 3, 0, "%s", "Up and Down arrow keys to navigate");
    mvprintw(LINES - 2, 0, "%s", "Press <ENTER> to see the option selected");
    refresh();
    wrefresh(m_pMenuWindow);
}

int CTouchGUIMenu::WaitForUserInput() {
    int result = COMMAND_NOT_RECOGNIZED;
    if (!m_pMenu) return result;
    wtimeout(m_pMenuWindow, KEY_SLICE_MS);
    for (;;) {
        const int key = wgetch(m_pMenuWindow);
        if (key == ERR) {
            consoleShutdown::Check();
            continue;
        }
        bool chosen = false;
        switch (key) {
        case KEY_DOWN: menu_driver(m_pMenu, REQ_DOWN_ITEM); break;
        case KEY_UP: menu_driver(m_pMenu, REQ_UP_ITEM); break;
        case '\n':
        case '\r':
        case KEY_ENTER:
            if (ITEM* current = current_item(m_pMenu)) result = GetUserSelection(item_name(current));
            chosen = true;
            break;
        default: break;
        }
        pos_menu_cursor(m_pMenu);
        wrefresh(m_pMenuWindow);
        if (chosen) break;
    }
    return result;
}

void CTouchGUIMenu::DestroyMainMenu() {
    if (m_pMenu) {
        unpost_menu(m_pMenu);
        free_menu(m_pMenu);
        m_pMenu = nullptr;
    }
    for (ITEM*& item : m_pItems) {
        if (item) free_item(item);
        item = nullptr;
    }
    if (m_pMenuWindow) {
        if (m_pSubWindow) delwin(m_pSubWindow);
        m_pSubWindow = nullptr;
        wclear(m_pMenuWindow);
        wrefresh(m_pMenuWindow);
        delwin(m_pMenuWindow);
        m_pMenuWindow = nullptr;
        clear();
        refresh();
    }
}

int CTouchGUIMenu::GetUserSelection(const char* name) const {
    for (const CMenuItem& item : m_items)
        if (name && item.m_szName == name) return item.m_nValue;
    return 0;
}

void CTouchGUIMenu::OutputMessage(const char* text, attr_t attributes) {
    InitializeColor();
    move(LINES - 5, 2);
    clrtoeol();
    attron(attributes);
    mvprintw(LINES - 5, 2, "%s", text);
    attroff(attributes);
    refresh();
}

void CTouchGUIMenu::OutputTextToScreen(const char* text) { OutputMessage(text, A_NORMAL); }
void CTouchGUIMenu::OutputWarningMsgToScreen(const char* text) { OutputMessage(text, COLOR_PAIR(YELLOW) | A_BLINK); }
void CTouchGUIMenu::OutputSuccessMsgToScreen(const char* text) { OutputMessage(text, COLOR_PAIR(GREEN)); }
void CTouchGUIMenu::OutputErrMsgToScreen(const char* text) { OutputMessage(text, COLOR_PAIR(RED)); }

void CTouchGUIMenu::Print_in_middle(WINDOW* win, int row, int column, int width, const char* text,
                                    chtype attributes) {
    if (!win) win = stdscr;
    int y, x;
    getyx(win, y, x);
    if (column != 0) x = column;
    if (row != 0) y = row;
    if (width == 0) width = 80;
    const int length = static_cast<int>(std::strlen(text));
    x = column + (width - length) / 2;
    if (x < 0) x = 0;
    wattron(win, attributes);
    mvwprintw(win, y, x, "%s", text);
    wattroff(win, attributes);
    refresh();
}
