#!/usr/bin/env bash
# Builds the libFuzzer target (preset "fuzz": clang, ASan + UBSan) and runs it over the
# committed seed archives for N seconds (default 60). New inputs go to build/fuzz/corpus,
# crashes to build/fuzz/artifacts.
#   bash scripts/fuzz-archive.sh 600
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target archive_fuzzer
mkdir -p build/fuzz/corpus build/fuzz/artifacts
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec build/fuzz/fuzz/archive_fuzzer build/fuzz/corpus fuzz/corpus \
  -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1
