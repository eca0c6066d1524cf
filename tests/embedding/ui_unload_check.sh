#!/usr/bin/env bash
# valgrind over load, open, close and unload of the window's library (the
# host's own libraries, cairo, fontconfig and Xlib, stay loaded as in any
# host with a GUI): no memory error; no block that our library allocated
# left lost; and one lifetime or five leave exactly the same behind, in
# every category, so nothing piles up per window or per unload. (cairo and
# fontconfig keep some process-long caches in forms valgrind cannot follow,
# so it calls a few of their blocks lost: the same few however many times
# the window opens.)
# Last, a host killed with its window open leaves no shared memory behind.
# Usage: ui_unload_check.sh CYCLE [LIBRARY]   (LIBRARY: the file name whose
# lost blocks are ours; the LV2 window's library by default)
set -euo pipefail
cycle=$1
library=${2:-libzirpomatik-tolm-ui.so}
command -v valgrind >/dev/null || { echo "FAIL: valgrind missing (tools/deps.sh installs it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Prints "definite indirect possible reachable" bytes after N lifetimes.
leaks() {
  local log=$work/vg$1.log
  valgrind --keep-debuginfo=yes --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=none --error-exitcode=3 --log-file="$log" "$cycle" "$1" >/dev/null ||
    { cat "$log" >&2; fail "valgrind found memory errors over $1 lifetime(s)"; }
  # A lost block whose allocation was called from our library is ours.
  awk -v lib="$library" '/are (definitely|indirectly|possibly) lost/ { rec = 1; next }
       rec && /by 0x/ { if (index($0, lib)) { print; bad = 1 } rec = 0 }
       END { exit bad }' "$log" >&2 || { cat "$log" >&2; fail "the window's library lost blocks of its own"; }
  awk '/definitely lost:/ {d=$4} /indirectly lost:/ {i=$4} /possibly lost:/ {p=$4} /still reachable:/ {r=$4}
       END {gsub(",", "", d); gsub(",", "", i); gsub(",", "", p); gsub(",", "", r); print d+0, i+0, p+0, r+0}' "$log"
}
one=$(leaks 1)
five=$(leaks 5)
echo "bytes left (definitely, indirectly, possibly lost, still reachable): 1 lifetime: $one; 5 lifetimes: $five"
[ "$one" = "$five" ] || fail "five lifetimes leave more behind than one"
echo "window library: no memory error, nothing of its own lost, nothing piles up over load/open/close/unload"

# Shared memory segments made by process $1 that still exist.
segments() { awk -v pid="$1" 'NR > 1 && $5 == pid' /proc/sysvipc/shm | wc -l; }
"$cycle" 100000 >/dev/null &
host=$!
# Waits are generous: a loaded machine may take seconds to open the first window.
# The host opens and closes windows in turn, so a segment comes and goes:
# it is killed the moment one is seen.
seen=0
for _ in $(seq 1200); do
  [ "$(segments $host)" -gt 0 ] && { kill -9 $host; seen=1; break; }
  sleep 0.025
done
[ $seen = 1 ] || { kill -9 $host; fail "the window draws without shared memory"; }
wait $host 2>/dev/null || true
# The X server lets go of the segment once it sees the client gone.
for _ in $(seq 400); do [ "$(segments $host)" -eq 0 ] && break; sleep 0.05; done
[ "$(segments $host)" -eq 0 ] || fail "a host killed with the window open left shared memory behind"
echo "a host killed with the window open: no shared memory left"
