#!/usr/bin/env bash
# The release archives, one per processor, for any Linux from 2020 on:
#
#   dist/zirpomatik-tolm-VERSION-linux-x86_64.tar.xz   (and -aarch64, -armhf)
#   dist/SHA256SUMS
#
# Each unpacks into zirpomatik-tolm-VERSION-linux-ARCH/ holding what the
# build makes (the LV2 bundle with every plugin and the window, every .clap,
# every .vst3 bundle), LICENSE, INSTALL and install.sh.
#
# Built in a bare Debian 11 chroot (glibc 2.31, the oldest C library the
# archives need), the Arm ones cross-built there as tools/test.d/40-arm.sh
# does, against Debian 11's cairo and X11. Reproducible: the same commit
# gives the same bytes (times from the commit, sorted entries, fixed owners,
# no build paths). VERSION is the project's, in CMakeLists.txt, which
# debian/changelog must agree with. Needs root (debootstrap, chroot) and the
# network (apt inside the chroot).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
source tools/apt_update.sh
start=$SECONDS
fail() { echo "release: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
# All the build machine needs of its own; the rest comes into the chroot.
# git gives the time of the commit the archives are stamped with.
missing=()
for tool in debootstrap git; do command -v $tool >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
  { apt_update && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null; } ||
    fail "installing ${missing[*]}"
fi

version=$(sed -n 's/^project(zirpomatik-tolm VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
changelog=$(sed -n '1s/^[^ ]* (\([^)-]*\).*/\1/p' debian/changelog)
[ "$changelog" = "$version" ] || fail "debian/changelog says $changelog, CMakeLists.txt $version"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || fail "no commit to take the time from (set SOURCE_DATE_EPOCH)"
fi
[ -z "$(git status --porcelain 2>/dev/null)" ] || echo "release: the tree has changes that are not committed; they go in"

work=$(mktemp -d "${TMPDIR:-/tmp}/zt-release.XXXXXX")
root=$work/root
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  if mountpoint -q "$root/proc" 2>/dev/null; then
    echo "release: $root/proc is still mounted; $work left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

suite=bullseye
source tools/debian_base.sh
mkdir -p "$root"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc"
in_root() {  # in_root COMMAND
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TZ=UTC DEBIAN_FRONTEND=noninteractive \
    SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" VERSION="$version" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
}
echo "release: Debian 11 chroot: compilers for x86-64, aarch64 and armhf"
in_root "$(declare -f apt_update); apt_update && apt-get install -y -qq --no-install-recommends build-essential cmake \
  pkg-config lv2-dev libcairo2-dev libx11-dev g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user xz-utils" \
  >"$work/apt.log" 2>&1 || { tail -20 "$work/apt.log"; fail "installing the build tools in the chroot"; }

# The files git knows (committed or not, ignored ones left out), at a path
# that is the same on every run.
mkdir -p "$root/src"
if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - | tar -C "$root/src" -xf -
else
  tar --exclude-vcs --exclude='./build*' --exclude=./dist --exclude=./out -cf - . | tar -C "$root/src" -xf -
fi

in_root 'bash -s' >"$work/build.log" 2>&1 <<'EOF' || { tail -40 "$work/build.log"; fail "building in the chroot (log above)"; }
set -euo pipefail
umask 022
cd /src
# No build path in the binaries, the build folder's included.
export CFLAGS="-ffile-prefix-map=/src/= -ffile-prefix-map=/build/="
export CXXFLAGS=$CFLAGS
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
# No run path either (a cross build would point it into the sysroot).
options=(-DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF -DZT_BUILD_PLOTS=OFF -DCMAKE_SKIP_RPATH=ON)
declare -A toolchain=([aarch64]=toolchain-aarch64.cmake [armhf]=toolchain-armhf.cmake)
declare -A debarch=([aarch64]=arm64 [armhf]=armhf)
declare -A triple=([aarch64]=aarch64-linux-gnu [armhf]=arm-linux-gnueabihf)
for arch in x86_64 aarch64 armhf; do
  b=/build/$arch
  if [ "$arch" = x86_64 ]; then
    cmake -S . -B "$b" "${options[@]}" -DZT_BUILD_UI=ON >/dev/null
    tools=""
  else
    bash tools/cross-sysroot.sh "${debarch[$arch]}" "/build/sysroot-$arch"
    cmake -S . -B "$b" "${options[@]}" -DZT_BUILD_UI=ON -DCMAKE_TOOLCHAIN_FILE="/src/cmake/${toolchain[$arch]}" \
      -DZT_CROSS_SYSROOT="/build/sysroot-$arch" >/dev/null
    tools=${triple[$arch]}-
  fi
  cmake --build "$b" -j"$jobs"
  name=zirpomatik-tolm-$VERSION-linux-$arch
  stage=/build/stage/$name
  mkdir -p "$stage"
  # What the build makes for hosts to load, whatever its faces: bundles and
  # plugin files at the top of the build folder.
  find "$b" -mindepth 1 -maxdepth 1 \( -name '*.lv2' -o -name '*.clap' -o -name '*.vst3' \) \
    -exec cp -r {} "$stage/" \;
  [ -d "$stage/zirpomatik-tolm.lv2" ] || { echo "no bundle for $arch"; exit 1; }
  cp LICENSE "$stage/"
  cp tools/release/install.sh "$stage/install.sh"
  sed "s/@VERSION@/$VERSION/g; s/@ARCH@/$arch/g" tools/release/INSTALL.in >"$stage/INSTALL"
  find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  chmod 755 "$stage/install.sh"

  # Every library: the processor's, stripped, and loading with glibc 2.31
  # and nothing more than the C and maths libraries (the window: X11,
  # cairo and libXext, which cairo itself needs, besides); no C++ runtime.
  while IFS= read -r -d '' lib; do
    "${tools}strip" --strip-unneeded "$lib"
    needed=$("${tools}readelf" -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
    allowed="libc.so.6 libm.so.6 "
    "${tools}nm" -D --defined-only "$lib" | grep -qwE 'lv2ui_descriptor|clap_entry|GetPluginFactory' &&
      allowed+="libX11.so.6 libXext.so.6 libcairo.so.2 "
    for n in $needed; do
      [[ " $allowed" == *" $n "* ]] || { echo "$lib needs $n (allowed: $allowed)"; exit 1; }
    done
    newest=$("${tools}objdump" -T "$lib" | grep -o 'GLIBC_2\.[0-9.]*' | sort -uV | tail -1)
    [ "$(printf '%s\nGLIBC_2.31\n' "$newest" | sort -V | tail -1)" = GLIBC_2.31 ] ||
      { echo "$lib needs $newest"; exit 1; }
    if "${tools}objdump" -T "$lib" | grep -q 'GLIBCXX\|CXXABI\|GCC_[0-9]'; then
      echo "$lib needs the C++ or GCC runtime"; exit 1
    fi
    echo "$arch: $(basename "$lib"): $needed(newest: $newest)"
  done < <(find "$stage" -type f \( -name '*.so' -o -name '*.clap' \) -print0)
  grep -rl -e /src/ -e /build/ "$stage" && { echo "build paths in the $arch files above"; exit 1; }

  mkdir -p /dist
  tar -C /build/stage --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
    --mtime="@$SOURCE_DATE_EPOCH" -cf - "$name" | xz -9e --threads=1 >"/dist/$name.tar.xz"
done
cd /dist && sha256sum -- *.tar.xz >SHA256SUMS
EOF
grep -E '^[a-z0-9_]+: ' "$work/build.log" | sed 's/^/release: /'

rm -rf dist
mkdir -p dist
cp "$root"/dist/* dist/
sed 's/^/release: /' dist/SHA256SUMS
echo "release: dist/ written, version $version, $(du -ch dist/*.tar.xz | tail -1 | cut -f1) in all ($((SECONDS - start)) s)"
