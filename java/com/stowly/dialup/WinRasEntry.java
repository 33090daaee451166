package com.stowly.dialup;

/** One active dial-up connection; created by Nativa.RasEnumConnections without a constructor. */
public final class WinRasEntry {
    public String name;
    public long handle;
}
