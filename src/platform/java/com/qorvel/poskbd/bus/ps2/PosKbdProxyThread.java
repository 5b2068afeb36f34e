package com.qorvel.poskbd.bus.ps2;

/** A thread that runs the sniffer or the driver loop: the native runs while isRunning() is
 *  true and tells through notifyStarted whether it could start. */
public class PosKbdProxyThread extends Thread {
    private final Runnable loop;
    private volatile boolean running = true;
    private volatile int fileDescriptor = -1;
    private Boolean started;

    public PosKbdProxyThread(Runnable loop) {
        this.loop = loop;
    }

    @Override
    public void run() {
        loop.run();
        synchronized (this) {
            if (started == null) {
                started = Boolean.FALSE;
            }
            notifyAll();
        }
    }

    public boolean isRunning() {
        return running;
    }

    public void stopRunning() {
        running = false;
    }

    public synchronized void notifyStarted(boolean ok) {
        started = ok;
        notifyAll();
    }

    /** Waits until the native said whether it started (or ended). */
    public synchronized boolean waitStarted() throws InterruptedException {
        while (started == null) {
            wait();
        }
        return started;
    }

    public void setFileDescriptor(int fd) {
        fileDescriptor = fd;
    }

    public int getFileDescriptor() {
        return fileDescriptor;
    }
}
