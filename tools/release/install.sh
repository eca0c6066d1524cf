#!/bin/sh
# Installs the plugins of this folder where hosts look for them:
#
#   ./install.sh               for you: ~/.lv2, ~/.clap, ~/.vst3
#   sudo ./install.sh --system for everyone: /usr/local/lib/lv2, clap, vst3
#   ./install.sh --uninstall   (with --system too) removes what it put there
#
# A copy already there (an older version) is replaced as a whole. Removing
# takes the same names out again, and a folder only if that left it empty.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
lv2=${HOME}/.lv2 clap=${HOME}/.clap vst3=${HOME}/.vst3
remove=no
for arg in "$@"; do
  case $arg in
    --system) lv2=/usr/local/lib/lv2 clap=/usr/local/lib/clap vst3=/usr/local/lib/vst3 ;;
    --uninstall) remove=yes ;;
    *) echo "usage: $0 [--system] [--uninstall]" >&2; exit 2 ;;
  esac
done
for item in "$here"/*.lv2 "$here"/*.clap "$here"/*.vst3; do
  [ -e "$item" ] || continue
  name=$(basename "$item")
  case $name in
    *.lv2) dest=$lv2 ;;
    *.clap) dest=$clap ;;
    *) dest=$vst3 ;;
  esac
  if [ $remove = yes ]; then
    if [ -e "$dest/$name" ]; then
      rm -rf "${dest:?}/$name"
      echo "removed $dest/$name"
    fi
    rmdir "$dest" 2>/dev/null || true
  else
    mkdir -p "$dest"
    rm -rf "${dest:?}/$name"
    cp -R "$item" "$dest/$name"
    echo "installed $dest/$name"
  fi
done
