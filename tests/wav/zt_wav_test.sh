#!/usr/bin/env bash
# zt_wav is what the host tests trust to see every bit, so it is checked on
# hand-made WAV files: a one-ulp difference in a quiet tail, a clip where
# the reference lies within ±1 or on the wrong side, and chunks it must step
# over (an odd-sized one before the data, the extensible format).
# Usage: zt_wav_test.sh ZT_WAV
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

le16() { printf "$(printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
# wav FILE EXTENSIBLE(0/1) SAMPLE_BITS... (each sample as its 32-bit pattern)
wav() {
  local file=$1 ext=$2 data
  shift 2
  data=$work/data; : >"$data"
  for s in "$@"; do le32 "$s" >>"$data"; done
  if [ "$ext" = 1 ]; then
    { echo -n RIFF; le32 0; echo -n WAVE; echo -n 'fmt '; le32 40
      le16 65534; le16 1; le32 48000; le32 192000; le16 4; le16 32; le16 22; le16 32; le32 4
      le16 3; printf '\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71'
      echo -n PEAK; le32 3; printf 'abc\x00'
      echo -n data; le32 $(( $# * 4 )); cat "$data"; } >"$file"
  else
    { echo -n RIFF; le32 0; echo -n WAVE; echo -n 'fmt '; le32 16
      le16 3; le16 1; le32 48000; le32 192000; le16 4; le16 32
      echo -n data; le32 $(( $# * 4 )); cat "$data"; } >"$file"
  fi
}
# 0.25, 1.5, -2, the smallest denormal
wav ref.wav 0 0x3E800000 0x3FC00000 0xC0000000 0x00000001
wav same.wav 1 0x3E800000 0x3FC00000 0xC0000000 0x00000001
wav clipped.wav 0 0x3E800000 0x3F800000 0xBF800000 0x00000001
wav tail.wav 0 0x3E800000 0x3FC00000 0xC0000000 0x00000000
wav within.wav 0 0x3F800000 0x3FC00000 0xC0000000 0x00000001
wav sign.wav 0 0x3E800000 0xBF800000 0xBF800000 0x00000001

[ "$("$tool" stats ref.wav)" = "samples 4 beyond_full_scale 2 nonfinite 0" ] || fail "stats: $("$tool" stats ref.wav)"
[ "$("$tool" dump same.wav | od -An -tx4 -v | tr -s ' ')" = " 3e800000 3fc00000 c0000000 00000001" ] ||
  fail "dump of the extensible file: $("$tool" dump same.wav | od -An -tx4 -v)"
"$tool" compare ref.wav same.wav >/dev/null || fail "identical data read as different"
out=$("$tool" compare ref.wav clipped.wav --clip) || fail "host clipping refused: $out"
[[ "$out" == "4 samples agree, 2 of them clipped"* ]] || fail "clip count: $out"
! "$tool" compare ref.wav clipped.wav >/dev/null || fail "clipping passed without --clip"
for bad in tail within sign; do
  ! "$tool" compare ref.wav $bad.wav --clip >/dev/null || fail "$bad.wav passed as equal"
done
"$tool" compare ref.wav tail.wav 3 >/dev/null || fail "a sample count limits the comparison"
! "$tool" compare ref.wav ref.wav 5 >/dev/null || fail "more samples compared than there are"
echo "zt_wav: reads, compares and counts clipped samples as it should"
