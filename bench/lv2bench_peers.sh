#!/usr/bin/env bash
# lv2bench figures for the built bundle beside two installed peer filters,
# each at lv2bench's default settings, run in turns; the fastest of the runs
# stands for each plugin. Prints ns per frame, the ratios, and PASS when ours
# is faster than both peers.
# Usage: bench/lv2bench_peers.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?build directory}
runs=${2:-5}
ours=$(sed -n 's/^set(ZT_PLUGIN_URI "\(.*\)")$/\1/p' "$(dirname "$0")/../CMakeLists.txt")
peers=(http://calf.sourceforge.net/plugins/Filter http://plugin.org.uk/swh-plugins/svf)
frames=524288  # lv2bench's default run length (with blocks of 512 frames)

# Only our bundle and the system's: the build tree holds other folders that
# are no bundles.
world=$(mktemp -d)
trap 'rm -rf "$world"' EXIT
ln -s "$(cd "$build" && pwd)/zirpomatik-tolm.lv2" "$world/zirpomatik-tolm.lv2"
export LV2_PATH="$world:/usr/lib/lv2"

declare -A best
for ((r = 0; r < runs; ++r)); do
  for uri in "$ours" "${peers[@]}"; do
    t=$(lv2bench "$uri" 2>/dev/null | awk -v u="$uri" '$2 == u { print $1 }')
    if [ -z "$t" ]; then
      echo "lv2bench gave no figure for $uri (is it installed?)" >&2
      exit 1
    fi
    if [ -z "${best[$uri]:-}" ] || awk -v a="$t" -v b="${best[$uri]}" 'BEGIN { exit !(a < b) }'; then
      best[$uri]=$t
    fi
  done
done

echo "lv2bench, default settings ($frames frames in blocks of 512), fastest of $runs runs:"
for uri in "$ours" "${peers[@]}"; do
  awk -v t="${best[$uri]}" -v n="$frames" -v u="$uri" 'BEGIN { printf "  %-48s %9.6f s %8.2f ns/frame\n", u, t, t * 1e9 / n }'
done
status=0
for uri in "${peers[@]}"; do
  awk -v a="${best[$ours]}" -v b="${best[$uri]}" -v u="$uri" 'BEGIN {
    r = a / b; printf "  ours / %-41s %6.3f  %s\n", u, r, (r < 1 ? "PASS" : "FAIL"); exit !(r < 1) }' || status=1
done
exit $status
