package com.qorvel.poskbd;

/** The key combinations the keyboard keeps to itself. TRAP_ALL has a bit of its own: any
 *  value holding it traps everything. */
public class TrapKeys {
    public static final int TRAP_NONE = 0x0000;
    public static final int TRAP_CTRL_ALT_DELETE = 0x0001;
    public static final int TRAP_CTRL_ESC = 0x0002;
    public static final int TRAP_ALT_ESC = 0x0004;
    public static final int TRAP_ALT_TAB = 0x0008;
    public static final int TRAP_ALT_SHIFT_TAB = 0x0010;
    public static final int TRAP_ALT_HOME = 0x0020;
    public static final int TRAP_NUM_LOCK = 0x0040;
    public static final int TRAP_CAPS_LOCK = 0x0080;
    public static final int TRAP_SCROLL_LOCK = 0x0100;
    public static final int TRAP_POS_SPECIFIC = 0x0200;
    public static final int TRAP_HOT_KEYS = 0x003E;
    public static final int TRAP_ALL = 0x10000;

    private final int keys;

    public TrapKeys(int keys) {
        this.keys = keys;
    }

    public int getTrapKeys() {
        return keys;
    }
}
