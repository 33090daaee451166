package com.stowly.guinative;

/** The hidden "KorvelBackupWindow" through which other programs reach the client (Nativa.dll). */
public class DesktopIndicator {
    /** Written by the native library: nonzero while the indicator is enabled. */
    private int handler;

    /** Called on the library's indicator thread when another program activates the client. */
    protected void fireClicked() {}

    public native void nativeEnable(int image, String tooltip);
    public native void nativeDisable();
    public static native int nativeLoadImage(String path);
    public static native int nativeFreeImage(int image);
    public static native int nativeRestoreWindow();
}
