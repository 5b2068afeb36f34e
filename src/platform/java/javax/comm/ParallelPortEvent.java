package javax.comm;

/** The parallel port event type the natives report. */
public class ParallelPortEvent {
    public static final int PAR_EV_ERROR = 1;
}
