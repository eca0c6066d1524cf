#!/usr/bin/env bash
# jalv, the JACK host, runs the built bundle (found through LV2_PATH in the
# build tree) for a few seconds on a private JACK server with the dummy
# backend: the plugin must load, filter a metronome into a recorder, take
# every factory preset from jalv's console, and shut down cleanly. Every
# process started here is ended here, by its id, whatever happens.
# Usage: jalv_run.sh BUILD_DIR PLUGIN_URI
set -euo pipefail
build=$1
uri=$2
for tool in jackd jack_lsp jack_connect jack_metro jack_rec jalv sordi sox; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (tools/deps.sh installs jalv, jackd2, sordi, sox)" >&2; exit 1; }
done

export LV2_PATH=$build
export JACK_DEFAULT_SERVER="zt-musicians-$$"   # a server of our own, whatever else runs
export JACK_NO_START_SERVER=1                  # no client may start a default server
export JACK_NO_AUDIO_RESERVATION=1             # no D-Bus device reservation either
work=$(mktemp -d)
pids=()

source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../jack_dummy.sh"

finish() {
  local rc=$?
  exec 3>&- 2>/dev/null || true
  # Clients first, each waited for, the server last: a server stopped while
  # a client is still leaving waits for it for a long time.
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  if [ "$rc" -ne 0 ]; then
    for f in "$work"/*.log "$work"/jalv.out; do
      [ -e "$f" ] && { echo "--- $(basename "$f")"; grep -v -e 'manifest.ttl' -e '^lilv_world_load' "$f" | tail -n 25; }
    done
  fi
  rm -rf "$work"
  rm -f /dev/shm/jack_sem.*_"$JACK_DEFAULT_SERVER"_*  # the stopped server's semaphores
  exit "$rc"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

start_jack_dummy

# jalv reads console commands from a FIFO kept open on fd 3 until the end;
# its answers are line-buffered so they can be read while it runs.
mkfifo "$work/commands"
timeout -k 3 60 stdbuf -oL jalv -x -n zt-tolm "$uri" <"$work/commands" >"$work/jalv.out" 2>"$work/jalv.log" &
jalv_pid=$!
pids+=("$jalv_pid")
exec 3>"$work/commands"
wait_for_port zt-tolm:in && wait_for_port zt-tolm:out || fail "jalv did not bring up the plugin's ports"

# Audio through the plugin in JACK's process thread: metronome beeps in,
# two seconds recorded from the plugin's output.
jack_metro -n zt-metro -b 300 -f 440 -D 40 -A 0.5 >"$work/metro.log" 2>&1 3>&- &
pids+=($!)
wait_for_port zt-metro:300_bpm || fail "the metronome did not start"
timeout 10 jack_connect zt-metro:300_bpm zt-tolm:in || fail "could not connect the metronome"
timeout 20 jack_rec -f "$work/out.wav" -d 2 -b 32 zt-tolm:out >"$work/rec.log" 2>&1 || fail "recording failed"
rms=$(sox -V1 "$work/out.wav" -n stat 2>&1 | awk '/^RMS +amplitude/ {print $3}')
awk -v r="$rms" 'BEGIN {exit !(r > 0.005)}' || fail "the plugin's output in jalv is silent (RMS $rms)"
echo "jalv output RMS $rms"

# Every factory preset, applied from jalv's console, must show its values
# on the ports. Listing the presets is what loads their data into jalv; a
# console user does the same before picking one.
presets_ttl=$build/zirpomatik-tolm.lv2/presets.ttl
triples=$(sordi "$presets_ttl")
presets=$(awk '$2 == "<http://www.w3.org/1999/02/22-rdf-syntax-ns#type>" && $3 == "<http://lv2plug.in/ns/ext/presets#Preset>" {gsub(/[<>]/, "", $1); print $1}' <<<"$triples")
[ -n "$presets" ] || fail "no presets in $presets_ttl"
echo "presets" >&3
listings=1  # jalv lists the controls at start-up and after every preset
for preset in $presets; do
  # The preset's settings as "symbol value" lines, straight from the Turtle.
  expected=$(awk -v p="<$preset>" '
    $1 == p && $2 == "<http://lv2plug.in/ns/lv2core#port>" { port[$3] = 1 }
    $2 == "<http://lv2plug.in/ns/lv2core#symbol>" { sym[$1] = $3 }
    $2 == "<http://lv2plug.in/ns/ext/presets#value>" { val[$1] = $3 }
    END { for (b in port) { s = sym[b]; v = val[b]; gsub(/"/, "", s); sub(/^"/, "", v); sub(/".*/, "", v); print s, v } }' <<<"$triples")
  [ "$(wc -l <<<"$expected")" -eq 9 ] || fail "preset $preset does not set all nine controls"
  echo "preset $preset" >&3
  listings=$((listings + 1))
  for i in $(seq 100); do
    [ "$(grep -c 'type = ' "$work/jalv.out")" -ge "$listings" ] && break
    sleep 0.1
  done
  [ "$(grep -c 'type = ' "$work/jalv.out")" -ge "$listings" ] || fail "jalv did not list its controls after preset $preset"
  # The last listing holds the preset's values.
  actual=$(tr -d '>' <"$work/jalv.out" | awk '$2 == "=" { v[$1] = $3 } END { for (s in v) print s, v[s] }')
  while read -r symbol value; do
    got=$(awk -v s="$symbol" '$1 == s { print $2 }' <<<"$actual")
    awk -v a="$got" -v b="$value" 'BEGIN { d = a - b; exit !(a != "" && d < 1e-4 && d > -1e-4) }' ||
      fail "after preset $preset jalv shows $symbol = '$got', the preset says $value"
  done <<<"$expected"
  sleep 0.2  # a few cycles with the preset's settings
done
echo "jalv applied $((listings - 1)) presets"

# End of input closes jalv's console: it must deactivate and exit by itself.
exec 3>&-
status=0
wait "$jalv_pid" || status=$?
[ "$status" -eq 0 ] || fail "jalv exited with status $status"
echo "jalv ran the plugin and shut down cleanly"
