# Sourced by the scripts that run Windows programs (with-wine.sh, wine-emu.sh, demo.sh).
#
# Decides once per run whether this machine can execute 32-bit x86 code, and sets Wine up
# accordingly. Some machines cannot: every i386 ELF, Wine's 32-bit loader included, fails
# with "Exec format error". Debian's `wine` wrapper always picks that loader when wine32 is
# installed, so there every Wine command (wineboot, reg, 64-bit programs too) would fail;
# the 64-bit loader called directly works.
#
# After sourcing:
#   ZQ_I686_RUNS  1 when i686 Windows programs can run here, 0 when not (exported, so
#                 that nested scripts and ctest reuse the answer instead of probing again)
#   ZQ_I686_WHY   one line saying why not (empty when they can run)
#   PATH          on the no-32-bit path, starts with a folder whose `wine`/`wine-stable`
#                 run Wine's 64-bit loader directly (wineboot and friends follow it)
# Switches:
#   ZQ_NO_32BIT=1     take the no-32-bit path on any machine (see probe-i686.sh)
#   ZQ_WINE64_LOADER  the 64-bit loader (default /usr/lib/wine/wine64)

zq_root="${zq_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"

if [ -z "${ZQ_I686_RUNS:-}" ]; then
  if ZQ_I686_WHY="$("$zq_root/scripts/probe-i686.sh")"; then ZQ_I686_RUNS=1; else ZQ_I686_RUNS=0; fi
  export ZQ_I686_RUNS ZQ_I686_WHY
fi

if [ "$ZQ_I686_RUNS" = 0 ]; then
  zq_wine64="${ZQ_WINE64_LOADER:-/usr/lib/wine/wine64}"
  zq_winebin="$zq_root/build/wine64-bin"
  if [ ! -x "$zq_winebin/wine" ] || ! grep -qF "$zq_wine64" "$zq_winebin/wine" 2>/dev/null; then
    mkdir -p "$zq_winebin"
    for zq_name in wine wine-stable; do
      printf '#!/bin/sh\n# Wine without its 32-bit loader (made by scripts/wine-env.sh).\nexport WINELOADER=%s\nexec %s "$@"\n' \
        "$zq_wine64" "$zq_wine64" > "$zq_winebin/$zq_name"
      chmod +x "$zq_winebin/$zq_name"
    done
  fi
  case ":$PATH:" in *":$zq_winebin:"*) ;; *) export PATH="$zq_winebin:$PATH" ;; esac
fi

# The line the test run and the demo print first.
zq_i686_line() {
  if [ "$ZQ_I686_RUNS" = 1 ]; then
    echo "machine: runs 32-bit x86 code: i686 and x86_64 Windows programs run under Wine"
  else
    echo "machine: $ZQ_I686_WHY; i686 Windows programs cannot run here, Wine runs the x86_64 ones through its 64-bit loader"
  fi
}

# The Windows build trees whose programs run here, i686 first, in zq_presets; where i686
# cannot run, the caller ($1) says so.
zq_runnable_presets() {
  if [ "$ZQ_I686_RUNS" = 1 ]; then
    zq_presets=(win32 win64)
  else
    zq_presets=(win64)
    echo "$1: i686 not run here: $ZQ_I686_WHY"
  fi
}
