import com.qorvel.vusk.Native;
import ovktest.Check;

/** The keyboard hook on a root without the sniffer node. */
public class NoSnifferTest {
    public static void main(String[] args) {
        System.loadLibrary("ovkjni");
        Check c = new Check();
        c.that(!Native.hookKeyboard(new KeyboardHookTest.Recorder(), null), "hook without the node");
        c.that(Native.unhookKeyboard(), "unhook");
        c.exit();
    }
}
