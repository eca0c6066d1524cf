#!/usr/bin/env bash
# The Debian packages (LV2, CLAP and VST3) as a user gets them: built with
# dpkg-buildpackage from a copy of the tree (the tree itself stays clean) in
# a bare Debian 12 chroot holding only build-essential and the
# Build-Depends, so that a missing one fails here; checked by lintian (any
# error or warning fails); installed with apt-get into a second bare chroot,
# the LV2 plugin listed by lv2ls and run by lv2apply there, the CLAP and
# VST3 plugins run by the render host. Their renders must carry the same
# samples, bit for bit, as the build tree's (build/) given the same input;
# the stereo LV2 plugin's too. Then they are
# purged, and /usr must be as before the install.
#
# The chroots are unpacked from the minbase tarball that
# ../shared/tools/fresh-check.sh also uses ($TMPDIR/zt-fresh-base.tar,
# made here with debootstrap when missing). Needs root and the network
# (apt inside the chroots).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
start=$SECONDS
fail() { echo "package: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
bash tools/deps.sh

uri=$(sed -n 's/^set(ZT_PLUGIN_URI "\(.*\)")$/\1/p' CMakeLists.txt)
name=$(sed -n 's/^Package: //p' debian/control | grep -- -lv2$)
clap_name=$(sed -n 's/^Package: //p' debian/control | grep -- -clap$)
vst3_name=$(sed -n 's/^Package: //p' debian/control | grep -- -vst3$)
vst3_lib=zirpomatik-tolm.vst3/Contents/$(uname -m)-linux/zirpomatik-tolm.so
bundle=zirpomatik-tolm.lv2
work=$(mktemp -d "${TMPDIR:-/tmp}/zt-package.XXXXXX")
# Never remove a chroot while proc is still mounted in it.
cleanup() {
  local r keep=0
  for r in "$work/build-root" "$work/root"; do
    umount "$r/proc" 2>/dev/null || true
    if mountpoint -q "$r/proc" 2>/dev/null; then
      echo "package: $r/proc is still mounted; $work left in place" >&2
      keep=1
    fi
  done
  [ $keep = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

# --- bare Debian 12 chroots
source tools/debian_base.sh
source tools/apt_update.sh
new_root() {  # new_root DIR: a fresh chroot with proc mounted and apt's lists read
  mkdir -p "$1"
  tar -C "$1" -xf "$base"
  cp /etc/resolv.conf "$1/etc/resolv.conf" 2>/dev/null || true
  mount -t proc proc "$1/proc"
  in_root "$1" "$(declare -f apt_update); apt_update" >>"$work/chroot.log" 2>&1 ||
    { tail -20 "$work/chroot.log"; fail "apt-get update in a chroot"; }
}
in_root() {  # in_root DIR COMMAND
  chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$2"
}

# --- build, from the files git knows (committed or not, ignored ones left
# out; without git, the tree less its build folders), in a chroot with build-essential and the Build-Depends alone
echo "package: chroot: apt-get build-dep, dpkg-buildpackage -us -uc -b"
new_root "$work/build-root"
mkdir -p "$work/build-root/pkg/src"
if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - | tar -C "$work/build-root/pkg/src" -xf -
else
  # No git here (a tree unpacked from an archive, or a machine without it):
  # everything but the build folders and the renders.
  tar --exclude-vcs --exclude='./build*' --exclude=./out -cf - . | tar -C "$work/build-root/pkg/src" -xf -
fi
in_root "$work/build-root" 'apt-get install -y -qq --no-install-recommends build-essential &&
  apt-get build-dep -y -qq /pkg/src' >>"$work/chroot.log" 2>&1 ||
  { tail -20 "$work/chroot.log"; fail "installing build-essential and the Build-Depends in the chroot"; }
in_root "$work/build-root" 'cd /pkg/src && dpkg-checkbuilddeps &&
  DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -us -uc -b' >"$work/build.log" 2>&1 ||
  { tail -30 "$work/build.log"; fail "dpkg-buildpackage in the chroot (log above)"; }
mv "$work/build-root/pkg" "$work/pkg"
umount "$work/build-root/proc" && rm -rf "$work/build-root"
version=$(cd "$work/pkg/src" && dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
deb=$work/pkg/${name}_${version}_$arch.deb
clap_deb=$work/pkg/${clap_name}_${version}_$arch.deb
vst3_deb=$work/pkg/${vst3_name}_${version}_$arch.deb
changes=$work/pkg/$(sed -n 's/^Source: //p' debian/control)_${version}_$arch.changes
[ -f "$deb" ] && [ -f "$clap_deb" ] && [ -f "$vst3_deb" ] && [ -f "$changes" ] ||
  fail "no $(basename "$deb"), $(basename "$clap_deb"), $(basename "$vst3_deb") or $(basename "$changes")"
dpkg-deb -c "$deb" >"$work/contents"
for f in libzirpomatik-tolm.so libzirpomatik-tolm-stereo.so; do
  grep -q "/usr/lib/lv2/$bundle/$f$" "$work/contents" || fail "the package does not hold /usr/lib/lv2/$bundle/$f"
done
dpkg-deb -c "$clap_deb" >"$work/clap-contents"
grep -q "/usr/lib/clap/zirpomatik-tolm.clap$" "$work/clap-contents" ||
  fail "$clap_name does not hold /usr/lib/clap/zirpomatik-tolm.clap"
dpkg-deb -c "$vst3_deb" >"$work/vst3-contents"
for f in "$vst3_lib" zirpomatik-tolm.vst3/Contents/Resources/moduleinfo.json; do
  grep -q "/usr/lib/vst3/$f$" "$work/vst3-contents" || fail "$vst3_name does not hold /usr/lib/vst3/$f"
done
! grep -q "/usr/lib/\(clap\|vst3\)/" "$work/contents" && ! grep -q "/usr/lib/\(lv2\|vst3\)/" "$work/clap-contents" &&
  ! grep -q "/usr/lib/\(lv2\|clap\)/" "$work/vst3-contents" || fail "the packages share files"

# --- lintian
lintian --info --display-info "$deb" "$clap_deb" "$vst3_deb" "$changes" >"$work/lintian.log" 2>&1 || true
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/package: lintian: /' || true
! grep -q '^[EW]:' "$work/lintian.log" || fail "lintian reports errors or warnings (above)"

# --- the reference render, through the build tree's bundle
cmake --build build --target zt_bundle zt_wav zt_render_host >/dev/null ||
  fail "could not build zt_bundle, zt_wav and zt_render_host in build/ (run tools/test.sh, which configures the tests)"
wav_tool=$src/build/tests/wav/zt_wav
mkdir -p "$work/tree-lv2"
ln -s "$src/build/$bundle" "$work/tree-lv2/$bundle"
# A sawtooth loud enough to pass full scale through the resonance, then
# silence for a decay into the smallest values.
sox -n -r 48000 -c 1 -b 32 -e floating-point "$work/in.wav" synth 2 sawtooth 110 gain -1 pad 0 1
controls=(-c mix 80 -c rate 9 -c glide_down 30 -c glide_up 5 -c shape 1 -c resonance 85 -c center 900 -c octaves 3 -c type 7)
LV2_PATH=$work/tree-lv2 lv2apply -i "$work/in.wav" -o "$work/tree.wav" "${controls[@]}" "$uri" ||
  fail "lv2apply with the build tree's bundle"
sox -n -r 48000 -c 2 -b 32 -e floating-point "$work/in2.wav" synth 2 sawtooth 110 square 165 gain -1 pad 0 1
LV2_PATH=$work/tree-lv2 lv2apply -i "$work/in2.wav" -o "$work/tree2.wav" "${controls[@]}" "$uri-stereo" ||
  fail "lv2apply with the build tree's stereo plugin"

# --- a second bare chroot, with nothing but lv2ls and lv2apply
echo "package: chroot: apt-get install lilv-utils"
root=$work/root
new_root "$root"
inside() { in_root "$root" "$1"; }
inside 'apt-get install -y -qq --no-install-recommends lilv-utils' >>"$work/chroot.log" 2>&1 ||
  { tail -20 "$work/chroot.log"; fail "installing lilv-utils in the chroot"; }
inside 'find /usr | sort' >"$work/usr-before"
cp "$deb" "$clap_deb" "$vst3_deb" "$work/in.wav" "$work/in2.wav" "$root/tmp/"
# The CLAP plugin's renders of the cross sessions, through the build tree's .clap.
mkdir -p "$work/tree-clap" "$root/tmp/clap-render"
cp "$src/build/tests/clap/zt_render_host" "$src/tests/cross/sessions.txt" "$root/tmp/"
"$src/build/tests/clap/zt_render_host" --block 389 "$src/build/zirpomatik-tolm.clap" "$src/tests/cross/sessions.txt" \
  "$work/tree-clap" >/dev/null || fail "render_host with the build tree's .clap"
mkdir -p "$work/tree-vst3" "$root/tmp/vst3-render"
"$src/build/tests/clap/zt_render_host" --block 389 "$src/build/$vst3_lib" "$src/tests/cross/sessions.txt" \
  "$work/tree-vst3" >/dev/null || fail "render_host with the build tree's VST3 library"

# --- install, list, render
echo "package: chroot: apt-get install ./$(basename "$deb") ./$(basename "$clap_deb") ./$(basename "$vst3_deb")"
inside "cd /tmp && apt-get install -y -qq ./$(basename "$deb") ./$(basename "$clap_deb") ./$(basename "$vst3_deb")" \
  >>"$work/chroot.log" 2>&1 || { tail -20 "$work/chroot.log"; fail "apt-get install of the packages in the chroot"; }
[ -f "$root/usr/lib/vst3/$vst3_lib" ] || fail "no /usr/lib/vst3/$vst3_lib after the install"
[ -f "$root/usr/lib/clap/zirpomatik-tolm.clap" ] || fail "no /usr/lib/clap/zirpomatik-tolm.clap after the install"
[ -f "$root/usr/lib/lv2/$bundle/libzirpomatik-tolm.so" ] || fail "no /usr/lib/lv2/$bundle/libzirpomatik-tolm.so after the install"
for pkg in "$name" "$clap_name" "$vst3_name"; do
  for doc in README.md.gz changelog.gz copyright; do
    [ -f "$root/usr/share/doc/$pkg/$doc" ] || fail "no /usr/share/doc/$pkg/$doc after the install"
  done
done
inside 'lv2ls' >"$work/lv2ls.out" 2>&1 || { cat "$work/lv2ls.out"; fail "lv2ls in the chroot"; }
for u in "$uri" "$uri-stereo"; do
  grep -qxF "$u" "$work/lv2ls.out" || { cat "$work/lv2ls.out"; fail "lv2ls does not list $u"; }
done
inside "lv2apply -i /tmp/in.wav -o /tmp/installed.wav ${controls[*]} $uri" >"$work/lv2apply.log" 2>&1 ||
  { cat "$work/lv2apply.log"; fail "lv2apply with the installed bundle"; }
! "$wav_tool" compare "$work/in.wav" "$root/tmp/installed.wav" >/dev/null ||
  fail "the installed plugin's output equals its input"
result=$("$wav_tool" compare "$work/tree.wav" "$root/tmp/installed.wav") ||
  fail "the installed bundle renders other samples than build/$bundle: $result"
echo "package: installed bundle and build tree: $result"
inside "lv2apply -i /tmp/in2.wav -o /tmp/installed2.wav ${controls[*]} $uri-stereo" >"$work/lv2apply.log" 2>&1 ||
  { cat "$work/lv2apply.log"; fail "lv2apply with the installed stereo plugin"; }
result=$("$wav_tool" compare "$work/tree2.wav" "$root/tmp/installed2.wav") ||
  fail "the installed stereo plugin renders other samples than build/$bundle: $result"
inside "/tmp/zt_render_host --block 389 /usr/lib/clap/zirpomatik-tolm.clap /tmp/sessions.txt /tmp/clap-render" \
  >"$work/clap-render.log" 2>&1 || { cat "$work/clap-render.log"; fail "render_host with the installed .clap"; }
for f in "$work"/tree-clap/*.f32; do
  cmp -s "$f" "$root/tmp/clap-render/$(basename "$f")" ||
    fail "the installed .clap renders session $(basename "$f" .f32) other than build/zirpomatik-tolm.clap"
done
echo "package: installed .clap and build tree: $(ls "$work"/tree-clap/*.f32 | wc -l) sessions, same bits"
inside "/tmp/zt_render_host --block 389 /usr/lib/vst3/$vst3_lib /tmp/sessions.txt /tmp/vst3-render" \
  >"$work/vst3-render.log" 2>&1 || { cat "$work/vst3-render.log"; fail "render_host with the installed VST3 plugin"; }
diff -r "$work/tree-vst3" "$root/tmp/vst3-render" >/dev/null ||
  fail "the installed VST3 plugin renders other sessions than build/$vst3_lib"
echo "package: installed VST3 plugin and build tree: $(ls "$work"/tree-vst3/*.f32 | wc -l) sessions, same bits"

# --- purge: nothing of it may be left under /usr
rm -rf "$root/tmp/zt_render_host" "$root/tmp/clap-render" "$root/tmp/vst3-render"
inside "apt-get purge -y -qq --autoremove $name $clap_name $vst3_name" >>"$work/chroot.log" 2>&1 ||
  { tail -20 "$work/chroot.log"; fail "apt-get purge $name $clap_name $vst3_name in the chroot"; }
inside 'find /usr | sort' >"$work/usr-after"
if ! diff "$work/usr-before" "$work/usr-after" >"$work/usr.diff"; then
  sed 's/^/package: /' "$work/usr.diff" | head -20
  fail "/usr after the purge differs from /usr before the install (above)"
fi
for pkg in "$name" "$clap_name" "$vst3_name"; do
  status=$(inside "dpkg-query -W -f='\${Status}' $pkg 2>/dev/null" || true)
  [ -z "$status" ] || [ "$status" = "unknown ok not-installed" ] || fail "$pkg is left as '$status' after the purge"
done
echo "package: $(basename "$deb"), $(basename "$clap_deb") and $(basename "$vst3_deb") built, lintian clean, installed, rendered, purged without a trace ($((SECONDS - start)) s)"
