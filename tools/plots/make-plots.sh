#!/usr/bin/env bash
# Regenerates the README's pictures from the real engine and plugin code:
#   doc/responses.png   every response type with the cutoff held still
#   doc/modulation.png  spectrograms of the random cutoff at work
# Builds the data tool with the project (into build/, or $ZT_BUILD_DIR),
# measures, and draws with gnuplot. Needs nothing from the network beyond
# the Debian packages tools/deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")/../.."
ZT_EXTRA_PACKAGES="gnuplot-nox ${ZT_EXTRA_PACKAGES:-}" bash tools/deps.sh
build=${ZT_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_PLOTS=ON >/dev/null
cmake --build "$build" -j2 --target zt_plot_data >/dev/null
tool=$build/tools/plots/zt_plot_data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" responses "$work"
gnuplot -e "datadir='$work'; out='doc/responses.png'" tools/plots/responses.gp

# Six seconds each: the settings a new instance starts with, and the
# "Fast random chirps" preset (bundle/presets.ttl.in).
"$tool" modulation "$work/defaults" 6
"$tool" modulation "$work/chirps" 6 mix=100 rate=10 glide_down=70 glide_up=2 shape=0 \
  resonance=90 center=1800 octaves=4 type=7
gnuplot -e "datadir='$work'; out='doc/modulation.png';
  top='defaults'; top_title='Default settings: 4 pole lp, a new random step 7.5 times a second, 300 Hz ... 4.8 kHz';
  bottom='chirps'; bottom_title='Preset \"Fast random chirps\": 2 pole bp, quick rises, slow falls, 10 moves a second'" \
  tools/plots/modulation.gp
echo "wrote doc/responses.png and doc/modulation.png"
