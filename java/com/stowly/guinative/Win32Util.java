package com.stowly.guinative;

/** Window utilities (Nativa.dll). */
public final class Win32Util {
    private Win32Util() {}

    public static native int findWindow(String className, String title);
    public static native int sendMessage(int window, int message, int wParam, int lParam);
    public static native int showWindow(int window, int showCommand);
}
