package com.stowly.dialup;

/** Dial-up networking, the client's own window title and shell open (Nativa.dll). */
public final class Nativa {
    private Nativa() {}

    public static native String[] RasEnumEntries();
    public static native WinRasEntry[] RasEnumConnections();
    public static native long RasDial(String entry, String user, String password);
    public static native int RasGetConnectStatus(long handle);
    public static native int RasHangUp(long handle);
    public static native void SetTitle(String title);
    public static native int newInstance();
    public static native void ExecShell(String file);
}
