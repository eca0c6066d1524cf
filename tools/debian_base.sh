# Sourced by the package and release stages: $base, a bare Debian (minbase)
# tree as a tar file that every chroot of theirs starts from, made once per
# machine with debootstrap from the mirror apt already uses. Debian 12
# (bookworm) unless the caller sets $suite (bullseye: Debian 11, the oldest C
# library the release archives load with). Uses the caller's $work (scratch
# space) and fail.
suite=${suite:-bookworm}
base=${TMPDIR:-/tmp}/zt-fresh-base.tar
[ "$suite" = bookworm ] || base=${TMPDIR:-/tmp}/zt-fresh-base-$suite.tar
if [ ! -f "$base" ]; then
  echo "${0##*/}: making $base with debootstrap (once per machine)"
  mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list)
  debootstrap --variant=minbase "$suite" "$work/base-$suite" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log"; fail "debootstrap $suite"; }
  tar -C "$work/base-$suite" -cf "$base.$$" . && mv "$base.$$" "$base" && rm -rf "$work/base-$suite"
fi
