package com.qorvel.poskbd;

/** The magnetic-stripe tracks to enable. */
public class MsrTracks {
    private final boolean iso1, iso2, iso3, jis2, extData;

    public MsrTracks(boolean iso1, boolean iso2, boolean iso3, boolean jis2, boolean extData) {
        this.iso1 = iso1;
        this.iso2 = iso2;
        this.iso3 = iso3;
        this.jis2 = jis2;
        this.extData = extData;
    }

    public boolean getTrackISO1() {
        return iso1;
    }

    public boolean getTrackISO2() {
        return iso2;
    }

    public boolean getTrackISO3() {
        return iso3;
    }

    public boolean getTrackJISII() {
        return jis2;
    }

    public boolean getExtDataReportEnabled() {
        return extData;
    }
}
