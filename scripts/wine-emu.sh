#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR of the Windows presets: runs one Windows executable under
# Wine. scripts/with-wine.sh sets up the display and the private prefix; run alone, this
# uses whatever WINEPREFIX/DISPLAY the caller has.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine occasionally fails to start a process right after its server came up ("Application
# could not be started"); that is Wine's start-up, not the program, so try once more.
err="$(mktemp)"
wine "$@" 2>"$err"
rc=$?
if [ $rc -ne 0 ] && grep -q "Application could not be started" "$err"; then
  wine "$@" 2>"$err"
  rc=$?
fi
cat "$err" >&2
rm -f "$err"
exit $rc
