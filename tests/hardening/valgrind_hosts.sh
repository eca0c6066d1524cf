#!/usr/bin/env bash
# Two stock hosts load the built plugin, render with it and unload it under
# valgrind's memcheck: no definitely or indirectly lost block, no invalid
# access, no use of uninitialised memory, from loading the library to
# unloading it. lv2apply runs the plugin one frame per call, lv2file in
# blocks of 100 frames; PICTURE_TEST instantiates, runs and draws the mixer
# strip's picture at every size a host asks for.
# Usage: valgrind_hosts.sh BUILD_DIR PLUGIN_URI SANITIZERS PICTURE_TEST
# Exits 77 (skipped) when valgrind is missing or the build is instrumented.
set -euo pipefail
build=$1 uri=$2 sanitize=${3:-} picture_test=$4
if ! command -v valgrind >/dev/null; then
  echo "SKIPPED: valgrind is not installed (bash tools/deps.sh installs it)"
  exit 77
fi
if [ -n "$sanitize" ]; then
  echo "SKIPPED: the sanitizer build ($sanitize) carries its sanitizer runtime, which cannot run under valgrind"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The one bundle, so that lilv reads nothing else from the build folder.
mkdir lv2
ln -s "$build/zirpomatik-tolm.lv2" lv2/
export LV2_PATH=$work/lv2
sox -n -r 48000 -c 1 -b 32 -e floating-point in.wav synth 0.5 sawtooth 110 gain -6

memcheck=(valgrind --leak-check=full --show-leak-kinds=definite,indirect
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99)
check() {  # check NAME COMMAND...
  local name=$1 rc=0
  shift
  timeout 300 "${memcheck[@]}" --log-file="$name.vg" "$@" >"$name.out" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ] || { [ "$name" != picture ] && [ ! -s "$name.wav" ]; }; then
    cat "$name.out" "$name.vg"
    echo "FAILED: $name under valgrind (exit $rc)"
    exit 1
  fi
  grep -E 'definitely lost|indirectly lost|in use at exit|ERROR SUMMARY' "$name.vg" | sed "s/^==[0-9]*==/$name:/"
}
check lv2apply lv2apply -c resonance 50 -c type 7 -i in.wav -o lv2apply.wav "$uri"
check lv2file "--suppressions=$here/lv2file.supp" \
  lv2file -b 100 -p resonance:50 -p type:7 -i in.wav -o lv2file.wav "$uri"
check picture "$picture_test"
echo "valgrind: lv2apply, lv2file and the picture's test lose nothing"
