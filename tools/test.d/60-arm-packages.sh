#!/usr/bin/env bash
# The Debian packages for Arm, cross-built as a user would on an x86-64
# Debian 12 machine:
#
#   dpkg-buildpackage -a arm64 -Pcross,nocheck -us -uc -b   (and -a armhf)
#
# in a bare Debian 12 chroot holding only build-essential, crossbuild-
# essential for both and the Build-Depends that apt-get build-dep -a
# resolves (dpkg-checkbuilddeps -a must be content), so that an unmarked
# or missing one fails here. Every package built is checked by lintian (any
# error or warning fails) and every library in it must be for the package's
# processor. The plugin libraries unpacked from the packages then render the
# sessions of tests/cross/sessions.txt under qemu, and the renders must be
# identical bit for bit to the build tree's x86-64 library's.
#
# The chroot is unpacked from the base tarball of 50-package.sh
# ($TMPDIR/zt-fresh-base.tar, made with debootstrap when missing). Needs
# root and the network (apt inside the chroot).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
start=$SECONDS
fail() { echo "arm-packages: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
bash tools/deps.sh

arches=(arm64 armhf)
declare -A triple=([arm64]=aarch64-linux-gnu [armhf]=arm-linux-gnueabihf)
declare -A qemu=([arm64]=qemu-aarch64 [armhf]=qemu-arm)
declare -A machine=([arm64]=AArch64 [armhf]=ARM)
declare -A folder=([arm64]=build-a64 [armhf]=build-armhf)   # as 40-arm.sh names them
declare -A vst3_arch=([arm64]=aarch64 [armhf]=armv7l)        # the VST3 bundle's folder names
bundle=zirpomatik-tolm.lv2
lib=libzirpomatik-tolm.so
stereo_lib=libzirpomatik-tolm-stereo.so
work=$(mktemp -d "${TMPDIR:-/tmp}/zt-arm-packages.XXXXXX")
root=$work/build-root
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  if mountpoint -q "$root/proc" 2>/dev/null; then
    echo "arm-packages: $root/proc is still mounted; $work left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# --- a bare Debian 12 chroot with both foreign architectures
source tools/debian_base.sh
source tools/apt_update.sh
in_root() {  # in_root COMMAND
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
}
mkdir -p "$root/pkg/src"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc"
if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - | tar -C "$root/pkg/src" -xf -
else
  tar --exclude-vcs --exclude='./build*' --exclude=./out -cf - . | tar -C "$root/pkg/src" -xf -
fi

echo "arm-packages: chroot: crossbuild-essential, apt-get build-dep -a ${arches[*]}"
t0=$SECONDS
setup="$(declare -f apt_update); dpkg --add-architecture arm64 && dpkg --add-architecture armhf && apt_update &&
  apt-get install -y -qq --no-install-recommends build-essential crossbuild-essential-arm64 crossbuild-essential-armhf"
for a in "${arches[@]}"; do
  setup+=" && apt-get build-dep -y -qq -a $a -Pcross,nocheck /pkg/src"
done
in_root "$setup" >"$work/setup.log" 2>&1 || { tail -20 "$work/setup.log"; fail "setting up the chroot"; }
echo "arm-packages: chroot ready ($((SECONDS - t0)) s)"

debs=()
for a in "${arches[@]}"; do
  t0=$SECONDS
  in_root "cd /pkg/src && dpkg-checkbuilddeps -a $a -Pcross,nocheck &&
    DEB_BUILD_OPTIONS='parallel=2 nocheck' dpkg-buildpackage -a $a -Pcross,nocheck -us -uc -b" \
    >"$work/build-$a.log" 2>&1 || { tail -30 "$work/build-$a.log"; fail "dpkg-buildpackage -a $a (log above)"; }
  # Every binary package but the debug symbols' that debhelper adds.
  built=()
  for deb in "$root"/pkg/*_"$a".deb; do
    [[ $deb == *-dbgsym_* ]] || built+=("$deb")
  done
  [ ${#built[@]} -gt 0 ] || fail "no package for $a"
  echo "arm-packages: built $(for deb in "${built[@]}"; do printf '%s ' "$(basename "$deb")"; done)($((SECONDS - t0)) s)"
  debs+=("${built[@]}")
done
umount "$root/proc"

# --- lintian, and every library in every package for its processor
for deb in "${debs[@]}"; do
  a=$(dpkg-deb -f "$deb" Architecture)
  lintian --info --display-info "$deb" >"$work/lintian.log" 2>&1 || true
  grep -v 'running with root privileges' "$work/lintian.log" | sed "s/^/arm-packages: lintian: /" || true
  ! grep -q '^[EW]:' "$work/lintian.log" || fail "lintian reports errors or warnings for $(basename "$deb") (above)"
  out=$work/unpacked/$a
  mkdir -p "$out"
  dpkg-deb -x "$deb" "$out"
  while IFS= read -r -d '' f; do
    readelf -h "$f" 2>/dev/null | grep -q '^ *Type: *DYN' || continue
    readelf -h "$f" | grep -q "Machine:.*${machine[$a]}\$" || fail "$(basename "$deb"): ${f#"$out"} is not for ${machine[$a]}"
  done < <(find "$out" -type f -print0)
done
for a in "${arches[@]}"; do
  for f in "$lib" "$stereo_lib" libzirpomatik-tolm-ui.so; do
    [ -f "$work/unpacked/$a/usr/lib/lv2/$bundle/$f" ] || fail "the $a package holds no /usr/lib/lv2/$bundle/$f"
  done
  # The frame loops' fused multiply-adds are instructions, not calls.
  ! ${triple[$a]}-nm -D "$work/unpacked/$a/usr/lib/lv2/$bundle/"{$lib,$stereo_lib} | grep -qw fmaf ||
    fail "the $a plugin calls the C library's fmaf"
done

# --- the sessions through each package's plugin, against x86-64
# build/ as tools/test.sh configures it; the bundle alone when run by itself.
[ -f build/CMakeCache.txt ] ||
  cmake -S . -B build -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF -DZT_BUILD_PLOTS=OFF >/dev/null
cmake --build build --target zt_bundle >/dev/null || fail "could not build zt_bundle in build/"
mkdir -p "$work/include" "$work/render/x86-64"
ln -s /usr/include/lv2 "$work/include/lv2"
host_flags=(-std=c++20 -O2 -ffp-contract=off -Wall -Wextra -Werror -I"$work/include" -Ithird_party/clap/include -Ithird_party/vst3)
script=tests/cross/sessions.txt
g++ "${host_flags[@]}" tests/cross/render_host.cpp -o "$work/render_host-x86-64" -ldl
"$work/render_host-x86-64" "$src/build/$bundle/$lib" "$script" "$work/render/x86-64" >"$work/render.log" ||
  { cat "$work/render.log"; fail "x86-64 render"; }
# The .clap against the LV2 library given the values the CLAP plugin takes.
mkdir -p "$work/render/x86-64-in-range"
"$work/render_host-x86-64" --in-range "$src/build/$bundle/$lib" "$script" "$work/render/x86-64-in-range" \
  >"$work/render.log" || { cat "$work/render.log"; fail "x86-64 render with values in range"; }
mkdir -p "$work/render/x86-64-stereo"
"$work/render_host-x86-64" --stereo "$src/build/$bundle/$stereo_lib" "$script" "$work/render/x86-64-stereo" \
  >"$work/render.log" || { cat "$work/render.log"; fail "x86-64 stereo render"; }
for a in "${arches[@]}"; do
  ${triple[$a]}-g++ "${host_flags[@]}" tests/cross/render_host.cpp -o "$work/render_host-$a" -ldl
  mkdir -p "$work/render/$a"
  ${qemu[$a]} -L "/usr/${triple[$a]}" "$work/render_host-$a" "$work/unpacked/$a/usr/lib/lv2/$bundle/$lib" \
    "$script" "$work/render/$a" >"$work/render.log" || { cat "$work/render.log"; fail "$a render"; }
  diff -r "$work/render/x86-64" "$work/render/$a" >/dev/null || fail "the $a package's renders differ from x86-64's"
  mkdir -p "$work/render/$a-stereo"
  ${qemu[$a]} -L "/usr/${triple[$a]}" "$work/render_host-$a" --stereo "$work/unpacked/$a/usr/lib/lv2/$bundle/$stereo_lib" \
    "$script" "$work/render/$a-stereo" >"$work/render.log" || { cat "$work/render.log"; fail "$a stereo render"; }
  diff -r "$work/render/x86-64-stereo" "$work/render/$a-stereo" >/dev/null ||
    fail "the $a package's stereo renders differ from x86-64's"
  clap=$work/unpacked/$a/usr/lib/clap/zirpomatik-tolm.clap
  if [ -f "$clap" ]; then
    # It carries the window: the target's cairo and X11 unpacked beside it.
    sysroot=$src/${folder[$a]}/sysroot
    bash tools/cross-sysroot.sh "$a" "$sysroot"
    mkdir -p "$work/render/$a-clap"
    ${qemu[$a]} -L "/usr/${triple[$a]}" -E LD_LIBRARY_PATH="$sysroot/usr/lib/${triple[$a]}:$sysroot/lib/${triple[$a]}" \
      "$work/render_host-$a" --block 389 "$clap" "$script" "$work/render/$a-clap" \
      >"$work/render.log" || { cat "$work/render.log"; fail "$a CLAP render"; }
    diff -r "$work/render/x86-64-in-range" "$work/render/$a-clap" >/dev/null ||
      fail "the $a .clap's renders differ from x86-64's"
    vst3=$work/unpacked/$a/usr/lib/vst3/zirpomatik-tolm.vst3/Contents/${vst3_arch[$a]}-linux/zirpomatik-tolm.so
    [ -f "$vst3" ] || fail "the $a VST3 package holds no ${vst3#"$work/unpacked/$a"}"
    mkdir -p "$work/render/$a-vst3"
    ${qemu[$a]} -L "/usr/${triple[$a]}" -E LD_LIBRARY_PATH="$sysroot/usr/lib/${triple[$a]}:$sysroot/lib/${triple[$a]}" \
      "$work/render_host-$a" --block 389 "$vst3" "$script" "$work/render/$a-vst3" \
      >"$work/render.log" || { cat "$work/render.log"; fail "$a VST3 render"; }
    diff -r "$work/render/x86-64-in-range" "$work/render/$a-vst3" >/dev/null ||
      fail "the $a VST3 plugin's renders differ from x86-64's"
  fi
  echo "arm-packages: $a packages: $(ls "$work/render/$a" | wc -l) sessions bit-identical to x86-64"
done
echo "arm-packages: ${#debs[@]} packages built, lintian clean, rendering as on x86-64 ($((SECONDS - start)) s)"
