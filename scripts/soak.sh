#!/usr/bin/env bash
# The soak test over a longer simulated time than the month that every test run covers:
#   bash scripts/soak.sh [DAYS (default 365)]
# Builds the Windows presets this machine can run (x86_64 always, i686 where 32-bit x86
# code can be executed) and runs tests/win/soak for DAYS simulated days after its warm-up
# day, printing the counters every simulated week and the comparison at the end. A year
# takes about 20 minutes per architecture on two cores. Details: docs/soak.md.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
days="${1:-365}"
bash scripts/install-deps.sh
source scripts/wine-env.sh
zq_i686_line
zq_runnable_presets soak
presets=("${zq_presets[@]}")
bash scripts/build.sh "${presets[@]}"
status=0
for preset in "${presets[@]}"; do
  echo "soak: $preset, $days simulated days"
  log="build/soak-$preset.log"
  ZQ_SOAK_DAYS="$days" ZQ_SOURCE_DIR="$root" scripts/with-wine.sh \
    wine "build/$preset/tests/win/soak/soak_tests.exe" 2>&1 | tee "$log" || true
  # Judged by GoogleTest's own verdict: a Wine session ended under the program (another
  # run's wineserver -k on the same prefix) can leave the launcher's status at 0.
  grep -q '^\[  PASSED  \] 1 test' "$log" || { echo "soak: $preset did not pass"; status=1; }
done
exit $status
