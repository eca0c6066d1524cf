#!/usr/bin/env bash
# Fuzzes the plugin's host interface for a bounded time (ZT_FUZZ_SECONDS,
# default 60) under AddressSanitizer and UndefinedBehaviorSanitizer, starting
# from the seed corpus in fuzz/corpus, then the CLAP and VST3 state loaders
# (ZT_FUZZ_STATE_SECONDS, default 20) from fuzz/corpus-state. A crash, a sanitizer report, a leak or
# a broken invariant of fuzz/fuzz_run.cpp fails the stage; the input that
# caused it is left in build-fuzz/ (rerun: build-fuzz/fuzz/zt_fuzz_run FILE).
set -euo pipefail
cd "$(dirname "$0")/../.."

ZT_EXTRA_PACKAGES="clang libclang-rt-14-dev llvm" bash tools/deps.sh

dir=build-fuzz
start=$SECONDS
# Clang builds the plain frame loop: the processor-specific clones are a GCC
# build's business (the results are the same bits either way).
cmake -S . -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-DZT_NO_CLONES \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF -DZT_FUZZ=ON \
  -DZT_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
cmake --build "$dir" -j"$(( $(nproc) < 2 ? $(nproc) : 2 ))" --target zt_fuzz_run zt_fuzz_state

# New inputs go to a working corpus in the build tree; the seeds stay as they are.
mkdir -p "$dir/corpus"
status=0
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$dir/fuzz/zt_fuzz_run" -max_total_time="${ZT_FUZZ_SECONDS:-60}" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" fuzz/corpus >"$dir/fuzz.log" 2>&1 || status=$?
# The progress lines and the suggested dictionary are noise; reports stay.
grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)|^"' "$dir/fuzz.log" || true
mkdir -p "$dir/corpus-state"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$dir/fuzz/zt_fuzz_state" -max_total_time="${ZT_FUZZ_STATE_SECONDS:-20}" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$dir/state-" "$dir/corpus-state" fuzz/corpus-state >"$dir/fuzz-state.log" 2>&1 ||
  status=$?
grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)|^"' "$dir/fuzz-state.log" || true
echo "--- fuzz: $((SECONDS - start)) s, exit status $status"
exit "$status"
