#!/usr/bin/env bash
# Installs what is missing, builds all three presets and runs every test in one CTest run:
# the native tests (ASan + UBSan) and the Windows tests of both architectures under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh host win32 win64
# One CTest project over the three build trees, so the run ends with a single summary.
mkdir -p build/all
cat > build/all/CTestTestfile.cmake <<'CT'
subdirs("../host" "../win32" "../win64")
CT
export ZQ_FRESH_PREFIX="${ZQ_FRESH_PREFIX:-${CI:+1}}"
exec scripts/with-wine.sh ctest --test-dir build/all --output-on-failure --timeout 300 -j2 "$@"
