// The console keyboard, polled without waiting: any key ends the program's loops.
#pragma once

#include <termios.h>

class Keyboard {
public:
    static Keyboard& getInstance();
    // One character at a time, no echo, no signal characters.
    void open();
    // A key stays pressed once one came. End of input counts as a key, so that a program
    // whose input is not a terminal cannot loop for ever.
    bool keyPressed();
    void close();

private:
    termios saved_{};
    bool raw_ = false;
    int key_ = -1;
};
