package com.qorvel.poskbd.bus.ps2;

/** The three lock-key lights, read and set by PosKbd.nativeGetLeds and nativeSetLeds. */
public class PosKbdLeds {
    public boolean capsLock;
    public boolean numLock;
    public boolean scrollLock;
}
