import com.qorvel.vusk.PosArg;
import ovktest.Check;

/** The Java test set-up itself: a JVM runs under CTest with the stand-in classes on its class
 *  path and the staging root's libraries on its library path. */
public class JvmRunsTest {
    public static void main(String[] args) {
        Check c = new Check();
        PosArg arg = new PosArg("readTimeout", null);
        c.equal("readTimeout", arg.getName(), "name");
        c.equal(null, arg.getValue(), "value before setValue");
        arg.setValue(500);
        c.equal(Integer.valueOf(500), arg.getValue(), "value after setValue");
        c.that(System.getProperty("java.library.path").contains("/root/usr/lib:"),
               "library path " + System.getProperty("java.library.path"));
        c.that(Runtime.version().feature() >= 17, "Java " + Runtime.version());
        c.exit();
    }
}
