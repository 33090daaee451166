#!/usr/bin/env bash
# Screenshots of ZqRunner's notification windows: builds the win32 preset (win64 where this
# machine cannot execute 32-bit x86 code), shows each
# window with tests/win/shots/ShowWindows.exe under Wine (private Xvfb) and saves it,
# cropped to the window, as docs/screenshots/<name>.png. Windows that this build does not
# have yet are skipped. Usage: scripts/screenshots.sh [name...]
# (names: missed bubble splash willstart shutdown; default all)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/wine-env.sh
if [ "$ZQ_I686_RUNS" = 1 ]; then preset=win32; else preset=win64; fi
echo "screenshots: $(zq_i686_line); using build/$preset"
bash scripts/build.sh "$preset" >/dev/null
work="$root/build/shots"
rm -rf "$work"; mkdir -p "$work" docs/screenshots
cp sample/install/* "$work/"
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(missed bubble splash willstart shutdown)
export ZQ_SHOTS_EXE="$root/build/$preset/tests/win/shots/ShowWindows.exe"
export ZQ_SHOTS_DIR="$work" ZQ_SHOTS_OUT="$root/docs/screenshots" ZQ_SHOTS_NAMES="${names[*]}"
scripts/with-wine.sh bash -c '
  set -u
  dir="$(winepath -w "$ZQ_SHOTS_DIR" 2>/dev/null)"
  for name in $ZQ_SHOTS_NAMES; do
    coproc SHOW { wine "$ZQ_SHOTS_EXE" "$dir" "$name" 2>/dev/null; }
    show_pid=$SHOW_PID
    line=""
    read -r -t 30 line <&"${SHOW[0]}" || true
    set -- $line
    if [ "${1:-}" = SHOT ]; then
      # Several frames: the bubble blinks, so keep the frame with the most detail.
      best=""
      for i in 1 2 3 4; do
        f="$ZQ_SHOTS_DIR/$name-$i.png"
        import -window root -crop "${4}x${5}+${2}+${3}" +repage "$f"
        if [ -z "$best" ] || [ "$(stat -c %s "$f")" -gt "$(stat -c %s "$best")" ]; then best="$f"; fi
        sleep 0.2
      done
      convert "$best" -strip -colors 64 "$ZQ_SHOTS_OUT/$name.png"
      echo "screenshots: $name -> docs/screenshots/$name.png (${4}x${5})"
    else
      echo "screenshots: $name not shown by this build, skipped"
    fi
    wait "$show_pid" 2>/dev/null || true
  done
'
