#!/usr/bin/env bash
# Ardour (7, through its headless Lua interpreter) puts the plugin on a track
# of a new session and saves it: the session file lists every one of the
# nine controls, none marked NotAutomatable (Ardour gives such a control no
# automation lane). On a stereo track the stereo plugin is one instance, two
# in and two out, and renders (Ardour's bounce of a take recorded from the
# dummy backend's sine waves) each channel as lv2apply renders the take's
# channel through the mono plugin, bit for bit.
# Usage: ardour_automation.sh BUILD_DIR PLUGIN_URI ZT_WAV
# Exits 77 (skipped) when ardour7-lua is not installed.
set -euo pipefail
build=$1 uri=$2 wav=$3
if ! command -v ardour7-lua >/dev/null; then
  echo "SKIPPED: ardour7-lua is not installed (the Debian package ardour; bash tools/deps.sh installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/lv2" "$work/home"
ln -s "$build/zirpomatik-tolm.lv2" "$work/lv2/"
cat >"$work/session.lua" <<LUA
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:set_device_name("Sine Wave")
AudioEngine:start()
assert(create_session("$work/session", "tolm", 48000), "no session")
local track = Session:new_audio_track(1, 1, nil, 1, "Tolm", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(Session, "$uri", ARDOUR.PluginType.LV2, "")
assert(not p:isnil(), "Ardour did not find the plugin")
track:add_processor_by_index(p, 0, nil, true)
local st = Session:new_audio_track(2, 2, nil, 1, "Stereo", ARDOUR.PresentationInfo.max_order,
                                   ARDOUR.TrackMode.Normal, true):front()
st:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(1500000)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(1500000)
-- The engine stops before the plugin comes in: the bounce is its first run.
AudioEngine:stop()
local sp = ARDOUR.LuaAPI.new_plugin(Session, "$uri-stereo", ARDOUR.PluginType.LV2, "")
st:add_processor_by_index(sp, 0, nil, true)
for r in st:playlist():region_list():iter() do
  local take = r:to_audioregion()  -- heard by the plugin as it is, without fades
  take:set_fade_in_active(false); take:set_fade_out_active(false)
  assert(not st:bounce_range(r:position():samples(), (r:position() + r:length()):samples(),
                             ARDOUR.InterThreadInfo(), sp, true, "bounced"):isnil(), "no bounce")
end
Session:save_state("")
close_session()
LUA
HOME=$work/home LV2_PATH=$work/lv2:/usr/lib/lv2 timeout 120 ardour7-lua "$work/session.lua" >"$work/log" 2>&1 || {
  cat "$work/log"
  echo "FAILED: ardour7-lua could not make the session"
  exit 1
}

# The controls of the plugin's processor block.
controls=$(sed -n "\\|<Processor .*unique-id=\"$uri\"|,\\|</Processor>|p" "$work/session/tolm.ardour" | grep '<Controllable ' || true)
status=0
for symbol in mix rate glide_down glide_up shape resonance center octaves type; do
  line=$(grep "symbol=\"$symbol\"" <<<"$controls" || true)
  if [ -z "$line" ]; then
    echo "FAILED: no control '$symbol' in the saved session"
    status=1
  elif grep -q 'NotAutomatable' <<<"$line"; then
    echo "FAILED: Ardour offers no automation for '$symbol': $line"
    status=1
  fi
done
[ $status -eq 0 ] && echo "Ardour: all nine controls automatable"

grep -q "<Processor .*unique-id=\"$uri-stereo\" count=\"1\"" "$work/session/tolm.ardour" ||
  { echo "FAILED: Ardour runs the stereo plugin other than as one instance"; status=1; }
files=$(echo "$work"/session/interchange/*/audiofiles)
for side in L R; do
  LV2_PATH=$work/lv2 lv2apply -i "$files/Take1_Stereo-1%$side.wav" -o "$work/$side.wav" "$uri" &&
    "$wav" compare "$work/$side.wav" "$files/bounced%$side.wav" ||
    { echo "FAILED: Ardour's stereo render, channel $side, is not lv2apply's"; status=1; }
done
exit $status
