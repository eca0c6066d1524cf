#!/usr/bin/env bash
# Installs what is missing, builds the plugin, installs the bundle to
# ~/.lv2 (the CLAP plugin to ~/.clap, the VST3 bundle to ~/.vst3), and
# renders a demo through the real LV2 host lv2apply:
# out/demo-in.wav -> out/demo.wav, with a spectrogram out/demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh demo
# The bundle alone: no tests, benchmarks or plot tools (tools/test.sh
# configures the same build folder with all of them on again).
ZT_BUILD_TARGET=zt_bundle bash tools/build.sh \
  -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF -DZT_BUILD_PLOTS=OFF
cmake --build build --target install-user
uri=$(sed -n 's/^set(ZT_PLUGIN_URI "\(.*\)")$/\1/p' CMakeLists.txt)
mkdir -p out
# Four seconds of a 110 Hz sawtooth: rich in harmonics, so every move of
# the random cutoff shows.
sox -n -r 48000 -c 1 -b 32 -e floating-point out/demo-in.wav synth 4 sawtooth 110 gain -6
LV2_PATH="$PWD/build" lv2apply -i out/demo-in.wav -o out/demo.wav \
  -c rate 6 -c resonance 80 -c center 900 -c octaves 4 -c glide_up 30 -c glide_down 30 \
  "$uri" 2> >(grep -v -e 'manifest.ttl' -e '^lilv_world_load' >&2)
sox out/demo.wav -n spectrogram -o out/demo.png -t "Zirpomatik Tolm: random low-pass on a 110 Hz sawtooth" -x 1200 -y 513 -z 90
echo "rendered $PWD/out/demo.wav and $PWD/out/demo.png; bundle installed in $HOME/.lv2/zirpomatik-tolm.lv2," \
  "CLAP plugin in $HOME/.clap/zirpomatik-tolm.clap, VST3 plugin in $HOME/.vst3/zirpomatik-tolm.vst3"
