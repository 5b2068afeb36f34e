import com.qorvel.vusk.Native;
import java.io.File;
import java.io.IOException;
import java.io.RandomAccessFile;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import ovktest.Check;

/** The keyboard hook on a private root whose sniffer node is a FIFO that this program writes
 *  (held open before hooking, since the hook's open waits for a writer). */
public class KeyboardHookTest {
    /** A callback recording each call and the thread it came on. */
    public static class Recorder {
        final List<String> calls = new ArrayList<>();
        final List<Thread> threads = new ArrayList<>();

        public synchronized boolean processKey(int code, int kind, int three, int four) {
            calls.add(code + "," + kind + "," + three + "," + four);
            threads.add(Thread.currentThread());
            notifyAll();
            return true;
        }

        /** Waits for a call with these arguments ("code,kind,1,0"). */
        synchronized boolean waitFor(String call) throws InterruptedException {
            long end = System.nanoTime() + 10_000_000_000L;
            while (!calls.contains(call) && System.nanoTime() < end) {
                wait(100);
            }
            return calls.contains(call);
        }

        synchronized String all() {
            return calls.toString();
        }
    }

    /** A callback that throws: the reader goes on with the next byte. */
    public static class Thrower extends Recorder {
        @Override
        public synchronized boolean processKey(int code, int kind, int three, int four) {
            super.processKey(code, kind, three, four);
            throw new IllegalStateException("callback failed");
        }
    }

    public static void main(String[] args) throws Exception {
        System.loadLibrary("ovkjni");
        Check c = new Check();
        String root = System.getenv("OVK_ROOT");
        Path node = Path.of(root, "dev", "ovksyskbd");
        try (RandomAccessFile kbd = new RandomAccessFile(node.toFile(), "rw")) {
            c.that(!Native.hookKeyboard(new Object(), null), "a callback without processKey");
            c.that(!Native.hookKeyboard(null, null), "no callback");
            c.equal(1, opened(node), "node opened before hooking");

            Recorder first = new Recorder();
            c.that(Native.hookKeyboard(first, null), "hook");
            kbd.write(new byte[] {(byte) 0x9C, 0x1C});
            c.that(first.waitFor("28,1,1,0"), "two keys arrive: " + first.all());
            c.equal("[156,2,1,0, 28,1,1,0]", first.all(), "release and press");
            c.that(first.threads.get(0) != Thread.currentThread(), "called on the reader thread");

            Recorder second = new Recorder();
            c.that(Native.hookKeyboard(second, null), "second hook");
            c.equal(2, opened(node), "the node is opened once");
            kbd.write(0x2A);
            c.that(second.waitFor("42,1,1,0"), "the second callback gets the key: " + second.all());

            c.that(Native.unhookKeyboard(), "unhook");
            kbd.write(0x3B);
            Thrower third = new Thrower();
            c.that(Native.hookKeyboard(third, null), "hook after unhook");
            kbd.write(new byte[] {0x10, 0x11});
            c.that(third.waitFor("17,1,1,0"), "the new callback gets the keys: " + third.all());
            c.that(third.all().endsWith("16,1,1,0, 17,1,1,0]"), "both keys despite exceptions: " + third.all());
            c.equal("[42,1,1,0]", second.all(), "nothing for the unhooked callback");
            c.equal(2, first.calls.size(), "nothing more for the first callback");
            Native.unhookKeyboard();
        }

        c.that(!Native.setCapsLock(true), "Caps Lock without a console");
        Files.writeString(Path.of(root, "dev", "console"), "");
        c.that(!Native.setCapsLock(false), "Caps Lock on a console that is no terminal");
        c.exit();
    }

    /** How many descriptors of this process reach the node. */
    static int opened(Path node) throws IOException {
        int count = 0;
        File[] fds = new File("/proc/self/fd").listFiles();
        for (File fd : fds == null ? new File[0] : fds) {
            try {
                if (Files.readSymbolicLink(fd.toPath()).equals(node)) {
                    count++;
                }
            } catch (IOException e) {
                // a descriptor that closed meanwhile
            }
        }
        return count;
    }
}
