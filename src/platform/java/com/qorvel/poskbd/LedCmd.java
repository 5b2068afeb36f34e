package com.qorvel.poskbd;

/** The POS lights 1 to 7 to turn on. */
public class LedCmd {
    private final boolean[] on = new boolean[8];

    public LedCmd(int... lights) {
        for (int n : lights) {
            on[n] = true;
        }
    }

    public boolean getLed(int n) {
        return n >= 1 && n <= 7 && on[n];
    }
}
