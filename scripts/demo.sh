#!/usr/bin/env bash
# The demo: builds ZqRunner.exe, lays out the sample installation in build/demo (with a
# stand-in for the Java client as "java\bin\javaw.exe") and starts it quietly (-min) under
# Wine in a virtual desktop with a taskbar. The schedule is set to the current hour, so
# within seconds the backup-will-start warning appears and counts down from 60; at its
# end ZqRunner starts the client, whose recorded command line is printed. Screenshots go
# to docs/screenshots/ (demo*.png). With ZQ_USE_DISPLAY=1 it uses your own X display
# and leaves the program running (quit it from its tray menu).
# It shows the i686 build; where this machine cannot execute 32-bit x86 code (or with
# ZQ_NO_32BIT=1) it shows the x86_64 build instead.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
source scripts/wine-env.sh
zq_i686_line
if [ "$ZQ_I686_RUNS" = 1 ]; then preset=win32; arch=i686; else preset=win64; arch=x86_64; fi
echo "demo: showing the $arch build (build/$preset)"
bash scripts/build.sh "$preset"
demo="$root/build/demo"
rm -rf "$demo"; mkdir -p "$demo/java/bin" docs/screenshots
cp sample/install/* "$demo/"
cp "build/$preset/runner/ZqRunner.exe" "$demo/"
cp "build/$preset/tests/win/standin/standin_client.exe" "$demo/java/bin/javaw.exe"
printf 'ZQ_STANDIN_EXIT_MS=20000\r\nZQ_STANDIN_TOUCH=1\r\n' > "$demo/java/bin/standin.cfg"
: > "$demo/stash9.jar"
: > "$demo/connection.properties"
# Back up in this very hour (Wine's local time is the machine's).
day="$(LC_ALL=C date +%a)"; hour="$(date +%-H)"
sed -i -e 's/^scheduler.advancedschedule=.*/scheduler.advancedschedule=ON\r/' \
       -e "s/^scheduler.$day=.*/scheduler.$day=$hour\r/" "$demo/zqbackup.properties"
echo "demo: backup scheduled for $day, hour $hour"

export ZQ_DEMO_DIR="$demo" ZQ_SHOTS="$root/docs/screenshots"
scripts/with-wine.sh bash -c '
  shot() { import -window root -crop 1024x768+0+0 +repage "$ZQ_SHOTS/$1"; echo "demo: saved docs/screenshots/$1"; }
  cd "$ZQ_DEMO_DIR"
  wine explorer /desktop=ZqDemo,1024x768 ZqRunner.exe -min >/dev/null 2>&1 &
  if [ -n "${ZQ_USE_DISPLAY:-}" ]; then wait; exit 0; fi
  sleep 1; shot demo-splash.png
  sleep 11; shot demo-warning.png
  # The tray tip and the menu while the warning counts down.
  xdotool mousemove 1012 757 && sleep 1 && xdotool mousemove 1013 757 && sleep 2
  shot demo.png
  xdotool click 3 && sleep 2
  shot demo-menu.png
  xdotool key Escape
  echo "demo: waiting for the countdown to end and the client to start..."
  for i in $(seq 1 70); do [ -s java/bin/standin.log ] && break; sleep 1; done
  sleep 2; xdotool mousemove 900 700 && sleep 1 && xdotool mousemove 1013 757 && sleep 2
  shot demo-running.png  # tray tip: "Stash9 (backing up)"
  if [ -s java/bin/standin.log ]; then
    echo "demo: the client was started with:"; sed -n "s/^CMD /  /p" java/bin/standin.log
  else
    echo "demo: the client was not started" >&2; exit 1
  fi
'
