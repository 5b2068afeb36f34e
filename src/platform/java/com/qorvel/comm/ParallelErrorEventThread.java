package com.qorvel.comm;

/** The parallel error monitor of a port: runs monitorParallelErrorNC until interrupted. */
public class ParallelErrorEventThread extends Thread {
    public NSParallelPort pp;

    public ParallelErrorEventThread(NSParallelPort pp) {
        this.pp = pp;
    }

    public native int monitorParallelErrorNC(int fd);

    @Override
    public void run() {
        monitorParallelErrorNC(pp.fd);
    }
}
