import com.qorvel.vusk.touch.JTouchScreenAdapter;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import ovktest.Check;
import ovktest.SimControl;

/** The Java touch adapter through the real daemon: the controller with calibration at slot 1,
 *  port 0x11, address 0x5C. Modes: "present" (the whole use), "absent" (no screen on the
 *  terminal), "kill" (KillTouch while the screen runs natively, without ending the
 *  connection first). */
public class TouchAdapterTest {
    static final String SCREEN = " 1 0x11 0x5c";

    /** The adapter as a Java program subclasses it: keeps every status it is given. */
    public static class Screen extends JTouchScreenAdapter {
        final List<Integer> statuses = new ArrayList<>();
        final List<Thread> threads = new ArrayList<>();

        @Override
        public synchronized void SetTouchStatus(int status) {
            statuses.add(status);
            threads.add(Thread.currentThread());
            notifyAll();
        }

        synchronized boolean waitFor(int status) throws InterruptedException {
            long end = System.nanoTime() + 15_000_000_000L;
            while (!statuses.contains(status) && System.nanoTime() < end) {
                wait(100);
            }
            return statuses.contains(status);
        }

        synchronized String all() {
            return statuses.toString();
        }
    }

    public static void main(String[] args) throws Exception {
        System.loadLibrary("ovktutil");
        Check c = new Check();
        try (SimControl sim = new SimControl()) {
            switch (args[0]) {
            case "present": present(c, sim); break;
            case "absent": absent(c); break;
            default: killWhileNative(c, sim); break;
            }
        }
        c.exit();
    }

    static int requests(SimControl sim) throws Exception {
        String reply = sim.run("payloads" + SCREEN);
        return Integer.parseInt(reply.substring(3).split(" ")[0]);
    }

    static void present(Check c, SimControl sim) throws Exception {
        Screen s = new Screen();
        long h = s.InitializeTouch();
        c.that(h != 0, "InitializeTouch gives a handle");
        if (!c.that(s.InitializeTouchScreen(h), "InitializeTouchScreen")) {
            return;
        }
        c.that(s.SwitchToNative(h), "SwitchToNative");
        c.that(s.waitFor(1), "status 1 after the switch: " + s.all());
        c.that(s.threads.get(0) != Thread.currentThread(), "the status comes on the monitor thread");
        c.that(s.IsNativeMode(h), "IsNativeMode");
        c.that(s.SendCalibrateCommandCX(h), "SendCalibrateCommandCX");
        c.that(sim.waitFor("touchstate" + SCREEN, "calibrating=1", 10000).contains("calibrating=1"),
               "the controller calibrates");
        c.equal("ok calpoint ok", sim.run("calpoint" + SCREEN + " ok"), "calpoint");
        c.that(s.waitFor(5), "status 5 for the point: " + s.all());
        c.equal("ok caldone", sim.run("caldone" + SCREEN), "caldone");
        c.that(s.waitFor(4), "status 4 at the end: " + s.all());
        c.that(s.SwitchToEmulation(h), "SwitchToEmulation");
        c.that(s.waitFor(2), "status 2 after the switch: " + s.all());
        c.that(!s.IsNativeMode(h), "no longer native");
        c.that(s.CloseDevice(h), "CloseDevice");

        // With the screen closed no request is under way: the restore adds none.
        int before = requests(sim);
        c.that(s.RestoreClickToneSetting(h), "RestoreClickToneSetting before any tone");
        c.equal(before, requests(sim), "no device request for the restore");

        before = requests(sim);
        c.that(s.SetToneExitClick(h), "SetToneExitClick");
        // The acquire and the tone setting only queue their commands: the getters are
        // counted once the controller has taken them all.
        c.that(waitForToneSettled(sim, before), "the controller took the tone setting: "
               + sim.run("payloads" + SCREEN));
        before = requests(sim);
        c.that(!s.GetToneEntryClick(h), "GetToneEntryClick");
        c.that(s.GetToneExitClick(h), "GetToneExitClick");
        c.that(!s.GetToneDisabled(h), "GetToneDisabled");
        c.equal(before, requests(sim), "no device request for the getters");
        String res = Files.readString(Path.of(System.getenv("OVK_ROOT"), "var/lib/misc/ovksys.res"));
        c.that(res.contains("*touchEntryClick: OFF\n"), "entry click in the resource file:\n" + res);
        c.that(res.contains("*touchExitClick: ON\n"), "exit click in the resource file:\n" + res);
        c.that(res.contains("*touchClickVolume: HIGH\n"), "click volume in the resource file:\n" + res);
        c.that(s.RestoreClickToneSetting(h), "RestoreClickToneSetting after a tone");

        c.equal(3, s.GetScreenResolutionID(h, 1024, 768), "1024 x 768");
        c.equal(0, s.GetScreenResolutionID(h, 768, 1024), "768 x 1024");
        c.equal(0, s.GetScreenResolutionID(h, 1366, 768), "1366 x 768");
        c.equal(7, s.GetScreenResolutionID(h, 1600, 1200), "1600 x 1200");
        c.that(s.SetCurrentScreenResolution(h, 1024, 768), "SetCurrentScreenResolution 1024 x 768");
        c.equal(3, s.GetSavedScreenResolutionID(h), "saved resolution");
        c.that(s.SetCurrentScreenResolution(h, 1366, 768), "SetCurrentScreenResolution 1366 x 768");
        c.equal(0, s.GetSavedScreenResolutionID(h), "saved unknown resolution");
        c.that(s.SetCalibrated(h, true), "SetCalibrated");
        c.that(s.IsCalibrated(h), "IsCalibrated");
        c.that(s.SetRemindCalibrate(h, false), "SetRemindCalibrate");
        c.that(!s.IsToRemindCalibrate(h), "IsToRemindCalibrate");

        s.TerminateTouchConnection(h);
        c.that(!s.SwitchToNative(h), "no device after TerminateTouchConnection");
        s.KillTouch(h);
        s.KillTouch(0);

        // A configuration file that cannot be rewritten: the setters say so.
        Path conf = Path.of(System.getenv("OVK_ROOT"), "var/lib/misc/ovktutil.conf");
        Files.delete(conf);
        Files.createDirectory(conf);
        c.that(!s.SetCalibrated(0, true), "SetCalibrated on a file that cannot be written");
        c.that(!s.SetRemindCalibrate(0, false), "SetRemindCalibrate on a file that cannot be written");
    }

    static void absent(Check c) {
        Screen s = new Screen();
        long h = s.InitializeTouch();
        c.that(!s.InitializeTouchScreen(h), "InitializeTouchScreen without the screen");
        Screen second = new Screen();
        long h2 = second.InitializeTouch();
        c.that(!second.InitializeTouchScreen(h2), "a second adapter in the same process");
        c.that(!second.SwitchToNative(h2), "SwitchToNative without the screen");
        second.TerminateTouchConnection(h2);
        second.KillTouch(h2);
        s.TerminateTouchConnection(h);
        s.KillTouch(h);
    }

    static void killWhileNative(Check c, SimControl sim) throws Exception {
        Screen s = new Screen();
        long h = s.InitializeTouch();
        if (!c.that(s.InitializeTouchScreen(h), "InitializeTouchScreen")) {
            return;
        }
        c.that(s.SwitchToNative(h), "SwitchToNative");
        c.that(s.waitFor(1), "status 1: " + s.all());
        s.KillTouch(h);
        c.that(waitForLastConfigure(sim, "21510001"), "the screen is back in emulation: "
               + sim.run("payloads" + SCREEN));
    }

    /** Waits until the controller has taken every command the exit click setting queued
     *  after the first `from` it got: the backlight command closes the set-up the acquire
     *  queues (its commands go in a fixed order, the backlight last), and the configure
     *  command with the exit click and the high click volume (flags 0x02 and 0x08) can only
     *  go after the last of the setting's changes of the configure flags. */
    static boolean waitForToneSettled(SimControl sim, int from) throws Exception {
        long end = System.nanoTime() + 15_000_000_000L;
        while (System.nanoTime() < end) {
            String[] p = sim.run("payloads" + SCREEN).substring(3).split(" ");
            boolean backlight = false;
            String configure = null;
            for (int i = 1 + from; i < p.length; i++) {
                if (p[i].startsWith("24")) backlight = true;
                if (p[i].startsWith("21") && p[i].length() >= 4) configure = p[i];
            }
            if (backlight && configure != null) {
                int flags = Integer.parseInt(configure.substring(2, 4), 16);
                if ((flags & 0x0E) == 0x0A) {
                    return true;
                }
            }
            Thread.sleep(20);
        }
        return false;
    }

    /** Waits until the last configure command the controller got is this one (in hex). */
    static boolean waitForLastConfigure(SimControl sim, String configure) throws Exception {
        long end = System.nanoTime() + 10_000_000_000L;
        while (System.nanoTime() < end) {
            String p = sim.run("payloads" + SCREEN);
            int at = p.lastIndexOf(" 21");
            if (at >= 0 && p.startsWith(configure, at + 1)) {
                return true;
            }
            Thread.sleep(20);
        }
        return false;
    }
}
