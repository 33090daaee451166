#!/usr/bin/env bash
# Archive benchmarks on a native Release build (figures in docs/archive.md):
#  1. own CRC-32 against zlib's crc32() over 256 MiB;
#  2. extraction of a 64 MiB single-file archive (compressible text, zlib level 9) with
#     TZLibArchive against a raw inflate + fwrite loop and against zlib-flate (qpdf) over
#     the same stream, in the same run.
#   bash scripts/bench-archive.sh            (work files in build/bench-archive/work, removed after)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake -S . -B build/bench-archive -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench-archive --target zqarc archive_bench >/dev/null
bench=build/bench-archive/tools/archive_bench
zqarc=build/bench-archive/tools/zqarc
work="${ZQ_BENCH_DIR:-build/bench-archive/work}"
rm -rf "$work" && mkdir -p "$work/src" "$work/out"
trap 'rm -rf "$work"' EXIT

"$bench" crc 256

"$bench" data "$work/src/big.log" 64
"$zqarc" create -9 "$work/big.zlib" "$work/src" >/dev/null
ls -l "$work/big.zlib" | awk '{printf "archive: %d bytes for 64 MiB\n", $5}'
"$bench" extract "$work/big.zlib" "$work/out"
cmp "$work/src/big.log" "$work/out/big.log"
cmp "$work/src/big.log" "$work/out/raw.out"

# The entry's stream starts at offset 0 and ends where the file list begins.
list_offset=$(tail -c 33 "$work/big.zlib" | od -An -t u4 -j 16 -N 4 | tr -d ' ')
head -c "$list_offset" "$work/big.zlib" > "$work/stream.z"
best=999
for _ in 1 2 3 4 5; do
  t0=$(date +%s.%N)
  zlib-flate -uncompress < "$work/stream.z" > "$work/out/flate.out"
  t=$(echo "$(date +%s.%N) - $t0" | bc)
  best=$(echo "if ($t < $best) $t else $best" | bc)
done
cmp "$work/src/big.log" "$work/out/flate.out"
printf 'zlib-flate -uncompress (stream already cut out): %.3f s\n' "$best"
