package com.korvel.system;

/** The system's Internet proxy settings (Nativa.dll). */
public final class Internet {
    private Internet() {}

    public static native String queryProxyServers();
    public static native String queryProxyBypass();
    public static native String queryStringValue(int option);
}
