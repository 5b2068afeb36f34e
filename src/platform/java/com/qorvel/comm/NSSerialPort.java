package com.qorvel.comm;

import java.util.ArrayList;
import java.util.List;

/** A serial port: open and close by node and semaphore id (-1: without the ownership lock),
 *  line settings on the descriptor, modem lines on the port's own descriptor (fd). The event
 *  threads report through setByteCount and reportSerialEvent. */
public class NSSerialPort {
    public int fd = -1;
    public volatile boolean notifyOnDataFlag;
    public volatile boolean notifyOnCDFlag;
    public volatile boolean notifyOnCTSFlag;
    public volatile boolean notifyOnDSRFlag;
    public volatile boolean notifyOnRIFlag;

    private volatile int byteCount;
    private final List<int[]> events = new ArrayList<>();

    public native int openDeviceNC(String node, int semId);
    public native void closeDeviceNC(int fd, int semId);
    public native int setSerialPortParamsNC(int fd, int baud, int dataBits, int stopBits,
                                            int parity);
    public native int setFlowControlModeNC(int fd, int mode);
    public native int getFlowControlModeNC(int fd);
    public native int getBaudRateNC(int fd);
    public native int getDataBitsNC(int fd);
    public native int getStopBitsNC(int fd);
    public native int getParityNC(int fd);
    public native int setDTRNC(boolean on);
    public native int setRTSNC(boolean on);
    public native boolean isDTRNC();
    public native boolean isRTSNC();
    public native boolean isCTSNC();
    public native boolean isDSRNC();
    public native boolean isRINC();
    public native boolean isCDNC();
    public native int sendBreakNC(int fd, int duration);

    public boolean setByteCount(int count) {
        byteCount = count;
        return true;
    }

    public int getByteCount() {
        return byteCount;
    }

    public void reportSerialEvent(int type, boolean oldValue, boolean newValue) {
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
