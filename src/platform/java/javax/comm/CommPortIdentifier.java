package javax.comm;

/** A port known by its logical name ("COM1", "LPT1"), implemented by libqorvelcomm (the
 *  program loads it: System.loadLibrary("qorvelcomm")). requestPort asks the process that
 *  holds the port to give it up; the ownership watch runs in monitorInterJVMDeviceAccessNC
 *  until the given thread is interrupted, every pollingTime seconds. */
public class CommPortIdentifier {
    public static int pollingTime = 5;

    public String name;
    private volatile boolean portOpen;
    private CommPortOwnershipListener listener;

    public CommPortIdentifier(String name) {
        this.name = name;
    }

    public native int requestPort();
    public native int monitorInterJVMDeviceAccessNC(Thread thread);

    public void setPortOpen(boolean open) {
        portOpen = open;
    }

    public boolean isPortStillOpened() {
        return portOpen;
    }

    public synchronized void addPortOwnershipListener(CommPortOwnershipListener l) {
        listener = l;
    }

    public void fireOwnershipEvent(int type) {
        CommPortOwnershipListener l;
        synchronized (this) {
            l = listener;
        }
        if (l != null) {
            l.ownershipChange(type);
        }
    }
}
