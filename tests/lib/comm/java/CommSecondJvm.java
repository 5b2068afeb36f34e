import com.qorvel.comm.NSCommDriver;
import com.qorvel.comm.NSSerialPort;
import javax.comm.CommPortIdentifier;

/** The second JVM of CommPortsTest: finds the same ports, fails to open the held COM1 and
 *  asks its holder for it. */
public class CommSecondJvm {
    public static void main(String[] args) {
        System.loadLibrary("qorvelcomm");
        NSCommDriver driver = new NSCommDriver();
        driver.discoverDevicesNC(args[0], 1);
        NSCommDriver.Device com1 = driver.getDevices().get(0);
        System.out.println("open " + new NSSerialPort().openDeviceNC(com1.node, com1.semId));
        System.out.println("request " + new CommPortIdentifier(com1.name).requestPort());
    }
}
