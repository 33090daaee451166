package com.korvel.sump;

/** Service interface natives; both do nothing. */
public final class SUMPInterface {
    private SUMPInterface() {}

    public static native void init();
    public static native void ScValidate(int value);
}
