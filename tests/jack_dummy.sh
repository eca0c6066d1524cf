# Sourced by the tests that run a JACK host: stopping their processes, a
# JACK server on the dummy driver, and a wait for a client's port. Expects $work (a folder for logs),
# the array pids (processes the caller stops at the end), fail, and
# JACK_DEFAULT_SERVER set to a name of the test's own.

# Ends one of our processes: politely, then after 5 s for good.
stop() {
  local n
  kill "$1" 2>/dev/null || return 0
  for n in $(seq 50); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Every JACK client runs under timeout: a client can hang while it connects.
# Polls (at most about 10 s) until a JACK port with the given name exists.
wait_for_port() {
  local i
  for i in $(seq 100); do
    timeout 5 jack_lsp 2>/dev/null | grep -qx "$1" && return 0
    sleep 0.1
  done
  return 1
}

# -r: no real-time scheduling, which a test machine may not grant; -t: a
# generous client timeout, so a busy machine does not drop a client.
start_jack_dummy() {
  local i jackd_pid
  jackd -r -t 5000 -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
  jackd_pid=$!
  pids+=("$jackd_pid")
  # Ready when a client gets through; a client that knocks while the server
  # is still starting can be turned away, so keep knocking for up to 15 s.
  for i in $(seq 150); do
    timeout 5 jack_lsp >/dev/null 2>&1 && return 0
    kill -0 "$jackd_pid" 2>/dev/null || fail "the JACK server exited"
    sleep 0.1
  done
  timeout 5 jack_lsp >/dev/null 2>&1 || fail "the JACK server did not start"
}
