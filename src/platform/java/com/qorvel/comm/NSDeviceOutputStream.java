package com.qorvel.comm;

/** Writes to a port; pt is the port type (1 parallel). */
public class NSDeviceOutputStream {
    public int fd;
    public int pt;

    public NSDeviceOutputStream(int fd, int pt) {
        this.fd = fd;
        this.pt = pt;
    }

    public native int writeDeviceNC(byte[] b, int off, int len);
}
