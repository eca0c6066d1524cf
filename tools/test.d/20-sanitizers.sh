#!/usr/bin/env bash
# The whole CTest suite once more under the sanitizers: AddressSanitizer with
# UndefinedBehaviorSanitizer and LeakSanitizer (build-asan), then
# ThreadSanitizer (build-tsan). Everything built there is instrumented, tests
# included (ZT_SANITIZE in CMakeLists.txt); the first report fails the stage.
# Usage: 20-sanitizers.sh [asan] [tsan]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/../.."

jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan tsan)

# GCC links its sanitizer runtimes into shared objects as well, so the plugin
# module works in every test process; -O1 keeps builds and runs short.
build() {
  local dir=$1 sanitize=$2
  cmake -S . -B "$dir" -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG" \
    -DZT_BUILD_BENCH=OFF "-DZT_SANITIZE=$sanitize" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

for s in "${stages[@]}"; do
  start=$SECONDS
  case "$s" in
  asan)
    build build-asan address,undefined
    # Stock hosts (lv2apply, jalv) are not instrumented: the runtime arrives
    # with the module they load, after the host's own libraries, which the
    # link-order check would refuse.
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:verify_asan_link_order=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      ctest --test-dir build-asan --output-on-failure --timeout 600 -j"$jobs"
    ;;
  tsan)
    build build-tsan thread
    # A stock host cannot load a module that needs the ThreadSanitizer
    # runtime (it must be in the process from the start), and running one
    # checks none of our threads: tests that drive lv2apply, lv2file,
    # lv2proc, ecasound, jalv or Ardour run in the other builds only.
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir build-tsan --output-on-failure --timeout 600 -j"$jobs" \
        -E '[Ll]v2apply|[Ll]v2file|[Ll]v2proc|[Ee]casound|[Jj]alv|[Aa]rdour'
    ;;
  *)
    echo "unknown sanitizer stage: $s (asan, tsan)" >&2
    exit 2
    ;;
  esac
  echo "--- $s: $((SECONDS - start)) s"
done
