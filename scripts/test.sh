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
if [ $# -gt 0 ]; then
  exec scripts/with-wine.sh ctest --test-dir build/all --output-on-failure --timeout 300 -j2 "$@"
fi
# No test may depend on the hour, the day or the time zone it runs at: the tests that use a
# clock run once more, first, with the local hour about 12 hours from this machine's (a
# POSIX rule, so no time-zone database is needed; Wine and the C library both follow TZ).
off="$(date +%z)"
hours=$(( ${off:0:1}1 * 10#${off:1:2} + 12 ))
[ $hours -gt 14 ] && hours=$(( hours - 24 ))
if [ $hours -ge 0 ]; then export ZQ_SHIFTED_TZ="UTC-$hours"; else export ZQ_SHIFTED_TZ="UTC+$(( -hours ))"; fi
export ZQ_CLOCK_TESTS='Soak|TSched|Sched|Missed|MainWindow|TickWeek|Launcher|Workers|Snooze|DateTime|EndToEnd'
exec scripts/with-wine.sh bash -c '
  echo "test: the tests that use a clock, with TZ=$ZQ_SHIFTED_TZ (local time $(TZ=$ZQ_SHIFTED_TZ date +%H:%M)):"
  TZ="$ZQ_SHIFTED_TZ" ctest --test-dir build/all -R "$ZQ_CLOCK_TESTS" --output-on-failure \
    --timeout 300 -j2 | grep -vE "^ +Start |Test +#[0-9]+: .* Passed"
  shifted=${PIPESTATUS[0]}
  echo "test: all tests, in this machine'"'"'s time zone:"
  ctest --test-dir build/all --output-on-failure --timeout 300 -j2
  all=$?
  [ $shifted -eq 0 ] || echo "test: the tests with the shifted local hour failed (above)"
  exit $(( all != 0 || shifted != 0 ))'
