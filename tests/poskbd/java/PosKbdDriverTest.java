import com.qorvel.poskbd.ClickCmd;
import com.qorvel.poskbd.LedCmd;
import com.qorvel.poskbd.MsrTracks;
import com.qorvel.poskbd.ToneCmd;
import com.qorvel.poskbd.TrapKeys;
import com.qorvel.poskbd.bus.ps2.PS2Command;
import com.qorvel.poskbd.bus.ps2.PosKbd;
import com.qorvel.poskbd.bus.ps2.PosKbdProxy;
import com.qorvel.poskbd.bus.ps2.PosKbdProxyThread;
import fakedev.FakeDevices;
import java.util.ArrayList;
import java.util.List;
import java.util.function.Consumer;
import ovktest.Check;

/** The driver loop and the keyboard commands of libovkposkbd on a fake keyboard driver. */
public class PosKbdDriverTest {
    static final class Recorder extends PosKbdProxy {
        final List<byte[]> statuses = new ArrayList<>();
        final List<Integer> msrCounts = new ArrayList<>();

        @Override
        public synchronized void processKbdStatus(byte[] s, int count) {
            statuses.add(java.util.Arrays.copyOf(s, count));
        }

        @Override
        public synchronized void processMsrData(byte[] d, int count) {
            msrCounts.add(count);
        }
    }

    /** Every command with valid inputs, and the native that sends it. */
    static List<Object[]> commands() {
        List<Object[]> all = new ArrayList<>();
        PS2Command cmd;
        cmd = new PS2Command();
        cmd.codeUpdate = new byte[16];
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeCodeUpdate});
        cmd = new PS2Command();
        cmd.msrTracks = new MsrTracks(true, true, false, false, true);
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeEnableTracks});
        all.add(new Object[] {new PS2Command(), (Consumer<Object>) PosKbd::nativeGetDeviceInfo});
        all.add(new Object[] {new PS2Command(), (Consumer<Object>) PosKbd::nativeGetStatus});
        cmd = new PS2Command();
        cmd.click = new ClickCmd(ClickCmd.CLICK_SOFT);
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeSetClick});
        cmd = new PS2Command();
        cmd.doubleKeys = new byte[10];
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeSetDoublekeys});
        all.add(new Object[] {new PS2Command(), (Consumer<Object>) PosKbd::nativeSetEnabled});
        cmd = new PS2Command();
        cmd.ledCmd = new LedCmd(1, 7);
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeSetPosLeds});
        cmd = new PS2Command();
        cmd.toneCmd = new ToneCmd(false, false, 0, ToneCmd.FREQUENCY_875, ToneCmd.VOLUME_HIGH);
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeSetTone});
        cmd = new PS2Command();
        cmd.trapKeys = new TrapKeys(TrapKeys.TRAP_NONE);
        all.add(new Object[] {cmd, (Consumer<Object>) PosKbd::nativeSetTrapKeys});
        all.add(new Object[] {new PS2Command(), (Consumer<Object>) PosKbd::nativeSetTypematic});
        return all;
    }

    @SuppressWarnings("unchecked")
    static void send(Object[] c) {
        ((Consumer<Object>) c[1]).accept(c[0]);
    }

    /** Runs a command on the driver loop's thread and waits for it. */
    static PS2Command run(PosKbdProxy proxy, PS2Command cmd, Consumer<Object> nativeCall)
        throws InterruptedException {
        proxy.queue(() -> nativeCall.accept(cmd));
        for (int i = 0; i < 500 && !cmd.isCompleted(); i++) {
            Thread.sleep(10);
        }
        return cmd;
    }

    static int word(byte[] r, int at) {
        return (r[at] & 0xFF) | (r[at + 1] & 0xFF) << 8;
    }

    public static void main(String[] args) throws Exception {
        System.loadLibrary("ovkposkbd");
        FakeDevices.install();
        Check c = new Check();

        // No driver: the loop does not start and every command gives -77.
        Recorder idle = new Recorder();
        PosKbdProxyThread noDriver = new PosKbdProxyThread(() -> PosKbd.nativePS2(idle));
        noDriver.start();
        c.that(!noDriver.waitStarted(), "no driver: the loop does not start");
        noDriver.join(5000);
        c.equal(100, PosKbd.keyboardType, "keyboard type without the driver");
        int n = 0;
        for (Object[] cmd : commands()) {
            send(cmd);
            PS2Command done = (PS2Command) cmd[0];
            c.that(done.isCompleted() && done.getErrorCode() == -77,
                   "command " + n++ + " with the driver closed: " + done.getErrorCode());
        }
        c.equal(0, FakeDevices.ps2RequestCount(), "no request reached a driver");

        // With the driver.
        FakeDevices.addPs2Driver();
        FakeDevices.queueKbdStatus(new byte[] {1, 2, 3, 4});
        FakeDevices.queueKbdStatus(new byte[] {1, 2, 3, 4});
        FakeDevices.queueKbdStatus(new byte[] {1, 2, 3, 4});
        byte[] track = new byte[1000];
        java.util.Arrays.fill(track, (byte) 0x33);
        FakeDevices.queueMsrData(5000, track);
        Recorder proxy = new Recorder();
        PosKbdProxyThread loop = new PosKbdProxyThread(() -> PosKbd.nativePS2(proxy));
        loop.start();
        c.that(loop.waitStarted(), "driver loop started");
        c.equal(101, PosKbd.keyboardType, "keyboard type with the driver");

        PS2Command big = new PS2Command();
        big.codeUpdate = new byte[4097];
        run(proxy, big, PosKbd::nativeCodeUpdate);
        c.that(big.isCompleted(), "4097-byte code update completed");
        c.equal(-22, big.getErrorCode(), "4097-byte code update");
        c.equal(0, FakeDevices.ps2RequestCount(), "no request for it");

        PS2Command code = new PS2Command();
        code.codeUpdate = new byte[4096];
        run(proxy, code, PosKbd::nativeCodeUpdate);
        c.equal(0, code.getErrorCode(), "4096-byte code update");
        c.equal(0xE8086B0EL, FakeDevices.ps2RequestCode(0), "code-update request");
        c.equal(4096, word(FakeDevices.ps2Request(0), 4), "code-update length");

        PS2Command tone = new PS2Command();
        tone.toneCmd = new ToneCmd(true, false, 0, ToneCmd.FREQUENCY_2000, ToneCmd.VOLUME_LOW);
        run(proxy, tone, PosKbd::nativeSetTone);
        c.equal(0, tone.getErrorCode(), "tone");
        c.equal(0xC0086B05L, FakeDevices.ps2RequestCode(1), "tone request");
        c.equal(0x34, FakeDevices.ps2Request(1)[6] & 0xFF, "tone flags");

        PS2Command badTone = new PS2Command();
        badTone.toneCmd = new ToneCmd(true, false, 0, 440, ToneCmd.VOLUME_LOW);
        run(proxy, badTone, PosKbd::nativeSetTone);
        c.equal(-22, badTone.getErrorCode(), "unknown frequency");

        PS2Command trap = new PS2Command();
        trap.trapKeys = new TrapKeys(TrapKeys.TRAP_HOT_KEYS);
        run(proxy, trap, PosKbd::nativeSetTrapKeys);
        c.equal(0x003E, word(FakeDevices.ps2Request(2), 6), "hot-key trap bits");

        PS2Command badClick = new PS2Command();
        badClick.click = new ClickCmd(99);
        run(proxy, badClick, PosKbd::nativeSetClick);
        c.equal(-22, badClick.getErrorCode(), "unknown click setting");
        c.equal(3, FakeDevices.ps2RequestCount(), "no request for refused commands");

        FakeDevices.scriptPs2Error(7, 5);
        PS2Command typematic = new PS2Command();
        typematic.typematic = true;
        run(proxy, typematic, PosKbd::nativeSetTypematic);
        c.equal(-5, typematic.getErrorCode(), "driver error");

        PS2Command info = new PS2Command();
        run(proxy, info, PosKbd::nativeGetDeviceInfo);
        c.equal(0, info.getErrorCode(), "device information");
        c.that(info.getDevInfoShorts() != null && info.getDevInfoShorts()[0] == 0x0201,
               "keyboard id handed over");

        PS2Command status = new PS2Command();
        run(proxy, status, PosKbd::nativeGetStatus);
        c.equal(new byte[] {1, 2, 3, 4}, status.getStatus(), "status command");

        // Many passes later: the unchanged status was told once, the MSR data cut to 1000.
        PS2Command marker = new PS2Command();
        for (int i = 0; i < 20; i++) {
            marker = run(proxy, new PS2Command(), PosKbd::nativeSetEnabled);
        }
        c.equal(0, marker.getErrorCode(), "enable");
        synchronized (proxy) {
            c.equal(1, proxy.statuses.size(), "status reports");
            c.equal(List.of(1000), proxy.msrCounts, "MSR data counts");
        }
        loop.stopRunning();
        loop.join(5000);
        c.that(!loop.isAlive(), "driver loop ended");
        PS2Command after = new PS2Command();
        PosKbd.nativeSetEnabled(after);
        c.equal(-77, after.getErrorCode(), "driver closed after the loop");
        c.exit();
    }
}
