package com.qorvel.comm;

/** The serial data monitor of a port: runs monitorSerialDataNC until interrupted. */
public class SerialDataEventThread extends Thread {
    public NSSerialPort serialPort;

    public SerialDataEventThread(NSSerialPort serialPort) {
        this.serialPort = serialPort;
    }

    public native int monitorSerialDataNC(int fd);

    @Override
    public void run() {
        monitorSerialDataNC(serialPort.fd);
    }
}
