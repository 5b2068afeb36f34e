package ovktest;

import java.util.Arrays;
import java.util.Objects;

/** Counts the checks of a Java test program and closes it with "N passed, N failed"; the exit
 *  status is non-zero when a check failed. Failures are printed with what was checked. */
public final class Check {
    private int passed;
    private int failed;

    public boolean that(boolean condition, String what) {
        if (condition) {
            passed++;
        } else {
            failed++;
            System.out.println("FAILED: " + what);
        }
        return condition;
    }

    public boolean equal(long expected, long actual, String what) {
        return that(expected == actual, what + ": expected " + expected + ", got " + actual);
    }

    public boolean equal(Object expected, Object actual, String what) {
        return that(Objects.equals(expected, actual),
                    what + ": expected " + expected + ", got " + actual);
    }

    public boolean equal(byte[] expected, byte[] actual, String what) {
        return that(Arrays.equals(expected, actual), what + ": expected "
                    + Arrays.toString(expected) + ", got " + Arrays.toString(actual));
    }

    /** Runs body and expects it to throw an exception of the given class. */
    public boolean throwsA(Class<? extends Throwable> expected, Runnable body, String what) {
        try {
            body.run();
        } catch (Throwable t) {
            return that(expected.isInstance(t), what + ": threw " + t);
        }
        return that(false, what + ": threw nothing");
    }

    public int failures() {
        return failed;
    }

    /** Prints the summary line and ends the program. */
    public void exit() {
        System.out.println(passed + " passed, " + failed + " failed");
        System.out.flush();
        System.exit(failed == 0 ? 0 : 1);
    }
}
