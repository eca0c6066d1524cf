#!/usr/bin/env bash
# Debian 12's cairo and X11 for another processor, unpacked into a folder of
# their own for the cross builds' window and for running it under qemu:
#
#   tools/cross-sysroot.sh arm64|armhf DIR
#
# The packages are fetched with apt-get download through a private apt
# state (package lists for that architecture alone, in DIR/.apt) and opened
# with dpkg-deb -x: nothing is installed, and the build machine's dpkg
# learns no foreign architecture. Installed as multiarch packages, they
# would bring that architecture's libc6, which must not meet the cross C
# library (/usr/<triple>) that the cross compilers link with and qemu runs
# with. The C library and the compiler's runtime are left out for that
# reason. Does nothing when DIR already holds this list.
set -euo pipefail
arch=${1:?usage: cross-sysroot.sh arm64|armhf DIR}
dir=${2:?usage: cross-sysroot.sh arm64|armhf DIR}
# The window's libraries with their headers and pkg-config files, and what
# they load in turn.
packages=(
  libcairo2-dev libcairo2 libpixman-1-dev libpixman-1-0 libpng-dev libpng16-16
  libfontconfig-dev libfontconfig1 libfreetype-dev libfreetype6 libexpat1-dev libexpat1
  libbrotli-dev libbrotli1 zlib1g-dev zlib1g uuid-dev libuuid1
  libx11-dev libx11-6 libxext-dev libxext6 libxrender-dev libxrender1
  libxcb1-dev libxcb1 libxcb-render0-dev libxcb-render0 libxcb-shm0-dev libxcb-shm0
  libxau-dev libxau6 libxdmcp-dev libxdmcp6 libbsd0 libmd0 libpthread-stubs0-dev
  x11proto-dev xtrans-dev
  # cairo.pc names GLib among its private requirements, which pkg-config
  # wants to see even though nothing here links it: its .pc files alone
  # (Debian 11's GLib names the older PCRE).
  libglib2.0-dev libpcre2-dev libpcre3-dev libffi-dev
)
stamp=$dir/.packages
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$arch ${packages[*]}" ]; then
  exit 0
fi
rm -rf "$dir"
apt_dir=$dir/.apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs"
touch "$apt_dir/status"
apt_opts=(-o APT::Architecture="$arch" -o APT::Architectures::="$arch"
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::State::Status="$apt_dir/status"
          -o Dir::Cache="$apt_dir/cache" -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
source "$(dirname "${BASH_SOURCE[0]}")/apt_update.sh"
apt_update "${apt_opts[@]}"
(cd "$apt_dir/debs" && apt-get "${apt_opts[@]}" download -qq "${packages[@]}")
for deb in "$apt_dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$dir"
done
rm -rf "$apt_dir"
# Absolute links (libfoo.so -> /lib/...) are made to point inside.
find "$dir" -type l -lname '/*' | while read -r link; do
  ln -sfn "$dir$(readlink "$link")" "$link"
done
echo "$arch ${packages[*]}" >"$stamp"
