#!/usr/bin/env bash
# The 64-bit Arm build: cross-compiled with Debian's g++-aarch64-linux-gnu
# (cmake/toolchain-aarch64.cmake), its unit tests run under qemu-aarch64
# with the cross C library, and the sessions of tests/cross/sessions.txt
# rendered through a small dlopen host by the aarch64 and the x86-64
# library. The renders must be identical bit for bit; so must the render of
# an x86-64 build that uses neither the FMA clone nor the C library's FMA
# variants (a processor without FMA). The .clap of each processor renders
# the same sessions as the LV2 library, bit for bit. Any difference fails
# the stage.
#
# Build folders: build-a64 (googletest for aarch64 in deps/, the cross build
# in main/) and build-x64cmp (the x86-64 library and host, and nofma/).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
a64=$src/build-a64
x64=$src/build-x64cmp
triple=aarch64-linux-gnu
libc_root=/usr/$triple
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
emulate=(qemu-aarch64 -L "$libc_root")

ZT_EXTRA_PACKAGES="g++-$triple qemu-user googletest" bash tools/deps.sh

# Unit tests that need nothing from the build machine run under emulation;
# areas that load the bundle through lilv or run the build machine's hosts
# stay with the x86-64 build.
areas=()
for area in engine modulation controls log types; do
  cml=tests/$area/CMakeLists.txt
  [ -f "$cml" ] || continue
  grep -qiE 'lilv|lv2apply|jalv|pkg_check_modules' "$cml" || areas+=("$area")
done
if [ -f tests/engine/CMakeLists.txt ] && [[ " ${areas[*]} " != *" engine "* ]]; then
  echo "aarch64: FAILED: the engine tests need lilv now and cannot run under emulation" >&2
  exit 1
fi
area_list=$(IFS=';'; echo "${areas[*]}")
echo "aarch64: unit test areas under emulation: ${areas[*]}"

# googletest for aarch64, from the sources the googletest package ships.
if [ ! -f "$a64/deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$a64/gtest-build" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-aarch64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$a64/deps" >/dev/null
  cmake --build "$a64/gtest-build" -j"$jobs" >/dev/null
  cmake --install "$a64/gtest-build" >/dev/null
fi

cmake -S . -B "$a64/main" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-aarch64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=ON \
  -DZT_CROSS_ROOTS="$a64/deps" -DZT_TEST_AREAS="$area_list" >/dev/null
cmake --build "$a64/main" -j"$jobs" >/dev/null
# The cross build leaves the window out (no cairo for aarch64 here), and so
# do the x86-64 builds it is compared with: the same bundle, file for file.
cmake -S . -B "$x64" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=OFF -DZT_BUILD_UI=OFF >/dev/null
cmake --build "$x64" -j"$jobs" --target zt_bundle >/dev/null
cmake -S . -B "$x64/nofma" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=OFF -DZT_BUILD_UI=OFF \
  -DCMAKE_CXX_FLAGS=-DZT_NO_CLONES >/dev/null
cmake --build "$x64/nofma" -j"$jobs" --target zt_bundle >/dev/null

fail() { echo "aarch64: FAILED: $*" >&2; exit 1; }

# The same bundle layout, with an aarch64 library that exports one symbol.
bundle=zirpomatik-tolm.lv2
lib=libzirpomatik-tolm.so
[ "$(cd "$a64/main/$bundle" && ls)" = "$(cd "$x64/$bundle" && ls)" ] || fail "bundle layouts differ"
for f in "$x64/$bundle"/*.ttl; do
  cmp "$f" "$a64/main/$bundle/$(basename "$f")" || fail "$(basename "$f") differs"
done
$triple-readelf -h "$a64/main/$bundle/$lib" | grep -q 'Machine:.*AArch64' || fail "$lib is not an aarch64 library"
exports=$($triple-nm -D --defined-only "$a64/main/$bundle/$lib" | awk '{print $3}')
[ "$exports" = lv2_descriptor ] || fail "the aarch64 library exports: $exports"

if [ ${#areas[@]} -gt 0 ]; then
  ctest --test-dir "$a64/main" --output-on-failure --no-tests=error -j"$jobs"
fi

# The render host, built for each processor; its own checks (load-time
# mode, the caller's mode kept, exact-zero tails, split invariance) must
# pass on both.
host_flags=(-std=c++20 -O2 -ffp-contract=off -Wall -Wextra -Werror -Ithird_party/clap/include)
g++ "${host_flags[@]}" tests/cross/render_host.cpp -o "$x64/render_host" -ldl
$triple-g++ "${host_flags[@]}" -I"$a64/main/cross-include" tests/cross/render_host.cpp \
  -o "$a64/render_host" -ldl

script=tests/cross/sessions.txt
rm -rf "$x64/render" "$x64/nofma/render" "$a64/render" "$x64/render-in-range" "$x64/clap-render" "$a64/clap-render"
mkdir -p "$x64/render" "$x64/nofma/render" "$a64/render" "$x64/render-in-range" "$x64/clap-render" "$a64/clap-render"
"$x64/render_host" "$x64/$bundle/$lib" "$script" "$x64/render" >"$x64/render.log" ||
  { cat "$x64/render.log"; fail "x86-64 render"; }
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA \
  "$x64/render_host" "$x64/nofma/$bundle/$lib" "$script" "$x64/nofma/render" >"$x64/nofma/render.log" ||
  { cat "$x64/nofma/render.log"; fail "x86-64 render without FMA"; }
"${emulate[@]}" "$a64/render_host" "$a64/main/$bundle/$lib" "$script" "$a64/render" >"$a64/render.log" ||
  { cat "$a64/render.log"; fail "aarch64 render"; }
cat "$a64/render.log"
# The .clap on both processors, the runs gathered into 389-frame blocks with
# the control changes as param events, against the LV2 library given the
# values the CLAP plugin takes (ends of the ranges).
"$x64/render_host" --in-range "$x64/$bundle/$lib" "$script" "$x64/render-in-range" >"$x64/render-in-range.log" ||
  { cat "$x64/render-in-range.log"; fail "x86-64 render with values in range"; }
"$x64/render_host" --block 389 "$x64/zirpomatik-tolm.clap" "$script" "$x64/clap-render" >"$x64/clap-render.log" ||
  { cat "$x64/clap-render.log"; fail "x86-64 CLAP render"; }
"${emulate[@]}" "$a64/render_host" --block 389 "$a64/main/zirpomatik-tolm.clap" "$script" "$a64/clap-render" \
  >"$a64/clap-render.log" || { cat "$a64/clap-render.log"; fail "aarch64 CLAP render"; }

# Bit for bit, session by session; on a difference, the first frame that
# differs and both values.
passed=0
failed=0
compare() {  # compare LABEL DIR [REFERENCE_DIR]
  local label=$1 dir=$2 ref=${3:-$x64/render} f name diff byte frame
  [ "$(cd "$ref" && ls)" = "$(cd "$dir" && ls)" ] || { echo "$label: other sessions"; failed=$((failed + 1)); return; }
  for f in "$ref"/*.f32; do
    name=$(basename "$f" .f32)
    if diff=$(cmp "$f" "$dir/$name.f32" 2>&1); then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      byte=$(sed -n 's/.* byte \([0-9]*\).*/\1/p' <<<"$diff")
      if [ -n "$byte" ]; then
        frame=$(( (byte - 1) / 4 ))
        echo "$label: session $name differs from frame $frame:" \
          "x86-64 $(od -An -tf4 -j$((frame * 4)) -N4 "$f"), $label $(od -An -tf4 -j$((frame * 4)) -N4 "$dir/$name.f32")" >&2
      else
        echo "$label: session $name: $diff" >&2
      fi
    fi
  done
}
compare aarch64 "$a64/render"
compare x86-64-nofma "$x64/nofma/render"
compare x86-64-clap "$x64/clap-render" "$x64/render-in-range"
compare aarch64-clap "$a64/clap-render" "$x64/render-in-range"
echo "aarch64 and x86-64 renders: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || fail "the renders are not bit-identical"
