#!/usr/bin/env bash
# jalv.gtk3 opens the plugin with its own window (embedded through suil's
# X11-in-GTK3 wrapper) on a private X server (Xvfb) and a private JACK
# server with the dummy backend. The screenshot must show the window drawn;
# a scripted mouse drag on the Mix dial must change the port as the host
# sees it: jalv runs the plugin with the new value, so after dragging Mix
# to the bottom the recorded output is the input itself (dry only), where
# before it was the filtered signal. Closing jalv must close the window
# cleanly. Every process started here is ended here, by its id.
# Usage: jalv_gtk_run.sh BUILD_DIR PLUGIN_URI VIEW_PROBE SCREENSHOT.png
set -euo pipefail
build=$1
uri=$2
probe=$3
screenshot=$4
for tool in Xvfb jackd jack_lsp jack_connect jack_metro jack_rec jalv.gtk3 xdotool import convert sox; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (tools/deps.sh installs it)" >&2; exit 1; }
done
ls /usr/lib/*/suil-0/libsuil_x11_in_gtk3.so >/dev/null 2>&1 ||
  { echo "FAIL: suil's X11-in-GTK3 wrapper missing (Debian package libsuil-0-0)" >&2; exit 1; }

export LV2_PATH=$build
export JACK_DEFAULT_SERVER="zt-window-$$"
export JACK_NO_START_SERVER=1
export JACK_NO_AUDIO_RESERVATION=1
export NO_AT_BRIDGE=1 GDK_BACKEND=x11   # no accessibility bus, no Wayland
work=$(mktemp -d)
pids=()

source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../jack_dummy.sh"

finish() {
  local rc=$?
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  if [ "$rc" -ne 0 ]; then
    for f in "$work"/*.log; do
      [ -e "$f" ] && { echo "--- $(basename "$f")"; grep -v -e 'manifest.ttl' -e '^lilv_world_load' "$f" | tail -n 25; }
    done
  fi
  rm -rf "$work"
  rm -f /dev/shm/jack_sem.*_"$JACK_DEFAULT_SERVER"_*
  exit "$rc"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The X server: it writes the display number it took once it takes clients.
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for i in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

start_jack_dummy

# In the sanitizer build the runtime comes in with our libraries; the leaks
# of GTK and of jalv itself at exit are not ours to count.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  timeout -k 3 120 jalv.gtk3 -x --jack-name zt-tolm "$uri" >"$work/jalv.log" 2>&1 &
jalv_pid=$!
pids+=("$jalv_pid")
wait_for_port zt-tolm:in && wait_for_port zt-tolm:out || fail "jalv.gtk3 did not bring up the plugin's ports"

# The plugin's window, found by its class among jalv's.
win=""
for i in $(seq 150); do
  win=$(xdotool search --onlyvisible --classname '^zirpomatik-tolm$' 2>/dev/null | head -n1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || fail "jalv.gtk3 did not show the plugin's window"
eval "$(xdotool getwindowgeometry --shell "$win")"   # X, Y (on the screen), WIDTH, HEIGHT
echo "window $WIDTH x $HEIGHT at $X,$Y"
# suil gives GTK the window's base size as its natural size: 720 x 420 at jalv's scale of 1.
[ "$WIDTH" -eq 720 ] && [ "$HEIGHT" -eq 420 ] || fail "the window opened at $WIDTH x $HEIGHT, not its natural 720 x 420"

jack_metro -n zt-metro -b 300 -f 440 -D 40 -A 0.5 >"$work/metro.log" 2>&1 &
pids+=($!)
wait_for_port zt-metro:300_bpm || fail "the metronome did not start"
timeout 10 jack_connect zt-metro:300_bpm zt-tolm:in || fail "could not connect the metronome"

# Drawn: the window's part of the screen holds many colours (a blank or
# black window one or two), and the picture is not all one shade.
sleep 1
import -window root "$screenshot"
crop="${WIDTH}x${HEIGHT}+${X}+${Y}"
colours=$(convert "$screenshot" -crop "$crop" +repage -format '%k' info:)
spread=$(convert "$screenshot" -crop "$crop" +repage -colorspace gray -format '%[fx:standard_deviation]' info:)
echo "screenshot $screenshot: $colours colours, grey spread $spread in the window"
[ "$colours" -ge 64 ] || fail "the window shows $colours colours: not drawn"
awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || fail "the window is nearly one shade (spread $spread)"

# Input and output recorded together, in the same cycles; returns the level
# of their difference against the input's, in dB.
difference_db() {
  timeout 20 jack_rec -f "$work/$1.wav" -d 1 -b 32 zt-metro:300_bpm zt-tolm:out >"$work/rec.log" 2>&1 ||
    fail "recording failed"
  local input diff
  input=$(sox -V1 "$work/$1.wav" -n remix 1 stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
  diff=$(sox -V1 "$work/$1.wav" -n remix 1,2i stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
  awk -v i="$input" -v d="$diff" 'BEGIN { if (i <= 0) exit 1; printf "%.1f\n", (d > 0 ? 20 * log(d / i) / log(10) : -200) }' ||
    fail "no input reached the recorder"
}
before=$(difference_db before)
echo "output - input before the drag: $before dB"
awk -v b="$before" 'BEGIN { exit !(b > -20) }' || fail "the output was already the input before the drag ($before dB)"

# Press on the Mix dial, drag 300 pixels down in steps (a full sweep is
# less), release: Mix goes to -100, dry only.
read -r cx cy < <("$probe" "$WIDTH" "$HEIGHT" 1 2) || fail "the view has no Mix dial"
px=$((X + cx)) py=$((Y + cy))
xdotool mousemove "$px" "$py"
sleep 0.2
xdotool mousedown 1
sleep 0.2
for step in $(seq 1 15); do
  xdotool mousemove "$px" "$((py + step * 20))"
  sleep 0.05
done
sleep 0.2
xdotool mouseup 1
# The host's next cycles and the mix ramp; a busy machine may take longer.
for attempt in 1 2 3 4 5; do
  sleep 1
  after=$(difference_db after)
  awk -v a="$after" 'BEGIN { exit !(a < -60) }' && break
done
echo "output - input after dragging Mix down: $after dB"
awk -v a="$after" 'BEGIN { exit !(a < -60) }' || fail "after the drag the output is not the dry input ($after dB): jalv did not get Mix = -100"

# A host that gives the window only its declared minimum (as Audacity
# does): jalv's window made smaller keeps the plugin's at 640 x 360, drawn.
xdotool windowsize "$(xdotool search --onlyvisible --class '^jalv' | head -n1)" 300 200
for i in $(seq 30); do
  sleep 0.1
  eval "$(xdotool getwindowgeometry --shell "$win")"
  [ "$WIDTH" -ne 720 ] && break
done
[ "$WIDTH" -eq 640 ] && [ "$HEIGHT" -eq 360 ] || fail "shrunk, the window is $WIDTH x $HEIGHT, not its minimum 640 x 360"
sleep 0.5
import -window root "${screenshot%.png}_min.png"
colours=$(convert "${screenshot%.png}_min.png" -crop "640x360+${X}+${Y}" +repage -format '%k' info:)
[ "$colours" -ge 64 ] || fail "at its minimum the window shows $colours colours: not drawn"

# The host closes: the window with it, without an X error.
kill -TERM "$jalv_pid"
status=0
wait "$jalv_pid" || status=$?
[ "$status" -eq 0 ] || fail "jalv.gtk3 exited with status $status"
if grep -qiE 'X Error|BadWindow|BadDrawable|Gdk-(ERROR|CRITICAL)' "$work/jalv.log"; then
  fail "errors while jalv.gtk3 ran or closed the window"
fi
echo "jalv.gtk3 showed the window, took the drag and closed it cleanly"
