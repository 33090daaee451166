package com.korvel.stash9.os.win32;

/** Win32 backup interface: privileges, security descriptors, backup streams (Nativa.dll). */
public final class BackupApi {
    private BackupApi() {}

    public static native void setPrivilege(String name, boolean enable) throws Exception;
    public static native int readSecurityDescriptor(String path, byte[] buffer, int length)
            throws java.io.IOException;
    public static native void writeSecurityDescriptor(String path, byte[] buffer, int offset, int length)
            throws java.io.IOException;
    public static native int BackupRead(int[] context, int handle, byte[] buffer, int offset, int length,
            boolean abort, boolean processSecurity);
    public static native int BackupWrite(int[] context, int handle, byte[] buffer, int offset, int length,
            boolean abort, boolean processSecurity);
    public static native int CreateFile(String path, int desiredAccess, int shareMode, int securityAttributes,
            int creationDisposition, int flagsAndAttributes, int templateFile) throws java.io.IOException;
    public static native int CloseHandle(int handle) throws java.io.IOException;
}
