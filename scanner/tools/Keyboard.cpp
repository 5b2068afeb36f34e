#include "Keyboard.h"

#include <poll.h>
#include <unistd.h>

Keyboard& Keyboard::getInstance() {
    static Keyboard keyboard;
    return keyboard;
}

void Keyboard::open() {
    if (raw_ || tcgetattr(STDIN_FILENO, &saved_) < 0) return;
    termios t = saved_;
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0;
}

bool Keyboard::keyPressed() {
    if (key_ >= 0) return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & POLLIN) {
        unsigned char c;
        key_ = ::read(STDIN_FILENO, &c, 1) == 1 ? c : 0;
    } else {
        key_ = 0; // end of input or a closed terminal
    }
    return true;
}

void Keyboard::close() {
    if (!raw_) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    raw_ = false;
}
