#!/usr/bin/env python3
"""The table of scripts/bench-footprint.sh from the results file the probe and the script wrote.

Usage: footprint-report.py RESULTS ARCH IDLE_SECONDS

A program that ended during the idle time (the probe says "still_running 0" and its exit code;
the script found no Linux process: "missing") is named with its exit code, and the figures it
cannot have are shown as "gone"; every other figure is still printed.
"""
import sys

WHO = ("zqrunner", "minimal", "wineserver")
NAMES = {"zqrunner": "ZqRunner.exe", "minimal": "MinimalTray.exe"}


def read(path):
    v = {}
    for line in open(path):
        parts = line.split()
        if len(parts) >= 3 and parts[0] in WHO:
            v[(parts[0], parts[1])] = parts[2:]
        elif parts and parts[0] == "error":
            sys.exit("bench-footprint: " + line.strip())
    return v


def report(path, arch, idle):
    v = read(path)

    def num(who, key, i=0):
        """The figure, or None when it is missing or not a number (a program that vanished)."""
        try:
            return float(v[(who, key)][i])
        except (KeyError, IndexError, ValueError):
            return None

    def linux(who, i):
        end, start = num(who, "linux_end", i), num(who, "linux_start", i)
        return None if end is None or start is None else end - start

    def scaled(x, k):
        return None if x is None else x * k

    lines = []
    for who in ("zqrunner", "minimal"):
        running = num(who, "still_running")
        if running == 0 or v.get((who, "linux_end"), [""])[0] == "missing":
            code = v.get((who, "exit_code"), ["unknown"])[0]
            lines.append(f"bench-footprint: {NAMES[who]} vanished during the idle time "
                         f"(exit code {code}); its idle figures are missing"
                         + ("; its folder keeps ZqRunner.log (and ZqRunner.dmp after a crash)"
                            if who == "zqrunner" else ""))
    rows = []
    for label, unit, f in [
        ("start to tray icon (median)", "ms", lambda w: num(w, "start_to_tray_ms_median")),
        ("private bytes after start-up", "KiB", lambda w: scaled(num(w, "private_bytes"), 1 / 1024)),
        ("working set after start-up", "KiB", lambda w: scaled(num(w, "working_set_bytes"), 1 / 1024)),
        (f"CPU time over {idle} s idle", "ms", lambda w: scaled(linux(w, 0), 10)),
        (f"wake-ups over {idle} s idle", "", lambda w: linux(w, 1)),
        (f"tray updates over {idle} s idle", "", lambda w: num(w, "idle_tray_messages")),
    ]:
        z, m = f("zqrunner"), f("minimal")
        if z is None or m is None:
            ratio = "n/a"
        else:
            ratio = f"{z / m:.2f}x" if m else ("1.00x" if z == 0 else "n/a (floor 0)")
        shown = [("gone" if x is None else f"{x:,.0f} {unit}".strip()) for x in (z, m)]
        rows.append((label, shown[0], shown[1], ratio))
    lines.append(f"bench-footprint: {arch} results ({path}):")
    lines.append(f"  {'figure':<36} {'ZqRunner.exe':>16} {'minimal':>16} {'ratio':>10}")
    for r in rows:
        lines.append(f"  {r[0]:<36} {r[1]:>16} {r[2]:>16} {r[3]:>10}")
    lines.append("  start times (ms), ZqRunner: " + " ".join(v.get(("zqrunner", "start_to_tray_ms_all"), []))
                 + " | minimal: " + " ".join(v.get(("minimal", "start_to_tray_ms_all"), [])))

    def fmt(x):
        return "gone" if x is None else f"{x:.0f}"
    lines.append(f"  CPU as Wine reports it (GetProcessTimes): ZqRunner {fmt(num('zqrunner', 'idle_cpu_ms_windows'))} ms, "
                 f"minimal {fmt(num('minimal', 'idle_cpu_ms_windows'))} ms; involuntary switches ZqRunner "
                 f"{fmt(linux('zqrunner', 2))}, minimal {fmt(linux('minimal', 2))}")
    if ("wineserver", "linux_start") in v:
        lines.append(f"  wineserver (shared by both) over the idle time: {fmt(scaled(linux('wineserver', 0), 10))} ms CPU, "
                     f"{fmt(linux('wineserver', 1))} wake-ups")
    return "\n".join(lines)


if __name__ == "__main__":
    print(report(sys.argv[1], sys.argv[2], int(sys.argv[3])))
