#!/usr/bin/env bash
# Configures and builds the given presets (default: host win32 win64).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host win32 win64)
for p in "${presets[@]}"; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done
