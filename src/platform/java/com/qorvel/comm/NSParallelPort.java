package com.qorvel.comm;

import java.util.ArrayList;
import java.util.List;

/** A parallel port: open and close, the printer status bits, and the error events its thread
 *  reports through reportParallelEvent. */
public class NSParallelPort {
    public int fd = -1;
    public volatile boolean notifyOnErrorFlag;

    private final List<int[]> events = new ArrayList<>();

    public native int openDeviceNC(String node, int semId);
    public native void closeDeviceNC(int fd, int semId);
    public native boolean isPaperOutNC(int fd);
    public native boolean isPrinterBusyNC(int fd);
    public native boolean isPrinterSelectedNC(int fd);
    public native boolean isPrinterErrorNC(int fd);
    public native boolean isPrinterTimedOutNC(int fd);

    public void reportParallelEvent(int type, boolean oldValue, boolean newValue) {
        synchronized (events) {
            events.add(new int[] {type, oldValue ? 1 : 0, newValue ? 1 : 0});
            events.notifyAll();
        }
    }

    /** The events reported so far (type, old 0/1, new 0/1), waiting up to ms for count. */
    public List<int[]> events(int count, long ms) throws InterruptedException {
        long end = System.currentTimeMillis() + ms;
        synchronized (events) {
            while (events.size() < count && System.currentTimeMillis() < end) {
                events.wait(Math.max(1, end - System.currentTimeMillis()));
            }
            return new ArrayList<>(events);
        }
    }
}
