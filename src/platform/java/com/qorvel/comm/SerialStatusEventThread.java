package com.qorvel.comm;

/** The modem-line monitor of a port: runs monitorSerialStatusNC until interrupted. */
public class SerialStatusEventThread extends Thread {
    public NSSerialPort serialPort;

    public SerialStatusEventThread(NSSerialPort serialPort) {
        this.serialPort = serialPort;
    }

    public native int monitorSerialStatusNC(int fd);

    @Override
    public void run() {
        monitorSerialStatusNC(serialPort.fd);
    }
}
