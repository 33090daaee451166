#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR of the Windows presets: runs one Windows executable under
# Wine. scripts/with-wine.sh sets up the display and the private prefix; run alone, this
# uses whatever WINEPREFIX/DISPLAY the caller has.
export WINEDEBUG="${WINEDEBUG:--all}"
# Reuses the run's answer on 32-bit code (ZQ_I686_RUNS) and its Wine commands.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Two failures belong to Wine, not to the program, and get one more try with a clean
# slate: Wine failing to start the process right after its server came up ("Application
# could not be started"), and the Wine loader itself dying on a signal (exit status 128+;
# a crashing Windows program exits with its exception code instead, which is not retried).
# Output is held back until the last try so that a retried run is reported once.
out="$(mktemp)"; err="$(mktemp)"
for attempt in 1 2; do
  wine "$@" >"$out" 2>"$err"
  rc=$?
  # A third: a nonzero status with no output at all. Every program run here is a test
  # executable, which always prints (GoogleTest's banner, or the test list), so the
  # program never ran (seen once in 400 starts through Wine's 64-bit loader).
  if [ $rc -ge 128 ] || { [ $rc -ne 0 ] && grep -q "Application could not be started" "$err"; } ||
     { [ $rc -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; }; then
    [ $attempt -eq 1 ] && { echo "wine-emu: Wine itself failed (status $rc); running once more" >&2; continue; }
  fi
  break
done
cat "$out"; cat "$err" >&2
if [ $rc -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-emu: $1 ended with status $rc and printed nothing" >&2
fi
rm -f "$out" "$err"
exit $rc
