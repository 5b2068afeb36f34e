package com.qorvel.poskbd;

/** The key click setting. */
public class ClickCmd {
    public static final int CLICK_OFF = 10;
    public static final int CLICK_SOFT = 11;
    public static final int CLICK_LOUD = 12;

    private final int setting;

    public ClickCmd(int setting) {
        this.setting = setting;
    }

    public int getClickSetting() {
        return setting;
    }
}
