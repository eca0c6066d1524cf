#!/usr/bin/env bash
# The Arm builds, 64-bit (aarch64) and 32-bit (armhf): each cross-compiled
# with Debian's cross compilers (cmake/toolchain-*.cmake) against Debian's
# cairo and X11 for that processor, unpacked into a folder of their own
# (tools/cross-sysroot.sh). For each: the bundle must hold what the x86-64
# one holds, the unit tests run under qemu with the cross C library, the
# sessions of tests/cross/sessions.txt rendered through a small dlopen host
# must be identical bit for bit to the x86-64 renders, and the window,
# opened and dragged by a host built for that processor under qemu on a
# private X server, must draw the x86-64 pictures pixel for pixel. The
# render of an x86-64 build that uses neither the FMA clone nor the C
# library's FMA variants (a processor without FMA) must match too, and the
# .clap of each processor renders the same sessions as the LV2 library, and
# the stereo library renders them (both channels) as on x86-64.
#
# Build folders: build-x64cmp (the x86-64 bundle, hosts and renders, and
# nofma/), and per processor build-a64 / build-armhf (sysroot/, googletest
# in deps/, the cross build in main/).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
x64=$src/build-x64cmp
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
bundle=zirpomatik-tolm.lv2
lib=libzirpomatik-tolm.so
stereo_lib=libzirpomatik-tolm-stereo.so
script=tests/cross/sessions.txt

bash tools/deps.sh

fail() { echo "arm: FAILED: $*" >&2; exit 1; }

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
  fail "the engine tests need lilv now and cannot run under emulation"
fi
echo "arm: unit test areas under emulation: ${areas[*]}"
area_list=$(IFS=';'; echo "${areas[*]};cross")

# --- x86-64: the bundle with its window, the window's host, and the renders.
cmake -S . -B "$x64" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF -DZT_BUILD_PLOTS=OFF \
  -DZT_BUILD_TESTS=ON -DZT_TEST_AREAS=cross >/dev/null
cmake --build "$x64" -j"$jobs" --target zt_bundle zt_window_shot >/dev/null
cmake -S . -B "$x64/nofma" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF -DZT_BUILD_TESTS=OFF -DZT_BUILD_UI=OFF \
  -DZT_BUILD_PLOTS=OFF -DCMAKE_CXX_FLAGS=-DZT_NO_CLONES >/dev/null
cmake --build "$x64/nofma" -j"$jobs" --target zt_bundle >/dev/null

host_flags=(-std=c++20 -O2 -ffp-contract=off -Wall -Wextra -Werror -Ithird_party/clap/include)
g++ "${host_flags[@]}" tests/cross/render_host.cpp -o "$x64/render_host" -ldl
rm -rf "$x64/render" "$x64/nofma/render" "$x64/shot" "$x64/render-in-range" "$x64/clap-render" "$x64/stereo-render"
mkdir -p "$x64/render" "$x64/nofma/render" "$x64/shot" "$x64/render-in-range" "$x64/clap-render" "$x64/stereo-render"
"$x64/render_host" "$x64/$bundle/$lib" "$script" "$x64/render" >"$x64/render.log" ||
  { cat "$x64/render.log"; fail "x86-64 render"; }
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA \
  "$x64/render_host" "$x64/nofma/$bundle/$lib" "$script" "$x64/nofma/render" >"$x64/nofma/render.log" ||
  { cat "$x64/nofma/render.log"; fail "x86-64 render without FMA"; }
# The .clap, the runs gathered into 389-frame blocks with the control
# changes as param events, against the LV2 library given the values the
# CLAP plugin takes (ends of the ranges).
"$x64/render_host" --in-range "$x64/$bundle/$lib" "$script" "$x64/render-in-range" >"$x64/render-in-range.log" ||
  { cat "$x64/render-in-range.log"; fail "x86-64 render with values in range"; }
"$x64/render_host" --block 389 "$x64/zirpomatik-tolm.clap" "$script" "$x64/clap-render" >"$x64/clap-render.log" ||
  { cat "$x64/clap-render.log"; fail "x86-64 CLAP render"; }
"$x64/render_host" --stereo "$x64/$bundle/$stereo_lib" "$script" "$x64/stereo-render" >"$x64/stereo-render.log" ||
  { cat "$x64/stereo-render.log"; fail "x86-64 stereo render"; }
"$x64/tests/cross/zt_window_shot" "$x64/shot" >"$x64/shot/calls" || fail "x86-64 window"
grep -q '^write 2 ' "$x64/shot/calls" || fail "x86-64 window: the drag wrote nothing to mix"

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
compare x86-64-nofma "$x64/nofma/render"
compare x86-64-clap "$x64/clap-render" "$x64/render-in-range"

# --- each Arm processor
arm_build() {  # arm_build NAME DEBIAN_ARCH TRIPLE QEMU TOOLCHAIN FOLDER ELF_MACHINE
  local name=$1 debarch=$2 triple=$3 qemu=$4 toolchain=$5 dir=$6 machine=$7 t0=$SECONDS
  local sysroot=$dir/sysroot emulate=("$4" -L "/usr/$3")
  # The .clap carries the window: cairo, X11 and their libraries come from
  # the sysroot, the C library from the cross root.
  local emulate_gui=("${emulate[@]}" -E LD_LIBRARY_PATH="$sysroot/usr/lib/$triple:$sysroot/lib/$triple")
  bash tools/cross-sysroot.sh "$debarch" "$sysroot"

  # googletest for the processor, from the sources the googletest package ships.
  if [ ! -f "$dir/deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$dir/gtest-build" \
      -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$dir/deps" >/dev/null
    cmake --build "$dir/gtest-build" -j"$jobs" >/dev/null
    cmake --install "$dir/gtest-build" >/dev/null
  fi
  cmake -S . -B "$dir/main" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_BENCH=OFF -DZT_BUILD_PLOTS=OFF -DZT_BUILD_TESTS=ON \
    -DZT_CROSS_ROOTS="$dir/deps" -DZT_CROSS_SYSROOT="$sysroot" -DZT_TEST_AREAS="$area_list" >/dev/null
  cmake --build "$dir/main" -j"$jobs" >/dev/null

  # The same bundle, file for file, window included; libraries of the
  # processor that export one symbol each.
  local f exports
  [ "$(cd "$dir/main/$bundle" && ls)" = "$(cd "$x64/$bundle" && ls)" ] || fail "$name: bundle layouts differ"
  for f in "$x64/$bundle"/*.ttl; do
    cmp "$f" "$dir/main/$bundle/$(basename "$f")" || fail "$name: $(basename "$f") differs"
  done
  for f in "$dir/main/$bundle"/*.so "$dir/main/zirpomatik-tolm.clap"; do
    $triple-readelf -h "$f" | grep -q "Machine:.*$machine\$" || fail "$name: $(basename "$f") is not for $machine"
  done
  for f in "$lib" "$stereo_lib"; do
    exports=$($triple-nm -D --defined-only "$dir/main/$bundle/$f" | awk '{print $3}')
    [ "$exports" = lv2_descriptor ] || fail "$name: $f exports: $exports"
  done
  exports=$($triple-nm -D --defined-only "$dir/main/$bundle/libzirpomatik-tolm-ui.so" | awk '{print $3}')
  [ "$exports" = lv2ui_descriptor ] || fail "$name: the window's library exports: $exports"

  ctest --test-dir "$dir/main" --output-on-failure --no-tests=error -j"$jobs"

  # The render host's own checks (load-time mode, the caller's mode kept,
  # exact-zero tails, split invariance) must pass here too.
  $triple-g++ "${host_flags[@]}" -I"$dir/main/cross-include" tests/cross/render_host.cpp \
    -o "$dir/render_host" -ldl
  rm -rf "$dir/render" "$dir/shot" "$dir/clap-render" "$dir/stereo-render"
  mkdir -p "$dir/render" "$dir/shot" "$dir/clap-render" "$dir/stereo-render"
  "${emulate[@]}" "$dir/render_host" "$dir/main/$bundle/$lib" "$script" "$dir/render" >"$dir/render.log" ||
    { cat "$dir/render.log"; fail "$name render"; }
  "${emulate_gui[@]}" "$dir/render_host" --block 389 "$dir/main/zirpomatik-tolm.clap" "$script" "$dir/clap-render" \
    >"$dir/clap-render.log" || { cat "$dir/clap-render.log"; fail "$name CLAP render"; }
  "${emulate[@]}" "$dir/render_host" --stereo "$dir/main/$bundle/$stereo_lib" "$script" "$dir/stereo-render" \
    >"$dir/stereo-render.log" || { cat "$dir/stereo-render.log"; fail "$name stereo render"; }
  compare "$name" "$dir/render"
  compare "$name-stereo" "$dir/stereo-render" "$x64/stereo-render"
  compare "$name-clap" "$dir/clap-render" "$x64/render-in-range"

  "${emulate_gui[@]}" "$dir/main/tests/cross/zt_window_shot" "$dir/shot" >"$dir/shot/calls" || fail "$name window"
  cmp -s "$x64/shot/calls" "$dir/shot/calls" || fail "$name window: the drag told the host other things than on x86-64"
  local picture pae
  for picture in open dragged; do
    if ! cmp -s "$x64/shot/$picture.ppm" "$dir/shot/$picture.ppm"; then
      pae=$(compare -metric PAE "$x64/shot/$picture.ppm" "$dir/shot/$picture.ppm" null: 2>&1 || true)
      fail "$name: the window's $picture picture differs from x86-64's (largest difference: $pae)"
    fi
  done
  echo "arm: $name: bundle, unit tests, renders and window pictures checked ($((SECONDS - t0)) s)"
}

arm_build aarch64 arm64 aarch64-linux-gnu qemu-aarch64 toolchain-aarch64.cmake "$src/build-a64" AArch64
arm_build armhf armhf arm-linux-gnueabihf qemu-arm toolchain-armhf.cmake "$src/build-armhf" ARM

echo "arm and x86-64 renders: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || fail "the renders are not bit-identical"
