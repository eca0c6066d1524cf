# Sourced by the package stages: $base, a bare Debian 12 (minbase) tree as a
# tar file that every chroot of theirs starts from, made once per machine with
# debootstrap from the mirror apt already uses. Uses the caller's $work
# (scratch space) and fail.
base=${TMPDIR:-/tmp}/zt-fresh-base.tar
if [ ! -f "$base" ]; then
  echo "${0##*/}: making $base with debootstrap (once per machine)"
  mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list)
  debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log"; fail "debootstrap"; }
  tar -C "$work/base" -cf "$base.$$" . && mv "$base.$$" "$base" && rm -rf "$work/base"
fi
