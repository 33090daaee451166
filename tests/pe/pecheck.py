#!/usr/bin/env python3
"""Static checks of the Windows deliverables: reads their PE files, runs nothing.

These run on any Linux machine, including one that cannot execute 32-bit x86 code, so the
i686 binaries are checked wherever they are built.

  pecheck.py list BIN                      header fields, imports and exports, for reading
  pecheck.py system-dlls BIN...            every imported DLL is part of Windows itself
  pecheck.py exports BIN LIST              the export table is exactly the names in LIST
                                           (decorated names; on x86_64 the plain ones)
  pecheck.py header BIN MACHINE KIND MAX   machine (i386/amd64), kind (exe/dll) and the
                                           OS and subsystem versions (at most MAX, e.g. 5.1)
  pecheck.py floor TABLE MAX BIN...        every import is in TABLE with a minimum Windows
                                           version of at most MAX
  pecheck.py family9x TABLE BIN...         the imports that Windows 95/98/Me lacks or only
                                           stubs (prints them; always succeeds)
  pecheck.py agrees OBJDUMP BIN...         this reader and binutils' objdump see the same
                                           imports and exports
Exit status: 0 when the check holds, 1 when it does not, 2 on unreadable input.
"""
import re
import struct
import subprocess
import sys

MACHINES = {0x14C: "i386", 0x8664: "amd64"}
SUBSYSTEMS = {2: "Windows GUI", 3: "Windows CUI"}
IMAGE_FILE_DLL = 0x2000


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if len(d) < 0x40 or d[:2] != b"MZ":
            raise PeError(f"{path}: not an MZ executable")
        pe = self._u32(0x3C)
        if d[pe:pe + 4] != b"PE\0\0":
            raise PeError(f"{path}: no PE signature")
        (self.machine, nsections, _, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = self._u16(opt)
        if self.magic not in (0x10B, 0x20B):
            raise PeError(f"{path}: unknown optional header magic {self.magic:#x}")
        plus = self.magic == 0x20B
        self.os_version = (self._u16(opt + 40), self._u16(opt + 42))
        self.subsystem_version = (self._u16(opt + 48), self._u16(opt + 50))
        self.subsystem = self._u16(opt + 68)
        dirs_at = opt + (112 if plus else 96)
        ndirs = self._u32(dirs_at - 4)
        self.dirs = [struct.unpack_from("<II", d, dirs_at + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", d, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr, rawsize))
        self.thunk_size = 8 if plus else 4

    def _u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def _u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise PeError(f"{self.path}: RVA {rva:#x} lies in uninitialised data")
                return rawptr + rva - va
        raise PeError(f"{self.path}: RVA {rva:#x} is in no section")

    def cstring(self, rva):
        off = self.offset(rva)
        end = self.data.index(b"\0", off)
        return self.data[off:end].decode("ascii")

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def imports(self):
        """[(dll, name)]; an import by ordinal is named '#<ordinal>'."""
        rva, size = self.directory(1)
        result = []
        if not rva:
            return result
        desc = self.offset(rva)
        while True:
            lookup, _, _, name_rva, first = struct.unpack_from("<IIIII", self.data, desc)
            if not name_rva:
                break
            dll = self.cstring(name_rva)
            thunk = self.offset(lookup or first)
            fmt, flag = ("<Q", 1 << 63) if self.thunk_size == 8 else ("<I", 1 << 31)
            while True:
                value = struct.unpack_from(fmt, self.data, thunk)[0]
                if not value:
                    break
                if value & flag:
                    result.append((dll, f"#{value & 0xFFFF}"))
                else:
                    result.append((dll, self.cstring((value & 0x7FFFFFFF) + 2)))
                thunk += self.thunk_size
            desc += 20
        return result

    def delay_imports_present(self):
        return self.directory(13)[0] != 0

    def exports(self):
        rva, size = self.directory(0)
        if not rva:
            return []
        base = self.offset(rva)
        count, names_rva = struct.unpack_from("<II", self.data, base + 24)[0], self._u32(base + 32)
        names = self.offset(names_rva) if count else 0
        return [self.cstring(self._u32(names + 4 * i)) for i in range(count)]

    @property
    def machine_name(self):
        return MACHINES.get(self.machine, f"{self.machine:#x}")

    @property
    def is_dll(self):
        return bool(self.characteristics & IMAGE_FILE_DLL)


# Windows' own DLLs that the deliverables may import (upper case).
SYSTEM_DLLS = re.compile(
    r"^(KERNEL32|USER32|GDI32|SHELL32|ADVAPI32|WSOCK32|WS2_32|COMCTL32|COMDLG32|OLE32|"
    r"OLEAUT32|SHLWAPI|VERSION|WININET|RASAPI32|ICMP|IPHLPAPI|MSVCRT|NTDLL|UXTHEME|PSAPI)\.DLL$")


def version(text):
    major, _, minor = text.partition(".")
    return (int(major), int(minor or 0))


def show(v):
    return f"{v[0]}.{v[1]}"


def read_table(path):
    """TABLE lines: DLL function minimum-Windows-version 9x-status [note]."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) < 4 or fields[3] not in ("yes", "stub", "no"):
                raise PeError(f"{path}:{number}: expected 'DLL function version yes|stub|no'")
            key = (fields[0].upper(), fields[1])
            if key in table:
                raise PeError(f"{path}:{number}: {fields[0]}!{fields[1]} listed twice")
            table[key] = (version(fields[2]), fields[3])
    return table


def dll_key(dll):
    return dll.upper().removesuffix(".DLL")


def cmd_list(args):
    pe = PeFile(args[0])
    kind = "dll" if pe.is_dll else "exe"
    print(f"{pe.path}: {pe.machine_name} {kind}, subsystem {pe.subsystem} "
          f"({SUBSYSTEMS.get(pe.subsystem, '?')}) {show(pe.subsystem_version)}, "
          f"OS version {show(pe.os_version)}")
    for dll, name in pe.imports():
        print(f"import {dll}!{name}")
    for name in pe.exports():
        print(f"export {name}")
    return 0


def cmd_system_dlls(args):
    status = 0
    for path in args:
        pe = PeFile(path)
        dlls = sorted({dll for dll, _ in pe.imports()}, key=str.upper)
        if not dlls:
            print(f"{path}: no import table found")
            status = 1
        for dll in dlls:
            if not SYSTEM_DLLS.match(dll.upper()):
                print(f"{path} imports a DLL that is not part of Windows: {dll}")
                status = 1
        if pe.delay_imports_present():
            print(f"{path} has delay-load imports, which these checks do not read")
            status = 1
        print(f"{path}: imports {' '.join(dlls)}")
    return status


def undecorated(name):
    match = re.fullmatch(r"_(\w+)@\d+", name)
    return match.group(1) if match else name


def cmd_exports(args):
    pe = PeFile(args[0])
    with open(args[1], encoding="utf-8") as f:
        wanted = [l.split("#", 1)[0].strip() for l in f]
    wanted = [w for w in wanted if w]
    if pe.machine_name != "i386":
        wanted = [undecorated(w) for w in wanted]
    have = pe.exports()
    status = 0
    for name in sorted(set(wanted) - set(have)):
        print(f"{pe.path}: missing export {name}")
        status = 1
    for name in sorted(set(have) - set(wanted)):
        print(f"{pe.path}: unexpected export {name}")
        status = 1
    if len(have) != len(set(have)):
        print(f"{pe.path}: an export name appears twice")
        status = 1
    print(f"{pe.path}: {len(have)} exports, {len(set(wanted))} expected")
    return status


def cmd_header(args):
    path, machine, kind, most = args[0], args[1], args[2], version(args[3])
    pe = PeFile(path)
    status = 0
    if pe.machine_name != machine:
        print(f"{path}: machine {pe.machine_name}, expected {machine}")
        status = 1
    if (kind == "dll") != pe.is_dll:
        print(f"{path}: {'a DLL' if pe.is_dll else 'not a DLL'}, expected a {kind}")
        status = 1
    expected_magic = 0x20B if machine == "amd64" else 0x10B
    if pe.magic != expected_magic:
        print(f"{path}: optional header magic {pe.magic:#x}, expected {expected_magic:#x}")
        status = 1
    # A program's subsystem decides whether Windows gives it a console; a DLL's is ignored.
    if kind == "exe" and pe.subsystem != 2:
        print(f"{path}: subsystem {pe.subsystem}, expected 2 (Windows GUI)")
        status = 1
    if kind == "dll" and pe.subsystem not in SUBSYSTEMS:
        print(f"{path}: subsystem {pe.subsystem} is not a Windows subsystem")
        status = 1
    # Windows refuses an image whose subsystem version is newer than itself, or older than 3.10.
    for label, v in (("subsystem version", pe.subsystem_version), ("OS version", pe.os_version)):
        if v > most:
            print(f"{path}: {label} {show(v)} is newer than {show(most)}: older Windows refuses it")
            status = 1
        if v < (3, 10):
            print(f"{path}: {label} {show(v)} is below 3.10, which Windows refuses")
            status = 1
    print(f"{path}: {pe.machine_name} {kind}, subsystem {pe.subsystem} {show(pe.subsystem_version)}, "
          f"OS version {show(pe.os_version)} (at most {show(most)})")
    return status


def cmd_floor(args):
    table, most = read_table(args[0]), version(args[1])
    status = 0
    for path in args[2:]:
        pe = PeFile(path)
        newest = (0, 0)
        for dll, name in pe.imports():
            entry = table.get((dll_key(dll), name))
            if entry is None:
                print(f"{path}: {dll}!{name} is not in {args[0]}: add it with the minimum "
                      f"Windows version its documentation gives")
                status = 1
            elif entry[0] > most:
                print(f"{path}: {dll}!{name} needs Windows {show(entry[0])}, newer than "
                      f"{show(most)}: bind it at run time")
                status = 1
            else:
                newest = max(newest, entry[0])
        print(f"{path}: {len(pe.imports())} imports, the newest needs Windows {show(newest)}")
    return status


def cmd_family9x(args):
    table = read_table(args[0])
    for path in args[1:]:
        pe = PeFile(path)
        missing = [f"{d}!{n}" for d, n in pe.imports() if table.get((dll_key(d), n), (0, "no"))[1] == "no"]
        stubs = [f"{d}!{n}" for d, n in pe.imports() if table.get((dll_key(d), n), (0, ""))[1] == "stub"]
        print(f"{path}:")
        print(f"  absent on 95/98/Me ({len(missing)}): {' '.join(missing) or '-'}")
        print(f"  stubs that fail there ({len(stubs)}): {' '.join(stubs) or '-'}")
        print(f"  OS version {show(pe.os_version)}, subsystem version {show(pe.subsystem_version)}")
    return 0


def objdump_view(objdump, path):
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    imports, exports, dll, section = [], [], None, None
    for line in text.splitlines():
        if line.startswith("The Import Tables"):
            section = "imports"
        elif line.startswith("The Export Tables"):
            section = "exports"
        elif re.match(r"^(The |PE File Base Relocations|There is)", line):
            section = None
        if section == "imports":
            m = re.match(r"^\s+DLL Name: (\S+)", line)
            if m:
                dll = m.group(1)
            m = re.match(r"^\s+[0-9a-f]+\s+(\d+)\s+(\S+)$", line)
            if m and dll:
                imports.append((dll, m.group(2)))
        elif section == "exports":
            m = re.match(r"^\s+\[\s*\d+\]\s+(\S+)$", line)
            if m:
                exports.append(m.group(1))
    return sorted(imports), sorted(exports)


def cmd_agrees(args):
    objdump, status = args[0], 0
    for path in args[1:]:
        pe = PeFile(path)
        mine = (sorted(i for i in pe.imports() if not i[1].startswith("#")), sorted(pe.exports()))
        theirs = objdump_view(objdump, path)
        for label, a, b in (("imports", mine[0], theirs[0]), ("exports", mine[1], theirs[1])):
            if a != b:
                print(f"{path}: {label} differ: only here {sorted(set(a) - set(b))[:5]}, "
                      f"only in objdump {sorted(set(b) - set(a))[:5]}")
                status = 1
        if not mine[0]:
            print(f"{path}: no imports read")
            status = 1
        print(f"{path}: {len(mine[0])} imports and {len(mine[1])} exports, as objdump reads them")
    return status


COMMANDS = {"list": (cmd_list, 1), "system-dlls": (cmd_system_dlls, 1), "exports": (cmd_exports, 2),
            "header": (cmd_header, 4), "floor": (cmd_floor, 3), "family9x": (cmd_family9x, 2),
            "agrees": (cmd_agrees, 2)}


def main(argv):
    if len(argv) < 2 or argv[1] not in COMMANDS or len(argv) - 2 < COMMANDS[argv[1]][1]:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        return COMMANDS[argv[1]][0](argv[2:])
    except (OSError, PeError, struct.error, ValueError, UnicodeDecodeError) as e:
        print(f"pecheck: {e}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
