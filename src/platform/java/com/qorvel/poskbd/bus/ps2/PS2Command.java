package com.qorvel.poskbd.bus.ps2;

import com.qorvel.poskbd.ClickCmd;
import com.qorvel.poskbd.LedCmd;
import com.qorvel.poskbd.MsrTracks;
import com.qorvel.poskbd.ToneCmd;
import com.qorvel.poskbd.TrapKeys;

/** A keyboard command: its inputs (each native reads the ones it needs) and its outcome. */
public class PS2Command {
    public byte[] codeUpdate;
    public byte[] doubleKeys;
    public boolean enabled;
    public boolean typematic;
    public MsrTracks msrTracks;
    public ClickCmd click;
    public LedCmd ledCmd;
    public ToneCmd toneCmd;
    public TrapKeys trapKeys;

    private volatile int errorCode = 1;
    private volatile boolean completed;
    private byte[] status;
    private short[] devInfoShorts;
    private byte[] devInfoBytes;

    public void setErrorCode(int code) {
        errorCode = code;
    }

    public int getErrorCode() {
        return errorCode;
    }

    public void setCompleted(boolean done) {
        completed = done;
    }

    public boolean isCompleted() {
        return completed;
    }

    public void setStatus(byte[] s) {
        status = s;
    }

    public byte[] getStatus() {
        return status;
    }

    public void setDevInfo(short keyboardId, short keyboardSubtype, byte features, byte keyboardEc,
                           byte featureByte1, byte firmwareVersion, byte firmwareRelease,
                           short msrType, byte msrEc) {
        devInfoShorts = new short[] {keyboardId, keyboardSubtype, msrType};
        devInfoBytes = new byte[] {features, keyboardEc, featureByte1, firmwareVersion,
                                   firmwareRelease, msrEc};
    }

    public short[] getDevInfoShorts() {
        return devInfoShorts;
    }

    public byte[] getDevInfoBytes() {
        return devInfoBytes;
    }
}
