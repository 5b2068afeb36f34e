// One entry of the console program's main menu.
#pragma once

#include <string>

class CMenuItem {
public:
    std::string m_szName;
    bool m_fSelectable = true;
    int m_nValue = 0;
};
