#!/usr/bin/env bash
# Kills a real updater ("updSW.exe -update D\") under Wine part-way through an update and
# looks at the installation then, and again after the next start of "ZqRunner.exe".
#   bash scripts/update-kill.sh [ZqRunner.exe ...]     (default: build/win64/runner/ZqRunner.exe)
# Each program given is measured in each scenario, so an older build can be compared with
# this one: give both. Scenarios, as a review did it (a poller on file sizes, then the
# process killed outright):
#   nativa  killed while the 8,000,000-byte Nativa.dll of the new version is written;
#   jar     killed while the new version's last jar is written (after its settings files);
#   switch  killed as soon as the update's journal says that the files are being put in
#           place (only a build that keeps a journal gets there);
#   none    not killed: how long the updater takes, and what it leaves.
# The installation: the program as "ZqRunner.exe", a 500,000-byte Nativa.dll, two jars, the
# user's defaults.properties and system2.properties, the sample texts, a stand-in client as
# java\bin\javaw.exe (it ends after 2 s). The new version: the same program with a marker
# appended (it runs the same; the bytes tell old from new), Nativa.dll, three 10 MB jars
# and a 12 MB one below lib\, new defaults.properties and system2.properties.
# Runs in its own Wine prefix (build/updkill-prefix) and ends its own Wine server after
# each run; work files in build/updkill.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
exes=("$@")
[ ${#exes[@]} -gt 0 ] || exes=("build/win64/runner/ZqRunner.exe")
for e in "${exes[@]}"; do [ -f "$e" ] || { echo "update-kill: $e not found" >&2; exit 1; }; done
[ -x build/host/tools/zqarc ] || { bash scripts/build.sh host >/dev/null; }
standin=build/win64/tests/win/standin/standin_client.exe
[ -f "$standin" ] || cmake --build build/win64 --target standin_client >/dev/null
export ZQ_WINEPREFIX="$root/build/updkill-prefix"
abs=()
for e in "${exes[@]}"; do abs+=("$(realpath "$e")"); done
exec scripts/with-wine.sh python3 - "$root" "$(realpath "$standin")" "${abs[@]}" <<'PY'
import hashlib, os, shutil, signal, subprocess, sys, time

root, standin, exes = sys.argv[1], sys.argv[2], sys.argv[3:]
work = os.path.join(root, "build", "updkill")
zqarc = os.path.join(root, "build", "host", "tools", "zqarc")
USER_DEFAULTS = b"#mine\r\nSERVER_IP=my.server\r\nuser.key=kept\r\n"
NEW_DEFAULTS = b"SERVER_IP=new.server\r\nnew.key=1\r\n"
USER_SYSTEM2 = b"cancel=ON\r\n"

def blob(size, seed):
    # Incompressible bytes, so that the archive holds them at their full size.
    out, block = bytearray(), hashlib.sha256(seed.encode()).digest()
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block * 64
    return bytes(out[:size])

def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

def get(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None

def winpath(path):
    return "Z:" + path.replace("/", "\\")

def wine(*args, **kw):
    return subprocess.Popen(["wine", *args], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, **kw)

def describe(data, old, new):
    if data is None:
        return "missing"
    if data == new:
        return "new"
    if data == old:
        return "old"
    return "%d bytes, neither old nor new" % len(data)

def settings(data):
    if data is None:
        return "missing"
    text = data.decode("latin-1")
    if "user.key=kept" in text and "new.key=1" in text:
        return "user's values, new key added"
    if "user.key=kept" in text:
        return "user's values (not merged)"
    if data == NEW_DEFAULTS:
        return "the archive's, user's values gone"
    return "other (%d bytes)" % len(data)

def run(exe, scenario):
    inst = os.path.join(work, "inst")
    shutil.rmtree(work, ignore_errors=True)
    program = get(exe)
    new_program = program + b"\0NEW VERSION MARKER\0" * 64
    nativa_old, nativa_new = blob(500000, "old nativa"), blob(8000000, "new nativa")
    sample = os.path.join(root, "sample", "install")
    os.makedirs(inst)
    for name in os.listdir(sample):
        shutil.copy(os.path.join(sample, name), inst)
    put(inst + "/ZqRunner.exe", program)
    put(inst + "/Nativa.dll", nativa_old)
    put(inst + "/stash9.jar", b"old main jar")
    put(inst + "/lib/a.jar", blob(300000, "old a"))
    put(inst + "/defaults.properties", USER_DEFAULTS)
    put(inst + "/system2.properties", USER_SYSTEM2)
    put(inst + "/java/bin/javaw.exe", get(standin))
    put(inst + "/java/bin/standin.cfg", b"ZQ_STANDIN_EXIT_MS=2000\r\n")
    new = os.path.join(work, "new")
    put(new + "/ZqRunner.exe", new_program)
    put(new + "/Nativa.dll", nativa_new)
    put(new + "/defaults.properties", NEW_DEFAULTS)
    put(new + "/system2.properties", b"cancel=OFF\r\n")
    for i, name in enumerate(["a.jar", "b.jar", "c.jar"]):
        put(new + "/lib/" + name, blob(10000000, "jar %d" % i))
    put(new + "/lib/zz.jar", blob(12000000, "last jar"))
    archive = inst + "/NewVer.ZLib"
    subprocess.run([zqarc, "create", "-1", archive, new], check=True, stdout=subprocess.DEVNULL)
    temp = os.path.join(work, "temp")
    os.makedirs(temp)
    updater = temp + "/updSW.exe"
    shutil.copy(exe, updater)

    # The poller: a file of D (nativa) or of D\lib (jar) whose size shows the new bytes
    # part-way; written in place or under a staged name beside it.
    folder, low, high = (inst, 2000000, 8000000) if scenario == "nativa" else \
                        (inst + "/lib", 10500000, 12000000)
    p = wine(winpath(updater), "-update", winpath(inst) + "\\", cwd=temp)
    t0 = time.monotonic()
    killed_at = None
    while p.poll() is None and time.monotonic() - t0 < 60:
        if scenario == "none":
            time.sleep(0.001)
            continue
        if scenario == "switch":
            if b"state=switch" in (get(inst + "/~zqupdate.jnl") or b""):
                p.send_signal(signal.SIGKILL)
                killed_at = ("the journal", len(get(inst + "/~zqupdate.jnl") or b""))
                break
            continue
        try:
            for entry in os.scandir(folder):
                size = entry.stat().st_size if entry.is_file() else 0
                if low <= size < high:
                    p.send_signal(signal.SIGKILL)
                    killed_at = (entry.name, size)
                    break
        except FileNotFoundError:
            pass
        if killed_at:
            break
    p.wait()
    elapsed = time.monotonic() - t0
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], stderr=subprocess.DEVNULL)
    print("%s, scenario %s" % (exe, scenario))
    if scenario == "none":
        print("  the updater ran %.2f s (Wine process start included); ZqRunner.exe %s;"
              " Nativa.dll %s; defaults.properties: %s; archive %s"
              % (elapsed, describe(get(inst + "/ZqRunner.exe"), program, new_program),
                 describe(get(inst + "/Nativa.dll"), nativa_old, nativa_new),
                 settings(get(inst + "/defaults.properties")),
                 "still there" if os.path.exists(archive) else "gone"))
        return
    if not killed_at:
        print("  the updater ended before the moment was seen: not killed (try again)")
        return
    print("  killed while %s had %d bytes" % killed_at)
    if scenario == "switch":
        staged = [n for n in os.listdir(inst) + ["lib/" + x for x in os.listdir(inst + "/lib")]
                  if os.path.basename(n).startswith("~zq") and n.endswith(".new")]
        print("  staged files not yet in place: %d" % len(staged))
    print("  then: ZqRunner.exe %s; Nativa.dll %s; defaults.properties: %s; archive %s"
          % (describe(get(inst + "/ZqRunner.exe"), program, new_program),
             describe(get(inst + "/Nativa.dll"), nativa_old, nativa_new),
             settings(get(inst + "/defaults.properties")),
             "still there" if os.path.exists(archive) else "gone"))
    runner = inst + "/ZqRunner.exe"
    if not os.path.exists(runner):
        print("  next start: no ZqRunner.exe to start")
        return
    # The next start: the program recovers, hands the archive over again, the updater
    # applies it and starts the new program, which starts the (stand-in) client.
    log = inst + "/java/bin/standin.log"
    t0 = time.monotonic()
    start = wine(winpath(runner), cwd=inst)
    while time.monotonic() - t0 < 40 and not (os.path.exists(log) and b"CMD" in get(log)):
        time.sleep(0.2)
    took = time.monotonic() - t0
    time.sleep(1)
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], stderr=subprocess.DEVNULL)
    start.wait()
    left = sorted(n for n in os.listdir(inst) if n.startswith("~zq"))
    print("  next start: client %s; ZqRunner.exe %s; Nativa.dll %s; defaults.properties: %s;"
          " system2.properties %s; archive %s; update files left: %s"
          % ("started after %.1f s" % took if os.path.exists(log) else "not started in 40 s",
             describe(get(runner), program, new_program),
             describe(get(inst + "/Nativa.dll"), nativa_old, nativa_new),
             settings(get(inst + "/defaults.properties")),
             "the user's" if get(inst + "/system2.properties") == USER_SYSTEM2 else "changed",
             "still there" if os.path.exists(archive) else "gone",
             ", ".join(left) or "none"))

for exe in exes:
    for scenario in ("none", "nativa", "jar", "switch"):
        run(exe, scenario)
PY
