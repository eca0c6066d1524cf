#!/usr/bin/env bash
# Four stock LV2 hosts, each cutting the stream into calls its own way, must
# render the same samples: lv2apply (1 frame per call), lv2file (333-frame
# blocks, last one padded), lv2proc (512 and a short tail) and ecasound
# (1024 and odd tails, one buffer for in and out, an extra throwaway
# instance, FTZ set by the host). Every control is given to every host,
# since ecasound sends 0 for any it is not given.
#
# The samples are compared as each host wrote them (zt_wav reads the data
# chunk), bit for bit. The render goes beyond full scale in places: lv2file,
# lv2proc and ecasound write such samples as ±1, lv2apply does not, so a
# host's sample may be the reference clipped to ±1 there, and nothing else.
# Usage: hosts_agree.sh BUILD_DIR PLUGIN_URI ZT_WAV
set -euo pipefail
build=$1 uri=$2 wav_tool=$3
export LV2_PATH=$build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Two seconds of sawtooth, loud enough for the resonance to pass full scale,
# then a second of silence for the decay (values far below 2^-31).
sox -n -r 48000 -c 1 -b 32 -e floating-point in.wav synth 2 sawtooth 110 gain -1 pad 0 1
frames=$(soxi -s in.wav)

symbols=(mix rate glide_down glide_up shape resonance center octaves type)
values=(80 9 30 5 1 85 900 3 7)
apply_args=() file_args=() proc_args=()
for i in "${!symbols[@]}"; do
  apply_args+=(-c "${symbols[$i]}" "${values[$i]}")
  file_args+=(-p "${symbols[$i]}:${values[$i]}")
  proc_args+=(-c "${symbols[$i]}:${values[$i]}")
done
eca_values=$(IFS=,; echo "${values[*]}")

quiet() { "$@" >host.log 2>&1 || { cat host.log; echo "FAILED: $*"; exit 1; }; }
quiet timeout 60 lv2apply -i in.wav -o lv2apply.wav "${apply_args[@]}" "$uri"
quiet timeout 60 lv2file -b 333 "${file_args[@]}" -i in.wav -o lv2file.wav "$uri"
quiet timeout 60 lv2proc "${proc_args[@]}" -i in.wav -o lv2proc.wav "$uri"
hosts=(lv2file lv2proc ecasound)
# ecasound maps its memory so that a sanitizer runtime arriving late with
# the module cannot place its shadow: in sanitizer builds it sits out.
if readelf -d "$build/zirpomatik-tolm.lv2/libzirpomatik-tolm.so" | grep -q 'lib[at]san'; then
  hosts=(lv2file lv2proc)
  echo "ecasound skipped: the module carries a sanitizer runtime"
else
  quiet timeout 60 ecasound -q -f:f32_le,1,48000 -i in.wav -o ecasound.wav "-elv2:$uri,$eca_values"
fi

# The reference must pass full scale, or the clip allowance goes untested.
read -r _ _ _ beyond _ _ < <("$wav_tool" stats lv2apply.wav)
[ "$beyond" -gt 0 ] || { echo "FAILED: lv2apply's render stays within full scale"; exit 1; }
! "$wav_tool" compare in.wav lv2apply.wav "$frames" >/dev/null || { echo "FAILED: the output equals the input"; exit 1; }
echo "lv2apply: $beyond samples beyond full scale"
status=0
# Over the input's length: lv2file pads its last block.
for host in "${hosts[@]}"; do
  if result=$("$wav_tool" compare lv2apply.wav "$host.wav" "$frames" --clip); then
    echo "$host: same as lv2apply: $result"
  else
    echo "FAILED: $host differs from lv2apply: $result"
    status=1
  fi
done
exit $status
