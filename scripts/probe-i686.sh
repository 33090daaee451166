#!/usr/bin/env bash
# Can this machine run i686 Windows programs under Wine? Exits 0 when it can; otherwise
# prints one line saying why not and exits 1. Some machines cannot execute any 32-bit x86
# code: there Wine's 32-bit loader fails with "Exec format error".
#   ZQ_NO_32BIT=1     answer "no" on any machine (to exercise the no-32-bit path)
#   ZQ_WINE32_LOADER  the loader to try (default /usr/lib/wine/wine)
loader="${ZQ_WINE32_LOADER:-/usr/lib/wine/wine}"
if [ "${ZQ_NO_32BIT:-0}" = 1 ]; then
  echo "ZQ_NO_32BIT=1 is set"; exit 1
fi
if [ ! -e "$loader" ]; then
  echo "Wine's 32-bit loader $loader is not installed"; exit 1
fi
out="$("$loader" --version 2>&1 </dev/null)"; rc=$?
if [ $rc -ne 0 ]; then
  case "$out" in
    *"Exec format error"*|*"cannot execute binary"*)
      echo "this machine cannot execute 32-bit x86 code ($loader gives \"Exec format error\")" ;;
    *) echo "Wine's 32-bit loader $loader does not start (status $rc: $(echo "$out" | head -n1))" ;;
  esac
  exit 1
fi
exit 0
