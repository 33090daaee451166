#!/usr/bin/env bash
# scripts/footprint-report.py: a program that vanished during the idle time is named with its
# exit code and every other figure is still printed; a whole run gives every figure.
# Usage: footprint_report_test.sh REPORT_SCRIPT
set -uo pipefail
report="$1"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail=0
check() {  # name output expected-substring... (runs of spaces count as one)
  local name="$1" out; out=$(tr -s ' ' <<<"$2"); shift 2
  for want in "$@"; do
    grep -qF -- "$want" <<<"$out" || { echo "FAIL $name: no '$want' in:"; echo "$out"; fail=1; }
  done
}
common() {  # who
  printf '%s start_to_tray_ms_median 120.5\n%s start_to_tray_ms_all 120.5 130.0\n' "$1" "$1"
  printf '%s private_bytes 2097152\n%s working_set_bytes 4194304\n' "$1" "$1"
  printf '%s linux_start 100 50 5\n%s idle_cpu_ms_windows 20.0\n%s idle_tray_messages 0\n' "$1" "$1" "$1"
}
{ common zqrunner; common minimal
  echo "wineserver linux_start 1000 10 1"
  echo "zqrunner still_running 0"; echo "zqrunner exit_code 0xC0000005"
  echo "zqrunner linux_end missing"
  echo "minimal still_running 1"; echo "minimal linux_end 103 80 6"
  echo "wineserver linux_end 1010 20 1"; } > "$tmp/vanished.txt"
out=$(python3 "$report" "$tmp/vanished.txt" x86_64 600 2>&1); rc=$?
[ $rc -eq 0 ] || { echo "FAIL vanished: exit $rc"; fail=1; }
check vanished "$out" "ZqRunner.exe vanished during the idle time (exit code 0xC0000005)" \
  "private bytes after start-up 2,048 KiB 2,048 KiB 1.00x" \
  "CPU time over 600 s idle gone 30 ms n/a" \
  "wineserver (shared by both) over the idle time: 100 ms CPU, 10 wake-ups"
grep -q Traceback <<<"$out" && { echo "FAIL vanished: traceback"; fail=1; }

sed -e 's/^zqrunner still_running 0/zqrunner still_running 1/' -e '/exit_code/d' \
    -e 's/^zqrunner linux_end missing/zqrunner linux_end 106 90 7/' "$tmp/vanished.txt" > "$tmp/whole.txt"
out=$(python3 "$report" "$tmp/whole.txt" x86_64 600 2>&1); rc=$?
[ $rc -eq 0 ] || { echo "FAIL whole: exit $rc"; fail=1; }
check whole "$out" "CPU time over 600 s idle 60 ms 30 ms 2.00x"
grep -q vanished <<<"$out" && { echo "FAIL whole: a program called vanished"; fail=1; }
exit $fail
