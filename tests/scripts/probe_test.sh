#!/usr/bin/env bash
# The machine probe's answers: usage probe_test.sh PROBE (scripts/probe-i686.sh).
set -u
probe="$1"
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
fail=0
expect() {  # expect NAME STATUS TEXT-PATTERN ENV...
  local name="$1" status="$2" pattern="$3"; shift 3
  local out rc
  out="$(env -u ZQ_NO_32BIT "$@" "$probe")"; rc=$?
  if [ "$rc" != "$status" ] || ! printf '%s\n' "$out" | grep -Eq "$pattern"; then
    echo "FAIL $name: status $rc, said '$out' (wanted $status, /$pattern/)"; fail=1
  else
    echo "ok   $name: $rc '$out'"
  fi
}
# A loader that starts.
printf '#!/bin/sh\necho wine-8.0\n' > "$work/good"; chmod +x "$work/good"
# What the shell reports for an i386 ELF where 32-bit code cannot run.
printf '#!/bin/sh\necho "$0: cannot execute binary file: Exec format error" >&2\nexit 126\n' > "$work/noexec"
chmod +x "$work/noexec"
printf '#!/bin/sh\necho "wine: could not load kernel32.dll" >&2\nexit 3\n' > "$work/broken"; chmod +x "$work/broken"

expect "loader starts"          0 '^$'                                ZQ_WINE32_LOADER="$work/good"
expect "switch forces no"       1 '^ZQ_NO_32BIT=1 is set$'            ZQ_WINE32_LOADER="$work/good" ZQ_NO_32BIT=1
expect "switch off is no switch" 0 '^$'                               ZQ_WINE32_LOADER="$work/good" ZQ_NO_32BIT=0
expect "exec format error"      1 'cannot execute 32-bit x86 code'    ZQ_WINE32_LOADER="$work/noexec"
expect "loader missing"         1 'is not installed'                  ZQ_WINE32_LOADER="$work/absent"
expect "loader fails otherwise" 1 'does not start \(status 3: wine: could not load kernel32.dll\)' ZQ_WINE32_LOADER="$work/broken"
# A real i386 ELF, where the host can build one: the probe's answer must match whether it runs.
if printf 'int main(void){return 0;}' | cc -m32 -x c - -o "$work/elf32" 2>/dev/null; then
  printf '#!/bin/sh\nexec %s\n' "$work/elf32" > "$work/realloader"; chmod +x "$work/realloader"
  if "$work/elf32" 2>/dev/null; then want=0; else want=1; fi
  expect "real i386 program" $want '.*' ZQ_WINE32_LOADER="$work/realloader"
fi
exit $fail
