#!/usr/bin/env bash
# Qtractor (Debian's, which loads CLAP) finds the .clap in a private
# ~/.clap, opens the plugin on a monitored track and embeds its window, on a
# private X server (Xvfb) and a private JACK server with the dummy backend.
# The screenshot must show the window drawn; a drag on the Rate dial must
# reach Qtractor as the plugin's param changes (it saves the new value);
# Qtractor must then quit cleanly with the window open. Every process
# started here is ended here, by its id.
# Usage: qtractor_clap_run.sh CLAP_FILE VIEW_PROBE SCREENSHOT.png
set -euo pipefail
clap=$1
probe=$2
screenshot=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for tool in Xvfb jackd jack_lsp qtractor xdotool import convert gcc; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (tools/deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
export JACK_DEFAULT_SERVER="zt-qtractor-$$" JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
source "$here/../jack_dummy.sh"
finish() {
  local rc=$?
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  if [ "$rc" -ne 0 ]; then
    for f in "$work"/*.log; do [ -e "$f" ] && { echo "--- $(basename "$f")"; tail -n 25 "$f"; }; done
  fi
  rm -rf "$work"
  rm -f /dev/shm/jack_sem.*_"$JACK_DEFAULT_SERVER"_*
  exit "$rc"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; [ -n "${DISPLAY:-}" ] && import -window root "$screenshot" 2>/dev/null; exit 1; }

# A home of our own: the seeded layout (the plugin list at a known place,
# no auto-save), the plugin in ~/.clap, no CLAP_PATH to look elsewhere.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/home/run
mkdir -p "$HOME/.clap" "$XDG_CONFIG_HOME/rncbc.org" "$XDG_RUNTIME_DIR" "$work/session"
chmod 700 "$XDG_RUNTIME_DIR"
cp "$clap" "$HOME/.clap/"
cp "$here/qtractor/Qtractor.conf" "$XDG_CONFIG_HOME/rncbc.org/"
unset CLAP_PATH

# Qtractor will not start its engines without the ALSA sequencer, which a
# machine without sound support lacks: a preloaded stand-in answers for it.
preload=
if [ ! -e /dev/snd/seq ]; then
  asound=$(ldconfig -p | awk '/libasound\.so\.2 / { print $NF; exit }')
  gcc -shared -fPIC -O2 -o "$work/fakeseq.so" "$here/qtractor/fakeseq.c" \
    -Wl,--version-script="$here/qtractor/fakeseq.map" "$asound" || fail "could not build the sequencer stand-in"
  preload=$work/fakeseq.so
fi

# One monitored audio track (its plugins run with the transport stopped)
# holding the plugin and the stereo one after it, named by their file alone:
# Qtractor looks in its CLAP folders.
session=$work/session/tolm.qtr
cat >"$session" <<EOF
<!DOCTYPE qtractorSession>
<session version="Qtractor 0.9.31" name="tolm">
 <properties><directory>$work/session</directory><sample-rate>48000</sample-rate><tempo>120</tempo>
  <ticks-per-beat>960</ticks-per-beat><beats-per-bar>4</beats-per-bar><beat-divisor>2</beat-divisor></properties>
 <files><audio-list/><midi-list/></files>
 <devices>
  <audio-engine><audio-bus name="Master" mode="duplex"><monitor>0</monitor><channels>2</channels><auto-connect>1</auto-connect></audio-bus></audio-engine>
  <midi-engine><midi-bus name="Master" mode="duplex"><monitor>0</monitor></midi-bus></midi-engine>
 </devices>
 <tracks>
  <track name="Track 1" type="audio">
   <properties><input-bus>Master</input-bus><output-bus>Master</output-bus></properties>
   <state><mute>0</mute><solo>0</solo><record>0</record><monitor>1</monitor><gain>1</gain><panning>0</panning></state>
   <clips/>
   <plugins>
    <plugin type="CLAP"><filename>$(basename "$clap")</filename><index>0</index><label>Zirpomatik_Tolm</label>
     <preset></preset><direct-access-param>-1</direct-access-param><activated>1</activated>
     <configs/><params/><controllers/><editor-pos>1100,150</editor-pos></plugin>
    <plugin type="CLAP"><filename>$(basename "$clap")</filename><index>1</index><label>Zirpomatik_Tolm_Stereo</label>
     <preset></preset><direct-access-param>-1</direct-access-param><activated>1</activated>
     <configs/><params/><controllers/></plugin>
   </plugins>
  </track>
 </tracks>
</session>
EOF

# The X server writes the display number it took once it takes clients.
Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
start_jack_dummy

(cd "$work/session" && ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" LD_PRELOAD=$preload \
  exec timeout -k 3 120 qtractor "$session") >"$work/qtractor.log" 2>&1 &
qtractor_pid=$!  # timeout's, which passes TERM on; Qtractor itself is its child
pids+=("$qtractor_pid")

# A plugin it cannot find keeps the session's name off the title (a dialog waits).
main=""
for i in $(seq 150); do
  main=$(xdotool search --onlyvisible --name 'tolm\.qtr' 2>/dev/null | head -n1 || true)
  [ -n "$main" ] && break
  kill -0 "$qtractor_pid" 2>/dev/null || fail "Qtractor exited"
  sleep 0.1
done
[ -n "$main" ] || fail "no Qtractor window with the session loaded (the plugin not found?)"
sleep 2  # the session finishes loading

# Qtractor opens a plugin's window on a double-click in the track's plugin
# list, which the seeded layout puts at (182, 179) in the main window.
eval "$(xdotool getwindowgeometry --shell "$main")"
win=""
for try in 1 2 3; do
  xdotool mousemove $((X + 182)) $((Y + 179)) click --repeat 2 --delay 80 1
  for i in $(seq 50); do
    win=$(xdotool search --onlyvisible --classname '^zirpomatik-tolm$' 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break 2
    sleep 0.1
  done
done
[ -n "$win" ] || fail "Qtractor did not show the plugin's window"
xdotool mousemove 5 1075
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
echo "window $WIDTH x $HEIGHT at $X,$Y"
[ "$WIDTH" -ge 360 ] && [ "$HEIGHT" -ge 210 ] || fail "the window is only $WIDTH x $HEIGHT"

# Drawn: many colours in the window's part of the screen, not one shade.
import -window root "$screenshot"
crop="${WIDTH}x${HEIGHT}+${X}+${Y}"
colours=$(convert "$screenshot" -crop "$crop" +repage -format '%k' info:)
spread=$(convert "$screenshot" -crop "$crop" +repage -colorspace gray -format '%[fx:standard_deviation]' info:)
echo "screenshot $screenshot: $colours colours, grey spread $spread in the window"
[ "$colours" -ge 64 ] || fail "the window shows $colours colours: not drawn"
awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || fail "the window is nearly one shade (spread $spread)"

# Rate up by a drag: Qtractor hears the gesture and values, and saves them
# (SIGUSR1: File/Save without a dialog).
read -r cx cy < <("$probe" "$WIDTH" "$HEIGHT" 1 3) || fail "the view has no Rate dial"
xdotool mousemove $((X + cx)) $((Y + cy)) mousedown 1
for step in $(seq 1 8); do xdotool mousemove $((X + cx)) $((Y + cy - step * 5)); sleep 0.03; done
xdotool mouseup 1
sleep 0.5
kill -USR1 "$(ps -o pid= --ppid "$qtractor_pid")"
for i in $(seq 50); do grep -q '<param ' "$session" && break; sleep 0.1; done
sleep 0.3
cp "$session" "$work/session.log"
rate=$(sed -n 's:.*<param [^>]*name="Rate"[^>]*>\([^<]*\)</param>.*:\1:p' "$session" | head -n1)
echo "Rate as Qtractor saved it after the drag: ${rate:-none}"
awk -v r="${rate:-0}" 'BEGIN { exit !(r > 10) }' || fail "Qtractor did not get the dragged Rate (default 7.5)"
# The stereo plugin, loaded: Qtractor saves its nine params too.
[ "$(grep -c '<param [^>]*name="Rate"' "$session")" -eq 2 ] || fail "Qtractor did not load the stereo plugin"

# Qtractor quits with the window open: the plugin closes it.
kill -TERM "$qtractor_pid"
status=0
wait "$qtractor_pid" || status=$?
[ "$status" -eq 0 ] || fail "Qtractor exited with status $status"
! grep -qiE 'X Error|BadWindow|BadDrawable|segmentation' "$work/qtractor.log" || fail "errors while Qtractor ran or closed"
echo "Qtractor loaded the plugin from ~/.clap, embedded its window, took the drag and closed cleanly"
