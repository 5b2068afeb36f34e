package fakedev;

/** The fake devices behind the keyboard and port natives (libovkfakedevjni, a test library):
 *  input nodes, the PS/2 keyboard driver, modem lines and printer status of ports, plus
 *  pseudo-terminals and a look at System V semaphores for the tests. */
public final class FakeDevices {
    static {
        System.loadLibrary("ovkfakedevjni");
    }

    private FakeDevices() {
    }

    /** Resets the fakes and installs them in both natives libraries. */
    public static native void install();

    public static native void addInputNode(int n, int bus, int vendor, int product, int version);
    public static native void queueEvent(int n, int type, int code, int value);
    public static native int leds(int n);
    public static native void setLeds(int n, int bits);
    /** The events written to node n: type, code, value for each. */
    public static native int[] written(int n);

    public static native void addPs2Driver();
    public static native void scriptPs2Error(int nr, int error);
    public static native void queueKbdStatus(byte[] status);
    public static native void queueMsrData(int length, byte[] data);
    public static native int ps2RequestCount();
    public static native long ps2RequestCode(int i);
    public static native byte[] ps2Request(int i);

    public static native void addPort(String path, int lines);
    public static native void toggleLines(String path, int bits);
    public static native void setPrinterStatus(String path, int status);
    public static native int modemLines(String path);

    public static native String makeTempDir();
    /** A new pseudo-terminal linked at link; returns its master side. */
    public static native int openPty(String link);
    public static native byte[] readMaster(int fd, int max, int ms);
    public static native int writeMaster(int fd, byte[] b);
    public static native int semget(int key);
    public static native int semValue(int id);
}
