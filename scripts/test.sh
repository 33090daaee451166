#!/usr/bin/env bash
# Installs what is missing, builds all three presets and runs every test in one CTest run:
# the native tests (ASan + UBSan) and the Windows tests of both architectures under Wine.
# Where this machine cannot execute 32-bit x86 code (or ZQ_NO_32BIT=1), the i686 test
# executables are not run (CTest lists them as skipped); the static checks of the i686
# binaries run everywhere.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
source scripts/wine-env.sh
zq_i686_line
if [ "$ZQ_I686_RUNS" = 0 ]; then
  echo "test: skipped here: the i686 test executables core_tests, win_tests, nativa_tests and soak_tests" \
       "(build/win32), because $ZQ_I686_WHY; the i686 binaries are still built and checked statically"
fi
bash scripts/build.sh host win32 win64
# One CTest project over the three build trees, so the run ends with a single summary.
mkdir -p build/all
cat > build/all/CTestTestfile.cmake <<'CT'
subdirs("../host" "../win32" "../win64")
CT
export ZQ_FRESH_PREFIX="${ZQ_FRESH_PREFIX:-${CI:+1}}"
exec scripts/with-wine.sh ctest --test-dir build/all --output-on-failure --timeout 300 -j2 "$@"
