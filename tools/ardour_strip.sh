#!/usr/bin/env bash
# A manual check, not part of the suite: Ardour 7 under a private Xvfb shows
# the plugin's picture in the mixer strip and the picture moves while the
# transport rolls. Makes a session with ardour7-lua, starts Ardour on it with
# a private HOME, answers its two start-up dialogs (the moved I/O device and
# the audio setup: "None (Dummy)", pink noise in) by clicking where they
# appear on a 1600x1000 screen, opens the mixer, rolls, takes two
# screenshots 1.5 s apart and crops the strip from each.
# Usage: ardour_strip.sh BUILD_DIR OUT_DIR   (then LOOK at OUT_DIR/strip-*.png)
set -euo pipefail
build=$(cd "$1" && pwd) out=$(mkdir -p "$2" && cd "$2" && pwd)
uri=http://zirpomatik.org/plugins/zirpomatik-tolm
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/lv2" "$work/home/.config/ardour7"
ln -s "$build/zirpomatik-tolm.lv2" "$work/lv2/"
touch "$work/home/.config/ardour7/.a7"   # no first-run wizard
printf '<?xml version="1.0" encoding="UTF-8"?>\n<Ardour><Config><Option name="hide-dummy-backend" value="0"/></Config></Ardour>\n' \
  >"$work/home/.config/ardour7/config"
export HOME=$work/home LV2_PATH=$work/lv2:/usr/lib/lv2
cat >"$work/session.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start()
assert(create_session("$work/session", "tolm", 48000), "no session")
local track = Session:new_audio_track(1, 1, nil, 1, "Tolm", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
track:add_processor_by_index(ARDOUR.LuaAPI.new_plugin(Session, "$uri", ARDOUR.PluginType.LV2, ""), 0, nil, true)
Session:save_state("")
close_session()
LUA
ardour7-lua "$work/session.lua" >"$work/lua.log" 2>&1

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r display <&3
export DISPLAY=:$display
ardour -n "$work/session/tolm.ardour" >"$work/ardour.log" 2>&1 &
pids=($! "${pids[@]}")
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-1.5}"; }
sleep 25
click 971 539 8      # "Engine I/O device has changed": OK
click 808 358        # Audio System
click 790 402        # None (Dummy)
click 816 418        # Device
click 776 616        # Pink Noise
click 1021 660 12    # Start
click 700 500 0.5    # focus the editor
xdotool key alt+m; sleep 3   # the mixer
xdotool key space; sleep 3   # roll
for i in 1 2; do
  import -window root "$out/screen-$i.png"
  convert "$out/screen-$i.png" -crop 114x168+275+108 +repage -filter point -resize 200% "$out/strip-$i.png"
  sleep 1.5
done
echo "strip pixels that changed: $(compare -metric AE "$out/strip-1.png" "$out/strip-2.png" null: 2>&1)"
