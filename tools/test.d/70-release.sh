#!/usr/bin/env bash
# The release archives of tools/release.sh as users get them. Two runs must
# give the same bytes. Each archive must hold what the build tree makes
# (every bundle and plugin file, the same Turtle) with libraries of its
# processor, and render the sessions of tests/cross/sessions.txt through
# tests/cross/render_host.cpp (LV2 library, .clap and .vst3; the Arm ones under
# qemu) bit for bit as the build tree's x86-64 library does. The x86-64
# archive is then unpacked into a bare Debian 11 and a bare Debian 12 chroot
# given only lilv-utils, libcairo2 and libx11-6: install.sh (for the user,
# then --system), every library's needs met there (ldd), lv2ls listing
# every plugin, lv2apply rendering each session's settings with the same
# samples as the build tree's bundle, and --uninstall leaving the folders
# as they were. Every plugin's Turtle must give the project's version.
#
# Needs root and the network (debootstrap, apt inside the chroots), and the
# build tree's bundle and zt_wav (build/, as tools/test.sh configures it).
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
start=$SECONDS
fail() { echo "release: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
bash tools/deps.sh

version=$(sed -n 's/^project(zirpomatik-tolm VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
script=tests/cross/sessions.txt
work=$(mktemp -d "${TMPDIR:-/tmp}/zt-release-check.XXXXXX")
cleanup() {
  local r keep=0
  for r in "$work"/root-*; do
    [ -d "$r" ] || continue
    umount "$r/proc" 2>/dev/null || true
    mountpoint -q "$r/proc" 2>/dev/null && keep=1
  done
  if [ $keep = 1 ]; then echo "release: a chroot's proc is still mounted; $work left in place" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

# --- two runs, byte for byte
t0=$SECONDS
bash tools/release.sh >"$work/release-1.log" 2>&1 || { tail -30 "$work/release-1.log"; fail "tools/release.sh"; }
cp -a dist "$work/dist-1"
bash tools/release.sh >"$work/release-2.log" 2>&1 || { tail -30 "$work/release-2.log"; fail "tools/release.sh, second run"; }
[ "$(cd "$work/dist-1" && ls)" = "$(cd dist && ls)" ] || fail "the two runs wrote other files"
for f in dist/*; do
  cmp "$work/dist-1/${f#dist/}" "$f" || fail "the two runs wrote other bytes into $f"
done
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the archives"
echo "release: two runs, the same bytes: $(cd dist && ls | tr '\n' ' ')($((SECONDS - t0)) s)"

# --- the reference: the build tree's bundle and .clap
cmake --build build --target zt_bundle zt_wav >/dev/null ||
  fail "could not build zt_bundle and zt_wav in build/ (run tools/test.sh, which configures the tests)"
wav_tool=$src/build/tests/wav/zt_wav
host_flags=(-std=c++20 -O2 -ffp-contract=off -Wall -Wextra -Werror -Ithird_party/clap/include -Ithird_party/vst3)
g++ "${host_flags[@]}" tests/cross/render_host.cpp -o "$work/render_host" -ldl
mkdir -p "$work/ref" "$work/ref-in-range"
"$work/render_host" build/zirpomatik-tolm.lv2/libzirpomatik-tolm.so "$script" "$work/ref" >/dev/null &&
  "$work/render_host" --in-range build/zirpomatik-tolm.lv2/libzirpomatik-tolm.so "$script" "$work/ref-in-range" >/dev/null ||
  fail "render_host with the build tree's library"
tops_of() { (cd "$1" && find . -maxdepth 1 \( -name '*.lv2' -o -name '*.clap' -o -name '*.vst3' \) | sort); }
files_of() { (cd "$1" && find $tops -type f | sort); }
tops=$(tops_of build)
same_renders() {  # same_renders LABEL DIR REFERENCE_DIR
  local f
  [ "$(cd "$3" && ls)" = "$(cd "$2" && ls)" ] || fail "$1: other sessions"
  for f in "$3"/*.f32; do
    cmp -s "$f" "$2/${f##*/}" || fail "$1: session $(basename "$f" .f32) renders other bits than the build tree"
  done
}

# --- each archive: contents, processor, renders
declare -A machine=([x86_64]=X86-64 [aarch64]=AArch64 [armhf]=ARM)
declare -A triple=([aarch64]=aarch64-linux-gnu [armhf]=arm-linux-gnueabihf)
declare -A qemu=([aarch64]=qemu-aarch64 [armhf]=qemu-arm)
declare -A debarch=([aarch64]=arm64 [armhf]=armhf)
declare -A folder=([aarch64]=build-a64 [armhf]=build-armhf)   # as 40-arm.sh names them
declare -A vst3_dir=([x86_64]=x86_64-linux [aarch64]=aarch64-linux [armhf]=armv7l-linux)
for arch in x86_64 aarch64 armhf; do
  name=zirpomatik-tolm-$version-linux-$arch
  mkdir -p "$work/$arch"
  tar -C "$work/$arch" -xf "dist/$name.tar.xz"
  top=$work/$arch/$name
  [ "$(cd "$work/$arch" && ls)" = "$name" ] || fail "$arch: the archive does not unpack into $name/ alone"
  [ "$(tops_of "$top")" = "$tops" ] || fail "$arch: other bundles than build/ has"
  for f in INSTALL LICENSE install.sh; do [ -f "$top/$f" ] || fail "$arch: no $f"; done
  # The .vst3 holds its processor's folder where build/'s holds x86-64's.
  [ "$(files_of "$top")" = "$(files_of build | sed "s|/x86_64-linux/|/${vst3_dir[$arch]}/|" | sort)" ] ||
    fail "$arch: the bundles hold other files than build/'s"
  for f in build/*.lv2/*.ttl; do cmp -s "$f" "$top/${f#build/}" || fail "$arch: ${f#build/} differs from build/'s"; done
  while IFS= read -r -d '' lib; do
    readelf -h "$lib" | grep -q "Machine:.*${machine[$arch]}\$" || fail "$arch: ${lib#"$top"/} is not for ${machine[$arch]}"
  done < <(find "$top" -type f \( -name '*.so' -o -name '*.clap' \) -print0)

  run=("$work/render_host")
  if [ "$arch" != x86_64 ]; then
    t=${triple[$arch]}
    sysroot=$src/${folder[$arch]}/sysroot
    bash tools/cross-sysroot.sh "${debarch[$arch]}" "$sysroot"
    mkdir -p "$work/include-$arch" && ln -sfn /usr/include/lv2 "$work/include-$arch/lv2"
    "$t-g++" "${host_flags[@]}" -I"$work/include-$arch" tests/cross/render_host.cpp -o "$work/render_host-$arch" -ldl
    run=("${qemu[$arch]}" -L "/usr/$t" -E LD_LIBRARY_PATH="$sysroot/usr/lib/$t:$sysroot/lib/$t" "$work/render_host-$arch")
  fi
  mkdir -p "$work/$arch/render"
  "${run[@]}" "$top/zirpomatik-tolm.lv2/libzirpomatik-tolm.so" "$script" "$work/$arch/render" >"$work/$arch/render.log" ||
    { cat "$work/$arch/render.log"; fail "$arch: render_host with the archive's library"; }
  same_renders "$arch" "$work/$arch/render" "$work/ref"
  for clap in "$top"/*.clap; do
    mkdir -p "$work/$arch/clap-render"
    "${run[@]}" --block 389 "$clap" "$script" "$work/$arch/clap-render" >"$work/$arch/clap-render.log" ||
      { cat "$work/$arch/clap-render.log"; fail "$arch: render_host with ${clap##*/}"; }
    same_renders "$arch ${clap##*/}" "$work/$arch/clap-render" "$work/ref-in-range"
    rm -rf "$work/$arch/clap-render"
  done
  for vst3 in "$top"/*.vst3/Contents/${vst3_dir[$arch]}/*.so; do
    [ -e "$vst3" ] || continue
    mkdir -p "$work/$arch/vst3-render"
    "${run[@]}" --block 389 "$vst3" "$script" "$work/$arch/vst3-render" >"$work/$arch/vst3-render.log" ||
      { cat "$work/$arch/vst3-render.log"; fail "$arch: render_host with ${vst3#"$top"/}"; }
    same_renders "$arch ${vst3#"$top"/}" "$work/$arch/vst3-render" "$work/ref-in-range"
    rm -rf "$work/$arch/vst3-render"
  done
  echo "release: $arch: $(du -h "dist/$name.tar.xz" | cut -f1), the build tree's files, ${machine[$arch]} libraries, $(ls "$work/ref" | wc -l) sessions with the same bits"
done

# --- lv2apply's renders of the build tree's bundle: per plugin, each
# session's first settings (the controls the plugin has) on a sawtooth
# through the resonance and a decay into the smallest values.
mkdir -p "$work/tree-lv2" "$work/share"
ln -s "$src"/build/*.lv2 "$work/tree-lv2/"
uris=$(LV2_PATH=$work/tree-lv2 lv2ls 2>/dev/null | sort)
[ -n "$uris" ] || fail "lv2ls finds no plugin in build/"
# Every plugin says the project's version, which hosts compare on an update.
for f in "$work"/tree-lv2/*/*.ttl; do sordi "$f" 2>/dev/null; done >"$work/triples"
for uri in $uris; do
  for v in "minorVersion $(cut -d. -f2 <<<"$version")" "microVersion $(cut -d. -f3 <<<"$version")"; do
    grep -qF "<$uri> <http://lv2plug.in/ns/lv2core#${v% *}> \"${v#* }\"^^" "$work/triples" || fail "$uri: no lv2:$v"
  done
done
sox -n -r 48000 -c 1 -b 32 -e floating-point "$work/share/in-1.wav" synth 2 sawtooth 110 gain -1 pad 0 1
sox -n -r 48000 -c 2 -b 32 -e floating-point "$work/share/in-2.wav" synth 2 sawtooth 110 sawtooth 163 gain -1 pad 0 1
n=0
for uri in $uris; do
  symbols=" $(LV2_PATH=$work/tree-lv2 lv2info "$uri" 2>/dev/null | awk '/Symbol:/{printf "%s ", $2}')"
  while read -r session pairs; do
    set -- $pairs
    controls=""
    while [ $# -ge 2 ]; do [[ "$symbols" == *" $1 "* ]] && controls+=" -c $1 $2"; shift 2; done
    n=$((n + 1))
    for channels in 1 2; do
      LV2_PATH=$work/tree-lv2 lv2apply -i "$work/share/in-$channels.wav" -o "$work/share/tree-$n.wav" $controls "$uri" \
        >/dev/null 2>&1 && break
    done
    [ -f "$work/share/tree-$n.wav" ] || fail "lv2apply $uri with session $session's settings on build/"
    echo "$n $channels $uri$controls" >>"$work/share/runs"
  done < <(awk '$1 == "session" {s = $2} $1 == "set" && !(s in seen) {seen[s] = 1; $1 = ""; print s $0}
                $1 == "session" && !($2 in named) {named[$2] = 1; order[++k] = $2}
                END {for (i = 1; i <= k; ++i) if (!(order[i] in seen)) print order[i]}' "$script")
done
[ -s "$work/share/runs" ] || fail "no lv2apply run"

# --- the x86-64 archive in bare Debian 11 and 12
source tools/apt_update.sh
source tools/debian_base.sh   # Debian 12's tree; Debian 11's below
bookworm=$base
suite=bullseye
source tools/debian_base.sh
bullseye=$base
for suite in bullseye bookworm; do
  t0=$SECONDS
  root=$work/root-$suite
  mkdir -p "$root"
  tar -C "$root" -xf "${!suite}"
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  mount -t proc proc "$root/proc"
  inside() {
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
  }
  inside "$(declare -f apt_update); apt_update && apt-get install -y -qq --no-install-recommends lilv-utils libcairo2 libx11-6" \
    >"$work/apt-$suite.log" 2>&1 || { tail -20 "$work/apt-$suite.log"; fail "$suite: installing lilv-utils, libcairo2, libx11-6"; }
  cp -a "$work/x86_64/zirpomatik-tolm-$version-linux-x86_64" "$work/share" "$root/tmp/"
  # Something of the user's own beside ours, which must stay.
  mkdir -p "$root/root/.clap" && echo keep >"$root/root/.clap/other.clap"
  folders='find /root /usr/local -path /root/.cache -prune -o -printf "%p %s %m\n" | sort'
  inside "$folders" >"$work/$suite-before"
  for mode in "" --system; do
    label="$suite${mode:+ $mode}"
    inside "/tmp/zirpomatik-tolm-$version-linux-x86_64/install.sh $mode" >"$work/install.log" 2>&1 ||
      { cat "$work/install.log"; fail "$label: install.sh"; }
    inside 'for f in $(find /root/.lv2 /root/.clap /root/.vst3 /usr/local/lib -name "*.so" -o -name "*.clap" 2>/dev/null); do
      ldd "$f" | sed "s|^|$f: |"; done' >"$work/ldd.log" 2>&1 || true
    ! grep -q 'not found' "$work/ldd.log" || { grep 'not found' "$work/ldd.log"; fail "$label: libraries that do not load"; }
    [ "$(inside 'lv2ls 2>/dev/null' | sort)" = "$uris" ] || fail "$label: lv2ls does not list every plugin: $(inside lv2ls)"
    while read -r n channels uri controls; do
      inside "lv2apply -i /tmp/share/in-$channels.wav -o /tmp/out-$n.wav $controls $uri" >"$work/lv2apply.log" 2>&1 ||
        { cat "$work/lv2apply.log"; fail "$label: lv2apply $uri $controls"; }
      result=$("$wav_tool" compare "$work/share/tree-$n.wav" "$root/tmp/out-$n.wav") ||
        fail "$label: lv2apply $uri $controls renders other samples than build/: $result"
      rm -f "$root/tmp/out-$n.wav"
    done <"$work/share/runs"
    inside "/tmp/zirpomatik-tolm-$version-linux-x86_64/install.sh $mode --uninstall" >"$work/install.log" 2>&1 ||
      { cat "$work/install.log"; fail "$label: install.sh --uninstall"; }
    inside "$folders" | diff "$work/$suite-before" - || fail "$label: --uninstall left the folders otherwise than they were (above)"
  done
  umount "$root/proc" && rm -rf "$root"
  echo "release: $suite: installed, loaded, $(wc -l <"$work/share/runs") lv2apply renders with the same samples, uninstalled without a trace, for the user and --system ($((SECONDS - t0)) s)"
done
echo "release: archives reproducible, rendering the reference bits on x86-64, aarch64, armhf, Debian 11 and 12 ($((SECONDS - start)) s)"
