package ovktest;

import java.io.IOException;
import java.net.StandardProtocolFamily;
import java.net.UnixDomainSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.SocketChannel;
import java.nio.charset.StandardCharsets;

/** ovksim's control socket ("/tmp/.ovksim" under the test's root): a command line out, its
 *  reply line back. */
public final class SimControl implements AutoCloseable {
    private final SocketChannel channel;
    private final Selector selector;

    public SimControl() throws IOException {
        this(System.getenv("OVK_ROOT") + "/tmp/.ovksim");
    }

    public SimControl(String path) throws IOException {
        channel = SocketChannel.open(StandardProtocolFamily.UNIX);
        channel.connect(UnixDomainSocketAddress.of(path));
        channel.configureBlocking(false);
        selector = Selector.open();
        channel.register(selector, SelectionKey.OP_READ);
    }

    /** The reply ("" when none came within 5 s). */
    public String run(String command) throws IOException {
        ByteBuffer out = ByteBuffer.wrap((command + "\n").getBytes(StandardCharsets.US_ASCII));
        while (out.hasRemaining()) {
            channel.write(out);
        }
        StringBuilder reply = new StringBuilder();
        ByteBuffer in = ByteBuffer.allocate(512);
        long end = System.nanoTime() + 5_000_000_000L;
        while (System.nanoTime() < end) {
            selector.select(Math.max(1, (end - System.nanoTime()) / 1_000_000));
            selector.selectedKeys().clear();
            in.clear();
            int got = channel.read(in);
            if (got < 0) {
                return "";
            }
            reply.append(new String(in.array(), 0, got, StandardCharsets.ISO_8859_1));
            int newline = reply.indexOf("\n");
            if (newline >= 0) {
                return reply.substring(0, newline);
            }
        }
        return "";
    }

    /** Repeats a command until its reply contains text (that reply) or the time is up (the
     *  last reply). */
    public String waitFor(String command, String text, long timeoutMs) throws IOException {
        long end = System.nanoTime() + timeoutMs * 1_000_000L;
        for (;;) {
            String reply = run(command);
            if (reply.contains(text) || System.nanoTime() >= end) {
                return reply;
            }
            try {
                Thread.sleep(20);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return reply;
            }
        }
    }

    @Override
    public void close() throws IOException {
        selector.close();
        channel.close();
    }
}
