package com.stowly.fileutils;

/**
 * Directory search, drive type and change notification (Nativa.dll). The information object
 * may be of any class with the fields filename (String), fileattrib (long), filesize (long)
 * and directory (boolean); every call must pass objects of one and the same class.
 */
public final class Win32FileNatives {
    private Win32FileNatives() {}

    public static native int nativeDriveType(String rootPath);
    public static native long nativeFindFirstFile(String pattern, Object info);
    public static native Object nativeFindNextFile(long handle, Object info);
    public static native int nativeFindClose(long handle);
    public static native long nativeFindFirstChangeNotification(String path, boolean watchSubtree, long filter);
    public static native int nativeFindNextChangeNotification(long handle);
    public static native int nativeFindCloseChangeNotification(long handle);
    public static native long nativeWaitForSingleObject(long handle, long timeoutMillis);
}
