#!/usr/bin/env bash
# lv2apply, lilv's command-line host, runs the built bundle (found through
# LV2_PATH in the build tree) on a WAV file with every control away from its
# default. The output must have the input's length, hold only finite
# samples, be audible, and differ both from the input and from a render at
# the defaults (so the settings did arrive). Bit-exact results are checked
# elsewhere.
# Usage: lv2apply_run.sh BUILD_DIR PLUGIN_URI ZT_WAV
set -euo pipefail
build=$1
uri=$2
wav_tool=$3
export LV2_PATH=$build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# lilv reports every file in the build folder that is no bundle; only the
# rest of its messages matter.
host() { lv2apply "$@" 2> >(grep -v -e 'manifest.ttl' -e '^lilv_world_load' >&2); }
# The 32-bit floats as lv2apply wrote them, one line per sample, as od
# prints them (nan and inf by name; through sox they would be clipped and
# rounded integers).
samples() { "$wav_tool" dump "$1" | od -An -v -f -w4; }

sox -V1 -n -r 48000 -c 1 -b 32 -e floating-point "$work/in.wav" synth 3 sawtooth 110 gain -6
host -i "$work/in.wav" -o "$work/default.wav" "$uri" || fail "lv2apply failed at the defaults"
host -i "$work/in.wav" -o "$work/set.wav" \
  -c mix 60 -c rate 12 -c glide_down 40 -c glide_up 5 -c shape 1 \
  -c resonance 85 -c center 800 -c octaves 3 -c type 7 "$uri" || fail "lv2apply failed with controls set"

frames=$(soxi -V1 -s "$work/in.wav")
[ "$(soxi -V1 -s "$work/set.wav")" = "$frames" ] || fail "output has $(soxi -V1 -s "$work/set.wav") frames, input $frames"
[ "$(samples "$work/set.wav" | wc -l)" = "$frames" ] || fail "output data is not $frames samples"
! samples "$work/set.wav" | grep -qiE 'nan|inf' || fail "output holds non-finite samples"
rms=$(sox -V1 "$work/set.wav" -n stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
awk -v r="$rms" 'BEGIN {exit !(r > 0.01)}' || fail "output is near silence (RMS $rms)"
cmp -s <(samples "$work/in.wav") <(samples "$work/set.wav") && fail "output equals the input"
cmp -s <(samples "$work/default.wav") <(samples "$work/set.wav") && fail "the controls made no difference"
echo "lv2apply: $frames frames, RMS $rms, differs from the input and from the defaults"
