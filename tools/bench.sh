#!/usr/bin/env bash
# The benchmark command: installs what is missing (with the two peer plugins
# for the comparison), builds a Release tree, runs the Google Benchmark suite
# (ns per frame, the floor kernel and the target ratios with PASS/FAIL), the
# window's redraw benchmark and its cost in a host's idle calls, then the
# lv2bench comparison with the peers.
# zt_bench runs the CLAP face beside the LV2 one (clap/... cases and their
# ratios to run/...). Exits non-zero if a target fails.
# Extra arguments go to the benchmark binary (e.g. --benchmark_filter=run/type).
# ZT_BUILD_DIR picks the build tree (default build), ZT_BENCH_REPETITIONS
# the repetitions per case (default 9).
set -euo pipefail
cd "$(dirname "$0")/.."
ZT_EXTRA_PACKAGES="calf-plugins swh-lv2 ${ZT_EXTRA_PACKAGES:-}" bash tools/deps.sh
build=${ZT_BUILD_DIR:-build}
ZT_BUILD_DIR=$build bash tools/build.sh -DZT_BUILD_BENCH=ON

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $(uname -sr)"
status=0
"$build/bench/zt_bench" \
  --benchmark_repetitions="${ZT_BENCH_REPETITIONS:-9}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.1 "$@" || status=1
echo
# The window's redraw cost (full redraw at 2x, a moving cutoff at 30 per second).
if [ -x "$build/bench/zt_view_bench" ]; then
  "$build/bench/zt_view_bench" --benchmark_repetitions="${ZT_BENCH_REPETITIONS:-9}" \
    --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true || status=1
  echo
fi
# The window library in a host's idle calls over time (its own Xvfb).
if [ -x "$build/bench/zt_ui_idle_bench" ]; then
  "$build/bench/zt_ui_idle_bench" 3 || status=1
  echo
fi
bash bench/lv2bench_peers.sh "$build" || status=1
exit $status
