import com.qorvel.poskbd.bus.ps2.PosKbd;
import com.qorvel.poskbd.bus.ps2.PosKbdLeds;
import com.qorvel.poskbd.bus.ps2.PosKbdProxy;
import com.qorvel.poskbd.bus.ps2.PosKbdProxyThread;
import fakedev.FakeDevices;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import ovktest.Check;

/** The sniffer and the lights of libovkposkbd on a fake USB keyboard node. */
public class PosKbdSnifferTest {
    static final int EV_KEY = 1;
    static final int BUS_USB = 3;

    static final class Recorder extends PosKbdProxy {
        final List<byte[]> codes = new ArrayList<>();
        int calls;

        @Override
        public void processScancodes(byte[] b, int count) {
            synchronized (codes) {
                calls++;
                if (count > 0) {
                    codes.add(Arrays.copyOf(b, count));
                    codes.notifyAll();
                }
            }
        }

        List<byte[]> await(int n) throws InterruptedException {
            long end = System.currentTimeMillis() + 5000;
            synchronized (codes) {
                while (codes.size() < n && System.currentTimeMillis() < end) {
                    codes.wait(100);
                }
                return new ArrayList<>(codes);
            }
        }
    }

    static byte[] bytes(int... v) {
        byte[] b = new byte[v.length];
        for (int i = 0; i < v.length; i++) {
            b[i] = (byte) v[i];
        }
        return b;
    }

    public static void main(String[] args) throws Exception {
        System.loadLibrary("ovkposkbd");
        FakeDevices.install();
        Check c = new Check();
        FakeDevices.addInputNode(0, BUS_USB, 0x04B3, 0x4002, 0x0100);

        // Lists that name no keyboard there: the sniffer cannot start.
        Recorder rejected = new Recorder();
        rejected.validKbds = new int[] {0x7777};
        rejected.validKbdsByVendor = new int[] {0x1111};
        rejected.validKbdsByProduct = new int[] {0x2222};
        PosKbdProxyThread none = new PosKbdProxyThread(() -> PosKbd.nativeSniffer(rejected));
        none.start();
        c.that(!none.waitStarted(), "an unlisted keyboard is rejected");
        none.join(5000);

        // Without lists (missing arrays count as empty) the node is taken.
        Recorder proxy = new Recorder();
        PosKbdProxyThread sniffer = new PosKbdProxyThread(() -> PosKbd.nativeSniffer(proxy));
        sniffer.start();
        c.that(sniffer.waitStarted(), "sniffer started");
        c.that(sniffer.getFileDescriptor() >= 0, "descriptor handed over");
        FakeDevices.queueEvent(0, EV_KEY, 42, 1);   // left Shift
        FakeDevices.queueEvent(0, EV_KEY, 102, 1);  // Home, Num Lock off
        FakeDevices.queueEvent(0, EV_KEY, 102, 0);
        FakeDevices.queueEvent(0, EV_KEY, 42, 0);
        FakeDevices.queueEvent(0, 4, 3, 0x1E);      // a raw scan: not taken from USB
        FakeDevices.queueEvent(0, EV_KEY, 30, 2);   // repeat
        List<byte[]> got = proxy.await(5);
        c.equal(5, got.size(), "scan-code groups");
        if (got.size() == 5) {
            c.equal(bytes(0x2A), got.get(0), "left Shift");
            c.equal(bytes(0xE0, 0xAA, 0xE0, 0x47), got.get(1), "Shift+Home press");
            c.equal(bytes(0xE0, 0xC7, 0xE0, 0x2A), got.get(2), "Shift+Home release");
            c.equal(bytes(0xAA), got.get(3), "left Shift release");
            c.equal(bytes(0x1E), got.get(4), "repeat");
        }
        sniffer.stopRunning();
        sniffer.join(5000);
        c.that(!sniffer.isAlive(), "sniffer ended when told");

        // Lights: Caps Lock wanted, all off now: one press and release of key 58.
        PosKbdLeds leds = new PosKbdLeds();
        leds.capsLock = true;
        PosKbd.nativeSetLeds(leds);
        c.equal(new int[] {EV_KEY, 58, 1, EV_KEY, 58, 0}.length, FakeDevices.written(0).length,
                "events written");
        c.that(Arrays.equals(new int[] {EV_KEY, 58, 1, EV_KEY, 58, 0}, FakeDevices.written(0)),
               "Caps Lock pressed then released: " + Arrays.toString(FakeDevices.written(0)));
        PosKbdLeds read = new PosKbdLeds();
        read.numLock = true;
        PosKbd.nativeGetLeds(read);
        c.that(read.capsLock && !read.numLock && !read.scrollLock, "lights read back");
        PosKbd.nativeSetLeds(read);
        c.equal(6, FakeDevices.written(0).length, "nothing written when the lights agree");
        c.exit();
    }
}
