package com.qorvel.comm;

import java.util.ArrayList;
import java.util.List;

/** Port discovery: discoverDevicesNC(prefix, type) probes prefix + 0 to prefix + 98 (type 1
 *  serial, 2 parallel) and reports each new port through addDeviceToList. */
public class NSCommDriver {
    /** A port found: logical name, type, node, semaphore id. */
    public static final class Device {
        public final String name;
        public final int type;
        public final String node;
        public final int semId;

        Device(String name, int type, String node, int semId) {
            this.name = name;
            this.type = type;
            this.node = node;
            this.semId = semId;
        }
    }

    private final List<Device> devices = new ArrayList<>();

    public native void discoverDevicesNC(String prefix, int type);

    public void addDeviceToList(String name, int type, String node, int semId) {
        devices.add(new Device(name, type, node, semId));
    }

    public List<Device> getDevices() {
        return devices;
    }
}
