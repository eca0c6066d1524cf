# Sourced: apt_update [APT-GET OPTIONS], an `apt-get update` that waits out a
# mirror caught mid-sync, whose index files for a while disagree in size or
# hash with the Release file just fetched (apt then fails the update): up to
# five tries, a minute apart. After that it goes on with the index files that
# did arrive (apt keeps the older ones of the rest), as apt itself offers:
# a package that is then missing or too old fails the install that needs it,
# and every check after that still runs. Chroots get it as text:
# "$(declare -f apt_update)".
apt_update() {
  local try
  for try in 1 2 3 4 5; do
    apt-get "$@" update -qq && return 0
    if [ "$try" -lt 5 ]; then
      echo "apt-get update failed (try $try of 5; a mirror in mid-sync?): again in a minute" >&2
      sleep 60
    fi
  done
  echo "apt-get update failed 5 times: going on with the index files that did arrive" >&2
  return 0
}
