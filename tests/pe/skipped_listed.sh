#!/usr/bin/env bash
# Usage: skipped_listed.sh CTEST BUILD-DIR (an i686 build tree). Lists the tree's tests as a
# machine without 32-bit code would see them, without running anything.
set -u
out="$(ZQ_I686_RUNS=0 ZQ_I686_WHY="testing the guard" "$1" --test-dir "$2" -N 2>&1)"
fail=0
for exe in core_tests win_tests nativa_tests soak_tests; do
  grep -q "i686.$exe (not run)" <<<"$out" || { echo "no skipped placeholder for $exe"; fail=1; }
done
# No test of an executable may be listed (their names are Suite.Case).
if grep -E 'Test +#[0-9]+: [A-Za-z0-9_]+\.[A-Za-z0-9_/]+$' <<<"$out" | grep -v 'static\.' ; then
  echo "tests of an i686 executable are listed although it cannot run"; fail=1
fi
# The placeholder says why when it runs.
why="$(ZQ_I686_RUNS=0 ZQ_I686_WHY="testing the guard" "$1" --test-dir "$2" -R 'i686.win_tests' -V 2>&1)"
grep -q "i686 win_tests not run: testing the guard" <<<"$why" || { echo "the reason is not printed"; fail=1; }
grep -q "Skipped" <<<"$why" || { echo "the placeholder is not reported as skipped"; fail=1; }
[ $fail = 0 ] && echo "$(grep -c 'not run)' <<<"$out") i686 executables listed as skipped, none of their tests"
exit $fail
