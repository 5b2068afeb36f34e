package com.qorvel.poskbd;

/** A tone: on or off, timed (with a duration) or continuous, a frequency and a volume. */
public class ToneCmd {
    public static final int FREQUENCY_875 = 875;
    public static final int FREQUENCY_1300 = 1300;
    public static final int FREQUENCY_2000 = 2000;
    public static final int VOLUME_LOW = 1;
    public static final int VOLUME_HIGH = 2;

    private final boolean on, timed;
    private final int duration, frequency, volume;

    public ToneCmd(boolean on, boolean timed, int duration, int frequency, int volume) {
        this.on = on;
        this.timed = timed;
        this.duration = duration;
        this.frequency = frequency;
        this.volume = volume;
    }

    public boolean getOn() {
        return on;
    }

    public boolean getTimed() {
        return timed;
    }

    public int getDuration() {
        return duration;
    }

    public int getFrequency() {
        return frequency;
    }

    public int getVolume() {
        return volume;
    }
}
