package com.qorvel.poskbd.bus.ps2;

import java.util.Queue;
import java.util.concurrent.ConcurrentLinkedQueue;

/** The Java side of the sniffer and the driver loop: the lists of valid keyboards (versions,
 *  or vendor and product pairs; null or empty for any keyboard), what the natives hand over,
 *  and the commands queued for the driver loop's thread. The handlers do nothing here;
 *  programs override them. */
public class PosKbdProxy {
    public int[] validKbds;
    public int[] validKbdsByVendor;
    public int[] validKbdsByProduct;

    private final Queue<Runnable> commands = new ConcurrentLinkedQueue<>();

    /** Scan codes from the sniffer: the first count bytes of codes. */
    public void processScancodes(byte[] codes, int count) {
    }

    /** A changed keyboard status: the first count bytes of status. */
    public void processKbdStatus(byte[] status, int count) {
    }

    /** Data read from the magnetic-stripe reader: the first count bytes of data. */
    public void processMsrData(byte[] data, int count) {
    }

    /** Queues a command for the driver loop's thread. */
    public void queue(Runnable command) {
        commands.add(command);
    }

    /** Runs the queued commands (the driver loop calls it on its thread). */
    public void runPS2Command() {
        Runnable r;
        while ((r = commands.poll()) != null) {
            r.run();
        }
    }
}
