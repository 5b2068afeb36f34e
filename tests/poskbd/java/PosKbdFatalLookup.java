import com.qorvel.poskbd.bus.ps2.PosKbd;

/** Run by PosKbdSnifferTest in a JVM of its own: the lights natives given an object without
 *  the light fields, a lookup that must end the process. */
public class PosKbdFatalLookup {
    public static void main(String[] args) {
        System.loadLibrary("ovkposkbd");
        PosKbd.nativeGetLeds(new Object());
        System.out.println("survived");
    }
}
