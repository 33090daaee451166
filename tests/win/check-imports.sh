#!/usr/bin/env bash
# Usage: check-imports.sh OBJDUMP BINARY...
# Fails when a binary imports a DLL that is not part of Windows itself (a MinGW runtime
# DLL such as libstdc++-6.dll, libgcc_s_dw2-1.dll, libwinpthread-1.dll or zlib1.dll).
set -uo pipefail
objdump="$1"; shift
allowed='^(KERNEL32|USER32|GDI32|SHELL32|ADVAPI32|WSOCK32|WS2_32|COMCTL32|COMDLG32|OLE32|OLEAUT32|SHLWAPI|VERSION|WININET|RASAPI32|ICMP|IPHLPAPI|MSVCRT|NTDLL|UXTHEME|api-ms-win-[a-z0-9-]+)\.DLL$'
status=0
for bin in "$@"; do
  dlls=$("$objdump" -p "$bin" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$dlls" ] || { echo "$bin: no import table found"; status=1; continue; }
  while read -r dll; do
    if ! echo "$dll" | tr '[:lower:]' '[:upper:]' | grep -Eq "$allowed"; then
      echo "$bin imports non-system DLL: $dll"; status=1
    fi
  done <<< "$dlls"
  echo "$bin: $(stat -c %s "$bin") bytes; imports: $(echo $dlls)"
done
exit $status
