#!/bin/sh
# Runs a cross-built program under wine64 in a Wine prefix of its own (a copy of a booted
# template), then stops that prefix's wineserver and removes the prefix and the server's
# folders. The exit status is the program's; its output comes with Unix line ends (Wine's
# console writes CR LF, which would end up in the test names ctest reads from it).
# Usage: run_under_wine.sh program.exe [arguments...]
set -eu

exe=$1
shift
tmp=${TMPDIR:-/tmp}
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d "$tmp/vidazoz-wine-XXXXXX")
export HOME="$work" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY  # no test here needs a screen
. "$(dirname "$0")/../../scripts/server_folders.sh"
cleanup() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    remove_server_folders "$WINEPREFIX"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$(dirname "$0")/make_wine_prefix.sh" "$WINEPREFIX"

status=0
"$wine64" "$exe" "$@" >"$work/out" 2>&1 || status=$?
tr -d '\r' <"$work/out"
exit $status
