package com.qorvel.comm;

/** Reads of a port: tmo is the read timeout in ms (0 or less: none); tmoDone is set when a
 *  multi-byte read timed out. */
public class NSDeviceInputStream {
    public int fd;
    public int tmo;
    public boolean tmoDone;

    public NSDeviceInputStream(int fd, int tmo) {
        this.fd = fd;
        this.tmo = tmo;
    }

    public native int readDeviceOneByteNC();
    public native int readDeviceNC(byte[] b, int off, int len);
    public native int getReadCountNC();
}
