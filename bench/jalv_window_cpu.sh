#!/usr/bin/env bash
# What the open window costs a musician's host: jalv.gtk3 at 2x (Xft.dpi 192
# and GDK_SCALE=2) on a private Xvfb and a JACK server on the dummy driver,
# the plugin gliding all the time (rate 20 Hz, full glides), the CPU time of
# jalv and of the X server over a while, first with the plugin's window and
# then with jalv's generic controls; the difference is the window's.
# Every process started here is ended here, by its id.
# With "resting" the band is 0 octaves wide: the cutoff stands at the centre.
# Usage: jalv_window_cpu.sh BUNDLE_PARENT PLUGIN_URI [SECONDS] [SCALE] [resting]
set -euo pipefail
export LV2_PATH=$1
uri=$2
seconds=${3:-20}
scale=${4:-2}
band=()
[ "${5:-}" = resting ] && band=(-c octaves=0)
export JACK_DEFAULT_SERVER="zt-cpu-$$" JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
export NO_AT_BRIDGE=1 GDK_BACKEND=x11 GDK_SCALE=$scale
work=$(mktemp -d)
pids=()
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../tests/jack_dummy.sh"
finish() {
  local rc=$? i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  [ "$rc" -ne 0 ] && tail -n 20 "$work"/*.log >&2
  rm -rf "$work"
  rm -f /dev/shm/jack_sem.*_"$JACK_DEFAULT_SERVER"_*
  exit "$rc"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

Xvfb -displayfd 5 -screen 0 1920x1200x24 -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
pids+=("$xvfb")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$((96 * scale))"
start_jack_dummy

# CPU seconds a process has used in all its threads, to the nanosecond (the
# scheduler's count; /proc/PID/stat counts ticks of 10 ms).
cpu() { cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.6f\n", ns / 1e9 }'; }

# One run of jalv (extra arguments: -g for the generic controls).
measure() {
  timeout -k 3 $((seconds + 60)) jalv.gtk3 -x --jack-name zt-cpu -c rate=20 -c glide_down=100 -c glide_up=100 \
    "${band[@]}" "$@" "$uri" >"$work/jalv.log" 2>&1 &
  local guard=$! jalv
  pids+=("$guard")
  wait_for_port zt-cpu:out || fail "jalv.gtk3 did not bring up the plugin"
  jalv=$(pgrep -P "$guard" -x jalv.gtk3) || fail "no jalv.gtk3 under its timeout"
  sleep 3  # the window opened and settled
  local j0 x0 t0 j1 x1 t1
  j0=$(cpu "$jalv") x0=$(cpu "$xvfb") t0=$(date +%s.%N)
  sleep "$seconds"
  j1=$(cpu "$jalv") x1=$(cpu "$xvfb") t1=$(date +%s.%N)
  stop "$guard"
  awk -v j="$(echo "$j1 - $j0" | bc)" -v x="$(echo "$x1 - $x0" | bc)" -v t="$(echo "$t1 - $t0" | bc)" \
    'BEGIN { printf "%.2f %.2f\n", 100 * j / t, 100 * x / t }'
}
read -r wj wx < <(measure)
read -r gj gx < <(measure -g)
echo "scale $scale, ${5:-moving} cutoff, $seconds s: plugin's window: jalv $wj %, X server $wx %; generic controls: jalv $gj %, X server $gx %"
awk -v a="$wj" -v b="$wx" -v c="$gj" -v d="$gx" \
  'BEGIN { printf "the window: %.2f %% of a core in jalv, %.2f %% in the X server, %.2f %% in all\n", a - c, b - d, a + b - c - d }'
