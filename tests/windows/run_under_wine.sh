#!/bin/sh
# Runs a cross-built program under wine64 in a Wine prefix of its own (a copy of a booted
# template), then stops that prefix's wineserver and removes the prefix. The exit status is
# the program's. Usage: run_under_wine.sh program.exe [arguments...]
#
# The template is made once per cache folder ($VIDAZOZ_TEST_CACHE), under the same lock and in
# the same place as the Linux tests' template (tests/support/wine_prefix.cpp), so both share it.
set -eu

exe=$1
shift
tmp=${TMPDIR:-/tmp}
cache=${VIDAZOZ_TEST_CACHE:-$tmp/vidazoz-test-cache}
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d "$tmp/vidazoz-wine-XXXXXX")
export HOME="$work" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -n "${VIDAZOZ_KEEP_DISPLAY:-}" ] || unset DISPLAY
cleanup() {
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

make_template() {
  boot="$work/boot"
  mkdir -p "$boot"
  WINEPREFIX="$boot/prefix" HOME="$boot" wineboot -i >"$boot/log" 2>&1 || true
  WINEPREFIX="$boot/prefix" HOME="$boot" wineserver -w || true
  if [ ! -f "$boot/prefix/system.reg" ]; then
    cat "$boot/log" >&2
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
cp -al "$cache/wine-template" "$WINEPREFIX"
for f in system.reg user.reg userdef.reg wineserver .update-timestamp; do
  if [ -e "$WINEPREFIX/$f" ]; then
    rm -f "$WINEPREFIX/$f"
    cp "$cache/wine-template/$f" "$WINEPREFIX/$f"
  fi
done

status=0
"$wine64" "$exe" "$@" || status=$?
exit $status
