package javax.comm;

/** The serial port event types the natives report. */
public class SerialPortEvent {
    public static final int DATA_AVAILABLE = 1;
    public static final int CTS = 3;
    public static final int DSR = 4;
    public static final int RI = 5;
    public static final int CD = 6;
}
