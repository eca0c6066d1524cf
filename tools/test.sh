#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the CTest suite,
# then each further stage in tools/test.d (sanitizers, fuzzing, other
# processors) in name order. Any failure fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
# Everything on, whatever the demo left configured in build/.
bash tools/build.sh -DZT_BUILD_TESTS=ON -DZT_BUILD_BENCH=ON -DZT_BUILD_PLOTS=ON
ctest --test-dir build --output-on-failure -j"$(nproc)"
stages=1
for stage in tools/test.d/*.sh; do
  [ -e "$stage" ] || continue
  echo "=== $(basename "$stage")"
  bash "$stage"
  stages=$((stages + 1))
done
# set -e has stopped the run at the first failing stage, so reaching here
# means every stage (the CTest suite counts as the first) passed.
echo "stages: $stages passed, 0 failed"
