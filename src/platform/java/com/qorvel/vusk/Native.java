package com.qorvel.vusk;

/** The client API and the keyboard hook for Java programs, implemented by libovkjni
 *  (the program loads it: System.loadLibrary("ovkjni")). */
public final class Native {
    private Native() {
    }

    public static native int initialize(String appl, String resFile, PosArg[] args, int n);
    public static native int open(String name, String deviceClass, PosArg[] args, int n);
    public static native int ioctl(int devdes, int request, PosArg[] args, int n);
    public static native int read(int devdes, byte[] buf);
    public static native int write(int devdes, byte[] buf, int n);
    public static native int close(int devdes);
    public static native int term();
    public static native int errno();
    public static native int version(int[] v);
    public static native int getPosNreadTimeout();
    public static native short bytesToShort(byte[] b, int off);
    public static native int bytesToInt(byte[] b, int off);

    /** The callback's class has boolean processKey(int code, int pressOrRelease, int, int). */
    public static native boolean hookKeyboard(Object callback, int[] ignored);
    public static native boolean unhookKeyboard();
    public static native boolean setCapsLock(boolean on);
}
