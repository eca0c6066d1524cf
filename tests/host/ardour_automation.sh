#!/usr/bin/env bash
# Ardour (7, through its headless Lua interpreter) puts the plugin on a track
# of a new session and saves it: the session file lists every one of the
# nine controls, none marked NotAutomatable (Ardour gives such a control no
# automation lane).
# Usage: ardour_automation.sh BUILD_DIR PLUGIN_URI
# Exits 77 (skipped) when ardour7-lua is not installed.
set -euo pipefail
build=$1 uri=$2
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
AudioEngine:start()
assert(create_session("$work/session", "tolm", 48000), "no session")
local track = Session:new_audio_track(1, 1, nil, 1, "Tolm", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(Session, "$uri", ARDOUR.PluginType.LV2, "")
assert(not p:isnil(), "Ardour did not find the plugin")
track:add_processor_by_index(p, 0, nil, true)
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
exit $status
