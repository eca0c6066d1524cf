#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# any is missing. Needs root (or sudo) only when something must be installed.
# Usage: deps.sh [demo]   (demo: only what building the bundle and the demo
# render need, for a quick first run; default: everything the tests need too)
set -euo pipefail

# Building the bundle.
packages=(cmake g++ make pkg-config lv2-dev libcairo2-dev libx11-dev libxext-dev)   # cairo, X11 (and its shared-memory extension): the plugin's window
# The demo: a test signal, lv2apply, a spectrogram.
packages+=(lilv-utils sox)
if [ "${1:-}" != demo ]; then
  packages+=(
    liblilv-dev sordi
    googletest libgtest-dev libbenchmark-dev
    libsox-fmt-all
    lv2file lv2proc ecasound
    jalv jackd2   # the jalv test; jackd2 also brings jack_connect, jack_lsp, jack_rec
    valgrind      # hosts load, run and unload the plugin under memcheck
    dpkg-dev lintian debootstrap   # the Debian package stage (it builds in a chroot)
    xz-utils git   # the release stage unpacks the archives; the commit's time stamps them
    xvfb libxdamage-dev libsuil-0-0 xdotool imagemagick   # the window's tests: a private X server, jalv.gtk3 embedding it
    qtractor   # a stock CLAP host embedding the window
    ardour        # a session saved by Ardour 7 (headless, ardour7-lua) shows every control automatable
    g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user   # the Arm builds, their tests under emulation
  )
fi
packages+=(${ZT_EXTRA_PACKAGES:-})

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "error: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to raise real-time limits; answer no, never prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
source "$(dirname "${BASH_SOURCE[0]}")/apt_update.sh"
$sudo bash -c "$(declare -f apt_update); apt_update"
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
