import com.qorvel.comm.NSCommDriver;
import com.qorvel.comm.NSDeviceInputStream;
import com.qorvel.comm.NSDeviceOutputStream;
import com.qorvel.comm.NSParallelPort;
import com.qorvel.comm.NSSerialPort;
import com.qorvel.comm.ParallelErrorEventThread;
import com.qorvel.comm.SerialStatusEventThread;
import fakedev.FakeDevices;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import javax.comm.CommPortIdentifier;
import javax.comm.CommPortOwnershipListener;
import javax.comm.ParallelPortEvent;
import javax.comm.SerialPortEvent;
import ovktest.Check;

/** libqorvelcomm on pseudo-terminals (in a private IPC namespace: the keys are fixed):
 *  discovery, ownership within and between JVMs, line settings, streams and monitors. */
public class CommPortsTest {
    static final int TIOCM_CTS = 0x020;

    public static void main(String[] args) throws Exception {
        System.loadLibrary("qorvelcomm");
        FakeDevices.install();
        CommPortIdentifier.pollingTime = 1;
        Check c = new Check();
        String dir = FakeDevices.makeTempDir();
        String prefix = dir + "/p";
        c.that(prefix.length() <= 15, "prefix fits: " + prefix);
        int master0 = FakeDevices.openPty(prefix + "0");
        FakeDevices.openPty(prefix + "1");
        FakeDevices.addPort(prefix + "0", 0);

        NSCommDriver driver = new NSCommDriver();
        driver.discoverDevicesNC(prefix, 1);
        List<NSCommDriver.Device> found = driver.getDevices();
        c.equal(2, found.size(), "ports found");
        if (found.size() != 2) {
            c.exit();
        }
        c.equal("COM1", found.get(0).name, "first name");
        c.equal("COM2", found.get(1).name, "second name");
        c.equal(prefix + "1", found.get(1).node, "second node");
        c.equal(FakeDevices.semget(0x11223344), found.get(0).semId, "COM1 semaphore key");
        c.equal(FakeDevices.semget(0x11223345), found.get(1).semId, "COM2 semaphore key");
        driver.discoverDevicesNC(prefix, 1);
        c.equal(2, driver.getDevices().size(), "a second discovery adds nothing");

        int semId = found.get(0).semId;
        NSSerialPort port = new NSSerialPort();
        port.fd = port.openDeviceNC(prefix + "0", semId);
        c.that(port.fd >= 0, "COM1 opened");
        c.equal(1, FakeDevices.semValue(semId), "held");
        c.equal(-1, new NSSerialPort().openDeviceNC(prefix + "0", semId), "a held port opens -1");

        // A second JVM cannot open it either; its request reaches our ownership watch.
        CommPortIdentifier id = new CommPortIdentifier("COM1");
        id.setPortOpen(true);
        List<Integer> ownership = new ArrayList<>();
        id.addPortOwnershipListener(type -> {
            synchronized (ownership) {
                ownership.add(type);
                ownership.notifyAll();
            }
        });
        Thread watch = new Thread() {
            @Override
            public void run() {
                id.monitorInterJVMDeviceAccessNC(this);
            }
        };
        watch.start();
        String second = runSecondJvm(prefix);
        c.that(second.contains("open -1") && second.contains("request 0"),
               "second JVM: " + second.trim());
        synchronized (ownership) {
            long end = System.currentTimeMillis() + 10000;
            while (!ownership.contains(CommPortOwnershipListener.PORT_OWNERSHIP_REQUESTED)
                   && System.currentTimeMillis() < end) {
                ownership.wait(100);
            }
            c.that(ownership.contains(CommPortOwnershipListener.PORT_OWNERSHIP_REQUESTED),
                   "ownership requested: " + ownership);
        }
        watch.interrupt();
        watch.join(5000);
        c.that(!watch.isAlive(), "ownership watch ended");

        int fd = port.fd;
        c.equal(0, port.setSerialPortParamsNC(fd, 9600, 7, 2, 2), "line settings");
        c.equal(9600, port.getBaudRateNC(fd), "speed");
        c.equal(2, port.getStopBitsNC(fd), "stop bits");
        c.equal(7, port.getDataBitsNC(fd), "data bits");
        c.equal(2, port.getParityNC(fd), "parity");
        c.equal(12, port.setFlowControlModeNC(fd, 12), "flow control set");
        c.equal(12, port.getFlowControlModeNC(fd), "flow control read");
        port.setDTRNC(true);
        c.that(port.isDTRNC() && !port.isRTSNC(), "DTR on, RTS off");

        NSDeviceInputStream in = new NSDeviceInputStream(fd, 100);
        byte[] buf = new byte[32];
        long start = System.nanoTime();
        c.equal(-1, in.readDeviceNC(buf, 0, 10), "read with no input");
        long tookMs = (System.nanoTime() - start) / 1_000_000;
        c.that(tookMs >= 90, "waited about 100 ms: " + tookMs);
        c.that(in.tmoDone, "tmoDone");

        FakeDevices.writeMaster(master0, "abcdefghijklmnopqrstuvwxy".getBytes(StandardCharsets.US_ASCII));
        for (int i = 0; i < 500 && in.getReadCountNC() < 25; i++) {
            Thread.sleep(2);
        }
        c.equal(25, in.getReadCountNC(), "bytes waiting");
        in.tmo = 1000;
        c.equal(10, in.readDeviceNC(buf, 0, 10), "10 of 25");
        c.equal("abcdefghij", new String(buf, 0, 10, StandardCharsets.US_ASCII), "bytes read");
        c.equal('k', in.readDeviceOneByteNC(), "one byte");

        NSDeviceOutputStream out = new NSDeviceOutputStream(fd, 0);
        c.equal(5, out.writeDeviceNC("hello".getBytes(StandardCharsets.US_ASCII), 0, 5), "written");
        c.equal("hello", new String(FakeDevices.readMaster(master0, 5, 2000), StandardCharsets.US_ASCII),
                "written bytes reach the pty");

        // Two CTS transitions: reported (false, true) then (true, false).
        port.notifyOnCTSFlag = true;
        SerialStatusEventThread status = new SerialStatusEventThread(port);
        status.start();
        Thread.sleep(300);  // the line watch starts following the counters
        FakeDevices.toggleLines(prefix + "0", TIOCM_CTS);
        FakeDevices.toggleLines(prefix + "0", TIOCM_CTS);
        List<int[]> events = port.events(2, 5000);
        c.equal(2, events.size(), "CTS events");
        if (events.size() == 2) {
            c.that(events.get(0)[0] == SerialPortEvent.CTS && events.get(0)[1] == 0
                   && events.get(0)[2] == 1, "first CTS event (false, true)");
            c.that(events.get(1)[0] == SerialPortEvent.CTS && events.get(1)[1] == 1
                   && events.get(1)[2] == 0, "second CTS event (true, false)");
        }
        status.interrupt();
        status.join(5000);
        c.that(!status.isAlive(), "modem-line monitor ended");

        port.closeDeviceNC(fd, semId);
        c.equal(0, FakeDevices.semValue(semId), "closing gives the port back");

        // Parallel port: 0x20 set, then 0x08 set and 0x20 cleared at once: 0x08 alone reported.
        String lp = dir + "/l";
        FakeDevices.openPty(lp + "0");
        FakeDevices.addPort(lp + "0", 0);
        FakeDevices.setPrinterStatus(lp + "0", 0x20);
        driver.discoverDevicesNC(lp, 2);
        NSCommDriver.Device lpt = driver.getDevices().get(driver.getDevices().size() - 1);
        c.equal("LPT1", lpt.name, "parallel port name");
        NSParallelPort pp = new NSParallelPort();
        pp.fd = pp.openDeviceNC(lp + "0", lpt.semId);
        c.that(pp.fd >= 0, "LPT1 opened");
        c.that(pp.isPaperOutNC(pp.fd) && pp.isPrinterBusyNC(pp.fd) && pp.isPrinterErrorNC(pp.fd)
               && pp.isPrinterSelectedNC(pp.fd) && !pp.isPrinterTimedOutNC(pp.fd),
               "status bits of 0x20");
        pp.notifyOnErrorFlag = true;
        ParallelErrorEventThread errors = new ParallelErrorEventThread(pp);
        errors.start();
        Thread.sleep(300);  // the monitor reads the first status
        FakeDevices.setPrinterStatus(lp + "0", 0x08);
        List<int[]> pe = pp.events(1, 5000);
        Thread.sleep(1500);  // a further pass reports nothing more
        pe = pp.events(1, 0);
        c.equal(1, pe.size(), "parallel events");
        if (pe.size() == 1) {
            c.that(pe.get(0)[0] == ParallelPortEvent.PAR_EV_ERROR && pe.get(0)[1] == 0
                   && pe.get(0)[2] == 1, "0x08 reported (false, true)");
        }
        errors.interrupt();
        errors.join(5000);
        pp.closeDeviceNC(pp.fd, lpt.semId);
        c.exit();
    }

    /** Runs CommSecondJvm with the same class and library paths; its output. */
    static String runSecondJvm(String prefix) throws Exception {
        String java = ProcessHandle.current().info().command().orElse("java");
        ProcessBuilder pb = new ProcessBuilder(java, "-Xcheck:jni",
            "-Djava.library.path=" + System.getProperty("java.library.path"),
            "-cp", System.getProperty("java.class.path"), "CommSecondJvm", prefix);
        pb.redirectErrorStream(true);
        Process p = pb.start();
        ByteArrayOutputStream text = new ByteArrayOutputStream();
        try (InputStream s = p.getInputStream()) {
            s.transferTo(text);
        }
        p.waitFor();
        return text.toString(StandardCharsets.UTF_8);
    }
}
