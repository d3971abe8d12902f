#!/bin/sh
# Makes a Wine prefix at DEST: a copy of a template booted once per cache folder
# ($VIDAZOZ_TEST_CACHE), under the same lock and in the same place as the Linux tests' template
# (tests/support/wine_prefix.cpp), so both share it. Usage: make_wine_prefix.sh DEST
set -eu

dest=$1
tmp=${TMPDIR:-/tmp}
cache=${VIDAZOZ_TEST_CACHE:-$tmp/vidazoz-test-cache}
. "$(dirname "$0")/../../scripts/server_folders.sh"

make_template() {
  boot=$(mktemp -d "$tmp/vidazoz-wineboot-XXXXXX")
  WINEPREFIX="$boot/prefix" HOME="$boot" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
    wineboot -i >"$boot/log" 2>&1 || true
  WINEPREFIX="$boot/prefix" HOME="$boot" wineserver -w || true
  remove_server_folders "$boot/prefix"
  if [ ! -f "$boot/prefix/system.reg" ]; then
    cat "$boot/log" >&2
    rm -rf "$boot"
    echo "wineboot -i made no registry" >&2
    exit 1
  fi
  rm -rf "$cache/wine-template.staging" "$cache/wine-template"
  cp -a "$boot/prefix" "$cache/wine-template.staging"
  mv "$cache/wine-template.staging" "$cache/wine-template"
  rm -rf "$boot"
}

mkdir -p "$cache"
(
  flock 9
  [ -f "$cache/wine-template/system.reg" ] || make_template
) 9>"$cache/wine-template.lock"

# drive_c is only read: hard links make the copy cheap. The files Wine rewrites are real copies.
cp -al "$cache/wine-template" "$dest"
for f in system.reg user.reg userdef.reg wineserver .update-timestamp; do
  if [ -e "$dest/$f" ]; then
    rm -f "$dest/$f"
    cp -p "$cache/wine-template/$f" "$dest/$f"
  fi
done
