#!/usr/bin/env bash
# Configures and builds the given presets (default: host win32 win64).
# A build folder whose configure never finished (for example one left by a configure run
# before the MinGW compilers were installed: its cache names the host's `ar` and has empty
# per-configuration flags) is removed first, so that it cannot turn into an unoptimised
# build later. A finished configure leaves build/<preset>/.zq-configured behind.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host win32 win64)
mkdir -p build
for p in "${presets[@]}"; do
  dir="build/$p"
  if [ -e "$dir" ] && [ ! -f "$dir/.zq-configured" ]; then
    echo "build: $dir was not configured completely; starting it afresh" >&2
    rm -rf "$dir"
  fi
  if ! cmake --preset "$p" >"build/configure-$p.log" 2>&1; then
    cat "build/configure-$p.log" >&2
    rm -rf "$dir"
    echo "build: configuring $p failed (see above); its folder was removed" >&2
    exit 1
  fi
  touch "$dir/.zq-configured"
  cmake --build --preset "$p"
done
