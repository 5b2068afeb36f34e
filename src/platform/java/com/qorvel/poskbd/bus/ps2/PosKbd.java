package com.qorvel.poskbd.bus.ps2;

/** The PS/2 and USB POS keyboard, implemented by libovkposkbd (the program loads it:
 *  System.loadLibrary("ovkposkbd")). The sniffer and the driver loop run on a
 *  {@link PosKbdProxyThread} until it stops running; each command native takes a
 *  {@link PS2Command} and completes it with an error code (0, or minus an error number). */
public final class PosKbd {
    /** 100 until the driver loop has opened the keyboard's driver, then 101. */
    public static int keyboardType = 100;

    private PosKbd() {
    }

    public static native void nativeSniffer(Object proxy);
    public static native void nativeGetLeds(Object leds);
    public static native void nativeSetLeds(Object leds);
    public static native void nativePS2(Object proxy);

    public static native void nativeCodeUpdate(Object command);
    public static native void nativeEnableTracks(Object command);
    public static native void nativeGetDeviceInfo(Object command);
    public static native void nativeGetStatus(Object command);
    public static native void nativeSetClick(Object command);
    public static native void nativeSetDoublekeys(Object command);
    public static native void nativeSetEnabled(Object command);
    public static native void nativeSetPosLeds(Object command);
    public static native void nativeSetTone(Object command);
    public static native void nativeSetTrapKeys(Object command);
    public static native void nativeSetTypematic(Object command);
}
