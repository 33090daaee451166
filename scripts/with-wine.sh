#!/usr/bin/env bash
# Runs a command inside one Xvfb display and one private Wine prefix with a persistent
# wineserver, then tears both down. Usage: scripts/with-wine.sh CMD [ARGS...]
# ZQ_WINEPREFIX picks the prefix (default build/wineprefix; created when missing);
# ZQ_FRESH_PREFIX=1 recreates it.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${ZQ_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Picks Wine's 64-bit loader where 32-bit code cannot run (ZQ_I686_RUNS, PATH).
source "$root/scripts/wine-env.sh"

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [ -z "${ZQ_USE_DISPLAY:-}" ]; then
  fifo="$(mktemp -u)"; mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r dnum <"$fifo"; rm -f "$fifo"
  export DISPLAY=":$dnum"
fi

if [ "${ZQ_FRESH_PREFIX:-0}" = 1 ]; then rm -rf "$WINEPREFIX"; fi
if [ ! -f "$WINEPREFIX/.zq-ready" ]; then
  rm -rf "$WINEPREFIX"; mkdir -p "$(dirname "$WINEPREFIX")"
  echo "with-wine: creating Wine prefix $WINEPREFIX" >&2
  wineboot -i >/dev/null 2>&1
  # Without a window manager every closing dialog otherwise waits 2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # A crashing test must exit with a backtrace, not wait for ever on a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.zq-ready"
fi
wineserver -p
# Start Wine's own background processes (services, explorer) now, detached from any pipe:
# started later by a test, they would inherit its output pipe and keep ctest waiting.
wine cmd /c exit </dev/null >/dev/null 2>&1
if [ "$ZQ_I686_RUNS" = 1 ]; then
  wine 'C:\windows\syswow64\cmd.exe' /c exit </dev/null >/dev/null 2>&1
fi
"$@"
