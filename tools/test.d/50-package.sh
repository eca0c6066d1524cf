#!/usr/bin/env bash
# The Debian package as a user gets it: built with dpkg-buildpackage from a
# copy of the tree (the tree itself stays clean), checked by lintian (any
# error or warning fails), installed with apt-get into a bare Debian 12
# chroot, listed by lv2ls and run by lv2apply there. Its render must carry
# the same samples, bit for bit, as the build tree's bundle (build/) given
# the same input. Then it is purged, and /usr must be as before the install.
#
# The chroot is unpacked from the minbase tarball that
# ../shared/tools/fresh-check.sh also uses ($TMPDIR/zt-fresh-base.tar,
# made here with debootstrap when missing). Needs root and the network
# (apt inside the chroot).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
start=$SECONDS
fail() { echo "package: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
bash tools/deps.sh

uri=$(sed -n 's/^set(ZT_PLUGIN_URI "\(.*\)")$/\1/p' CMakeLists.txt)
name=$(sed -n 's/^Package: //p' debian/control)
bundle=zirpomatik-tolm.lv2
work=$(mktemp -d "${TMPDIR:-/tmp}/zt-package.XXXXXX")
root=$work/root
# Never remove the chroot while proc is still mounted in it.
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  if mountpoint -q "$root/proc" 2>/dev/null; then
    echo "package: $root/proc is still mounted; $work left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# --- build, from the files git knows (committed or not, ignored ones left out)
mkdir -p "$work/pkg/src"
git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - | tar -C "$work/pkg/src" -xf -
echo "package: dpkg-buildpackage -us -uc -b"
(cd "$work/pkg/src" && DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" \
   dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) ||
  { tail -30 "$work/build.log"; fail "dpkg-buildpackage (log above)"; }
version=$(cd "$work/pkg/src" && dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
deb=$work/pkg/${name}_${version}_$arch.deb
changes=$work/pkg/$(sed -n 's/^Source: //p' debian/control)_${version}_$arch.changes
[ -f "$deb" ] && [ -f "$changes" ] || fail "no $(basename "$deb") or $(basename "$changes")"
dpkg-deb -c "$deb" >"$work/contents"
grep -q "/usr/lib/lv2/$bundle/libzirpomatik-tolm.so$" "$work/contents" ||
  fail "the package does not hold /usr/lib/lv2/$bundle/libzirpomatik-tolm.so"

# --- lintian
lintian --info --display-info "$deb" "$changes" >"$work/lintian.log" 2>&1 || true
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/package: lintian: /' || true
! grep -q '^[EW]:' "$work/lintian.log" || fail "lintian reports errors or warnings (above)"

# --- the reference render, through the build tree's bundle
cmake --build build --target zt_bundle zt_wav >/dev/null ||
  fail "could not build zt_bundle and zt_wav in build/ (run tools/test.sh, which configures the tests)"
wav_tool=$src/build/tests/wav/zt_wav
mkdir -p "$work/tree-lv2"
ln -s "$src/build/$bundle" "$work/tree-lv2/$bundle"
# A sawtooth loud enough to pass full scale through the resonance, then
# silence for a decay into the smallest values.
sox -n -r 48000 -c 1 -b 32 -e floating-point "$work/in.wav" synth 2 sawtooth 110 gain -1 pad 0 1
controls=(-c mix 80 -c rate 9 -c glide_down 30 -c glide_up 5 -c shape 1 -c resonance 85 -c center 900 -c octaves 3 -c type 7)
LV2_PATH=$work/tree-lv2 lv2apply -i "$work/in.wav" -o "$work/tree.wav" "${controls[@]}" "$uri" ||
  fail "lv2apply with the build tree's bundle"

# --- a bare Debian 12 chroot with lv2ls and lv2apply
base=${TMPDIR:-/tmp}/zt-fresh-base.tar
if [ ! -f "$base" ]; then
  echo "package: making $base with debootstrap (once per machine)"
  mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list)
  debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log"; fail "debootstrap"; }
  tar -C "$work/base" -cf "$base.$$" . && mv "$base.$$" "$base" && rm -rf "$work/base"
fi
mkdir -p "$root"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc"
inside() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
}
echo "package: chroot: apt-get install lilv-utils"
inside 'apt-get update -qq && apt-get install -y -qq --no-install-recommends lilv-utils' >"$work/chroot.log" 2>&1 ||
  { tail -20 "$work/chroot.log"; fail "installing lilv-utils in the chroot"; }
inside 'find /usr | sort' >"$work/usr-before"
cp "$deb" "$work/in.wav" "$root/tmp/"

# --- install, list, render
echo "package: chroot: apt-get install ./$(basename "$deb")"
inside "cd /tmp && apt-get install -y -qq ./$(basename "$deb")" >>"$work/chroot.log" 2>&1 ||
  { tail -20 "$work/chroot.log"; fail "apt-get install ./$(basename "$deb") in the chroot"; }
[ -f "$root/usr/lib/lv2/$bundle/libzirpomatik-tolm.so" ] || fail "no /usr/lib/lv2/$bundle/libzirpomatik-tolm.so after the install"
for doc in README.md.gz changelog.gz copyright; do
  [ -f "$root/usr/share/doc/$name/$doc" ] || fail "no /usr/share/doc/$name/$doc after the install"
done
inside 'lv2ls' >"$work/lv2ls.out" 2>&1 || { cat "$work/lv2ls.out"; fail "lv2ls in the chroot"; }
grep -qxF "$uri" "$work/lv2ls.out" || { cat "$work/lv2ls.out"; fail "lv2ls does not list $uri"; }
inside "lv2apply -i /tmp/in.wav -o /tmp/installed.wav ${controls[*]} $uri" >"$work/lv2apply.log" 2>&1 ||
  { cat "$work/lv2apply.log"; fail "lv2apply with the installed bundle"; }
! "$wav_tool" compare "$work/in.wav" "$root/tmp/installed.wav" >/dev/null ||
  fail "the installed plugin's output equals its input"
result=$("$wav_tool" compare "$work/tree.wav" "$root/tmp/installed.wav") ||
  fail "the installed bundle renders other samples than build/$bundle: $result"
echo "package: installed bundle and build tree: $result"

# --- purge: nothing of it may be left under /usr
inside "apt-get purge -y -qq --autoremove $name" >>"$work/chroot.log" 2>&1 ||
  { tail -20 "$work/chroot.log"; fail "apt-get purge $name in the chroot"; }
inside 'find /usr | sort' >"$work/usr-after"
if ! diff "$work/usr-before" "$work/usr-after" >"$work/usr.diff"; then
  sed 's/^/package: /' "$work/usr.diff" | head -20
  fail "/usr after the purge differs from /usr before the install (above)"
fi
status=$(inside "dpkg-query -W -f='\${Status}' $name 2>/dev/null" || true)
[ -z "$status" ] || [ "$status" = "unknown ok not-installed" ] || fail "$name is left as '$status' after the purge"
echo "package: $(basename "$deb") built, lintian clean, installed, rendered, purged without a trace ($((SECONDS - start)) s)"
