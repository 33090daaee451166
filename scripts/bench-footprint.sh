#!/usr/bin/env bash
# The resident footprint of ZqRunner.exe under Wine, next to a minimal tray program of our
# own (bench/footprint/MinimalTray.cpp, built with the same toolchain, flags and resources)
# measured in the same run as the floor:
#   - time from process start to the tray icon being added (median of STARTS starts);
#   - private bytes and working set after start-up has settled;
#   - CPU time and wake-ups over IDLE seconds of idle residence (ticks only).
# Usage: scripts/bench-footprint.sh [IDLE_SECONDS (default 600)] [STARTS (default 5)]
# Each architecture that this machine can run is measured: x86_64 always, i686 only where
# 32-bit x86 code can be executed (otherwise the script says so). Results are printed and
# written to build/footprint/results-<arch>.txt. Details: docs/soak.md.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
idle="${1:-600}"
starts="${2:-5}"
settle=15
bash scripts/install-deps.sh
source scripts/wine-env.sh
zq_i686_line
zq_runnable_presets bench-footprint
archs=()
for preset in "${zq_presets[@]}"; do
  if [ "$preset" = win32 ]; then archs+=(i686); else archs+=(x86_64); fi
done
echo "bench-footprint: machine: $(nproc) cores, $(uname -m), $(wine --version 2>/dev/null || echo wine)"

# The sample installation of scripts/demo.sh, with the daily backup hour set 12 hours away
# so that no warning comes during the idle time, and a last backup made just now (the
# missed-backup rule is asked on every tick, as in a user's installation, and stays quiet).
lay_out() {  # preset dir
  local preset="$1" dir="$2"
  rm -rf "$dir"; mkdir -p "$dir/zq/java/bin" "$dir/min"
  cp sample/install/* "$dir/zq/"
  cp "build/$preset/runner/ZqRunner.exe" "$dir/zq/"
  cp "build/$preset/tests/win/standin/standin_client.exe" "$dir/zq/java/bin/javaw.exe"
  : > "$dir/zq/stash9.jar"
  : > "$dir/zq/connection.properties"
  : > "$dir/zq/lastbackup.idx"
  local h=$(( ($(date +%-H) + 12) % 24 )) suffix=AM
  [ "$h" -ge 12 ] && suffix=PM
  local h12=$(( h % 12 )); [ "$h12" = 0 ] && h12=12
  sed -i -e "s/^scheduler.time=.*/scheduler.time=$(printf '%02d' "$h12")$suffix\r/" \
         -e 's/^scheduler.advancedschedule=.*/scheduler.advancedschedule=OFF\r/' "$dir/zq/zqbackup.properties"
  cp "build/$preset/bench/footprint/MinimalTray.exe" "$dir/min/"
}

# CPU ticks (utime + stime) and context switches (voluntary, involuntary) of a Linux
# process and all its threads, from /proc.
proc_stats() {  # pid -> "ticks voluntary involuntary"
  local pid="$1" ticks vol=0 invol=0 f
  [ -d "/proc/$pid" ] && [ "$pid" != 0 ] || { echo "missing"; return; }
  ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  for f in /proc/"$pid"/task/*/status; do
    # A thread may end between the listing and the read: it then counts no more.
    local counts
    counts=$(awk '/^voluntary_ctxt_switches/ {v = $2} /^nonvoluntary_ctxt_switches/ {n = $2}
                  END {print v + 0, n + 0}' "$f" 2>/dev/null) || continue
    vol=$((vol + ${counts% *}))
    invol=$((invol + ${counts#* }))
  done
  echo "$ticks $vol $invol"
}

# The wineserver of this prefix (another run may have its own).
wineserver_pid() {
  local p
  for p in $(pgrep wineserver || true); do
    if tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then echo "$p"; return; fi
  done
}

# The Linux process of a Windows program started from the footprint folder.
linux_pid() {  # exe-name
  local p
  for p in $(pgrep -x "$1" || true); do
    if tr '\0' ' ' < "/proc/$p/cmdline" 2>/dev/null | grep -qi "footprint"; then echo "$p"; return; fi
  done
}

for arch in "${archs[@]}"; do
  preset=win64; [ "$arch" = i686 ] && preset=win32
  bash scripts/build.sh "$preset" >/dev/null
  dir="$root/build/footprint/$arch"
  lay_out "$preset" "$dir"
  out="$root/build/footprint/results-$arch.txt"
  winpath() { echo "Z:$1" | tr / '\\'; }
  echo "bench-footprint: $arch: starting ZqRunner.exe and MinimalTray.exe ($starts starts each), then $idle s idle"
  export ZQ_BENCH_PROBE="build/$preset/bench/footprint/footprint_probe.exe" ZQ_BENCH_OUT="$out"
  export ZQ_BENCH_ARGS="$settle $idle $starts zqrunner $(winpath "$dir/zq/ZqRunner.exe") $(winpath "$dir/zq") minimal $(winpath "$dir/min/MinimalTray.exe") $(winpath "$dir/min")"
  export -f proc_stats linux_pid wineserver_pid
  ZQ_WINEPREFIX="$root/build/wineprefix-bench" scripts/with-wine.sh bash -c '
    : > "$ZQ_BENCH_OUT"
    # Line by line as the probe writes them (no buffering filter in between): the Linux
    # figures must be read at the moments the probe names.
    wine "$ZQ_BENCH_PROBE" $ZQ_BENCH_ARGS | while read -r line; do
      line="${line%$'"'"'\r'"'"'}"
      echo "$line" >> "$ZQ_BENCH_OUT"
      case "$line" in
        IDLE-START*)
          zq=$(linux_pid ZqRunner.exe); mn=$(linux_pid MinimalTray.exe); ws=$(wineserver_pid)
          echo "pids ${zq:-0} ${mn:-0} ${ws:-0}" >> "$ZQ_BENCH_OUT"
          echo "zqrunner linux_start $(proc_stats "$zq")" >> "$ZQ_BENCH_OUT"
          echo "minimal linux_start $(proc_stats "$mn")" >> "$ZQ_BENCH_OUT"
          [ -n "$ws" ] && echo "wineserver linux_start $(proc_stats "$ws")" >> "$ZQ_BENCH_OUT"
          echo "bench-footprint: idle residence started ($(date +%T))" >&2 ;;
        IDLE-END*)
          read -r _ zq mn ws < <(grep "^pids" "$ZQ_BENCH_OUT")
          echo "zqrunner linux_end $(proc_stats "$zq")" >> "$ZQ_BENCH_OUT"
          echo "minimal linux_end $(proc_stats "$mn")" >> "$ZQ_BENCH_OUT"
          [ "$ws" != 0 ] && echo "wineserver linux_end $(proc_stats "$ws")" >> "$ZQ_BENCH_OUT" ;;
      esac
    done'
  python3 scripts/footprint-report.py "$out" "$arch" "$idle"
done
