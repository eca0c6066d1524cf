#!/usr/bin/env bash
# The .clap exports clap_entry alone and needs no C++ runtime. The cross
# sessions through the LV2 library and through the .clap, the
# latter with one process call per run and with the runs gathered into
# blocks of 389 and 4096 frames (the script's control changes then fall
# inside blocks, as param events): every session the same bits. Then the
# stereo plugins of both libraries, in place and in odd splits as the
# sessions make them: each channel the mono plugin's render of that
# channel's signal alone.
#   clap_cross.sh RENDER_HOST BUILD_DIR SESSIONS
set -euo pipefail
host=$1 build=$2 script=$3
clap=$build/zirpomatik-tolm.clap
exports=$(nm -D --defined-only "$clap" | awk '{print $3}')
[ "$exports" = clap_entry ] || { echo "the .clap exports: $exports"; exit 1; }
! readelf -d "$clap" | grep -E 'NEEDED.*lib(stdc\+\+|gcc_s)' || { echo "the .clap needs the C++ runtime"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$out"/{lv2,b0,b389,b4096}
"$host" --in-range "$build/zirpomatik-tolm.lv2/libzirpomatik-tolm.so" "$script" "$out/lv2" >"$out/lv2.log" ||
  { cat "$out/lv2.log"; exit 1; }
for b in 0 389 4096; do
  "$host" --block $b "$clap" "$script" "$out/b$b" >"$out/b$b.log" ||
    { cat "$out/b$b.log"; exit 1; }
done
status=0
count=0
for f in "$out"/lv2/*.f32; do
  for b in 0 389 4096; do
    cmp "$f" "$out/b$b/$(basename "$f")" || { echo "block $b: $(basename "$f" .f32) differs"; status=1; }
    count=$((count + 1))
  done
done
[ "$count" -ge 30 ] || { echo "only $count renders compared"; exit 1; }
echo "$count CLAP renders compared with the LV2 renders"

mkdir -p "$out"/{lv2-stereo,clap-stereo}
render() { "$host" "$@" >"$out/stereo.log" || { cat "$out/stereo.log"; exit 1; }; }
render --in-range --right "$build/zirpomatik-tolm.lv2/libzirpomatik-tolm.so" "$script" "$out/lv2"
render --in-range --stereo "$build/zirpomatik-tolm.lv2/libzirpomatik-tolm-stereo.so" "$script" "$out/lv2-stereo"
render --stereo --block 389 "$clap" "$script" "$out/clap-stereo"
for f in "$out"/lv2/*.f32; do
  for d in lv2-stereo clap-stereo; do
    cmp "$f" "$out/$d/$(basename "$f")" || { echo "$d: $(basename "$f" .f32) differs from mono"; status=1; }
  done
done
exit $status
