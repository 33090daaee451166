#!/usr/bin/env bash
# Builds bench/tick_bench natively (Release) and measures one 5-second tick's scheduling
# work over the sample installation: µs per tick and heap growth over a simulated week.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake -S bench -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target tick_bench >/dev/null
exec build/bench/tick_bench "$root/sample/install" "$@"
