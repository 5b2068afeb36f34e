import com.qorvel.vusk.Native;
import com.qorvel.vusk.PosArg;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import ovktest.Check;
import ovktest.SimControl;

/** The client API natives against the real daemon on a simulated terminal whose operator
 *  display sits at slot 1, port 0x11, address 0x22. */
public class ApiNativesTest {
    static final int ONLINE = 0x420D;
    static final int ACQUIRE = 301;
    static final int GET_VALUES = 302;
    static final int BAD_HANDLE = 303;
    static final int DISPLAY = 1 << 24 | 0x11 << 16 | 0x22 << 8;

    public static void main(String[] args) throws Exception {
        System.loadLibrary("ovkjni");
        Check c = new Check();
        try (SimControl sim = new SimControl()) {
            run(c, sim);
        }
        c.exit();
    }

    static void run(Check c, SimControl sim) throws Exception {
        PosArg[] init = {new PosArg("readTimeout", 500)};
        if (!c.equal(0, Native.initialize("javaapi", "/etc/terminal.res", init, 1), "initialize")) {
            return;
        }
        c.that(waitForOnline(), "online event of the display");

        PosArg[] where = {new PosArg("slotNumber", 1), new PosArg("portNumber", 0x11),
                          new PosArg("deviceNumber", 0x22)};
        int display = Native.open("operator", "PosDisplay", where, 3);
        if (!c.that(display > 0, "open gives a handle, got " + display + " errno " + Native.errno())) {
            return;
        }
        c.equal(0, Native.ioctl(display, ACQUIRE, null, 0), "acquire");

        byte[] hello = "HELLO".getBytes(StandardCharsets.US_ASCII);
        c.equal(5, Native.write(display, hello, 5), "write");
        c.equal("ok [HELLO", sim.waitFor("text 1 0x11 0x22 0", "HELLO", 10000).substring(0, 9),
                "display row 0");

        // A count beyond the array: Java's index exception, and nothing reaches the display.
        String before = sim.run("payloads 1 0x11 0x22");
        c.throwsA(ArrayIndexOutOfBoundsException.class,
                  () -> Native.write(display, new byte[3], 10), "write beyond the array");
        c.throwsA(ArrayIndexOutOfBoundsException.class,
                  () -> Native.write(display, new byte[3], -1), "write of a negative count");
        c.equal(before, sim.run("payloads 1 0x11 0x22"), "display commands after the bad writes");
        c.throwsA(ArrayIndexOutOfBoundsException.class,
                  () -> Native.open("operator", "PosDisplay", where, 4), "open with n beyond the list");

        getValues(c);

        int[] two = {-1, -1};
        c.equal(0, Native.version(two), "version");
        int[] three = {-1, -1, -1};
        Native.version(three);
        c.equal(Arrays.toString(Arrays.copyOf(three, 2)), Arrays.toString(two), "version into two elements");
        c.that(three[2] != -1, "version into three elements");
        c.equal(0, Native.version(new int[0]), "version into none");

        byte[] buf = new byte[16];
        Arrays.fill(buf, (byte) 0x55);
        c.equal(-1, Native.read(99, buf), "read on a bad handle");
        c.equal(BAD_HANDLE, Native.errno(), "errno after the bad read");
        byte[] untouched = new byte[16];
        Arrays.fill(untouched, (byte) 0x55);
        c.equal(untouched, buf, "nothing copied by the failed read");

        c.equal(-1, Native.getPosNreadTimeout(), "getPosNreadTimeout");
        c.equal(0x1234, Native.bytesToShort(new byte[] {0x34, 0x12}, 0), "bytesToShort");
        c.equal((short) 0xFFFE, Native.bytesToShort(new byte[] {0, (byte) 0xFE, (byte) 0xFF}, 1),
                "bytesToShort at 1");
        c.equal(0x12345678, Native.bytesToInt(new byte[] {9, 0x78, 0x56, 0x34, 0x12}, 1), "bytesToInt");
        c.throwsA(ArrayIndexOutOfBoundsException.class,
                  () -> Native.bytesToShort(new byte[] {1, 2}, 1), "bytesToShort past the end");
        c.throwsA(ArrayIndexOutOfBoundsException.class,
                  () -> Native.bytesToInt(new byte[] {1, 2, 3, 4}, -1), "bytesToInt before the start");

        concurrentGetValues(c);

        c.equal(0, Native.close(display), "close");
        c.equal(0, Native.term(), "term");
    }

    static boolean waitForOnline() {
        byte[] event = new byte[16];
        long end = System.nanoTime() + 20_000_000_000L;
        while (System.nanoTime() < end) {
            if (Native.read(0, event) == 16 && Native.bytesToInt(event, 4) == ONLINE
                    && (Native.bytesToInt(event, 8) & 0xFFFFFF00) == DISPLAY) {
                return true;
            }
        }
        return false;
    }

    static void getValues(Check c) {
        PosArg timeout = new PosArg("readTimeout", 0);
        byte[] vpd = new byte[24];
        Arrays.fill(vpd, (byte) 0x55);
        PosArg[] values = {timeout, new PosArg("vitalProductData", vpd), null};
        c.equal(0, Native.ioctl(0, GET_VALUES, values, 3), "get values");
        c.equal(Integer.valueOf(500), timeout.getValue(), "readTimeout written back");
        // The simulated system board has no vital product data: 24 zero bytes.
        c.equal(new byte[24], vpd, "vital product data filled");
        c.that(values[1].getValue() == vpd, "the array stays the argument's value");

        // Shorter buffers than the values the library returns: only what fits comes back.
        byte[] shortVpd = new byte[5];
        Arrays.fill(shortVpd, (byte) 0x55);
        PosArg[] small = {new PosArg("vitalProductData", shortVpd)};
        c.equal(0, Native.ioctl(0, GET_VALUES, small, 1), "get values into a short array");
        c.equal(Arrays.copyOf(vpd, 5), shortVpd, "the short array holds the start");

        StringBuffer empty = new StringBuffer(40);
        PosArg[] text = {new PosArg("vitalProductData", empty)};
        c.equal(0, Native.ioctl(0, GET_VALUES, text, 1), "get values into an empty StringBuffer");
        c.equal(40, empty.length(), "the empty buffer comes back at its capacity");
        c.equal("\0".repeat(16), empty.substring(24), "zeros after the value");
        StringBuffer small8 = new StringBuffer(8);
        c.equal(0, Native.ioctl(0, GET_VALUES, new PosArg[] {new PosArg("vitalProductData", small8)}, 1),
                "get values into a short StringBuffer");
        c.equal(8, small8.length(), "the short buffer keeps its length");

        c.throwsA(ArrayIndexOutOfBoundsException.class,
                  () -> Native.ioctl(0, GET_VALUES, values, 4), "get values with n beyond the list");
        c.equal(Integer.valueOf(500), timeout.getValue(), "no write-back after the bad count");
    }

    // Two Java threads on the shared argument arrays at once.
    static void concurrentGetValues(Check c) throws InterruptedException {
        final int rounds = 200;
        int[] wrong = new int[2];
        Thread[] threads = new Thread[2];
        for (int t = 0; t < 2; t++) {
            final int me = t;
            threads[t] = new Thread(() -> {
                for (int i = 0; i < rounds; i++) {
                    PosArg timeout = new PosArg("readTimeout", -7);
                    PosArg[] list = new PosArg[me + 1];
                    list[me] = timeout;
                    if (Native.ioctl(0, GET_VALUES, list, me + 1) != 0
                            || !Integer.valueOf(500).equals(timeout.getValue())) {
                        wrong[me]++;
                    }
                }
            });
            threads[t].start();
        }
        for (Thread t : threads) {
            t.join();
        }
        c.equal(0, wrong[0] + wrong[1], "get values from two threads");
    }
}
