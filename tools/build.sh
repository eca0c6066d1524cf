#!/usr/bin/env bash
# Configures and builds into build/ (or $ZT_BUILD_DIR). Extra arguments go to
# cmake; $ZT_BUILD_TARGET builds one target (zt_bundle: the bundle alone)
# instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZT_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" ${ZT_BUILD_TARGET:+--target "$ZT_BUILD_TARGET"}
