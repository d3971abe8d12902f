#!/bin/sh
# Runs a cross-built program under wine64 in a Wine prefix of its own (a copy of a booted
# template), then stops that prefix's wineserver and removes the prefix. The exit status is
# the program's. Usage: run_under_wine.sh program.exe [arguments...]
#
# With --each-test first, the program is a GoogleTest binary and each of its cases (after any
# --gtest_filter given) runs alone in a fresh prefix, for tests that need a registry of their own.
set -eu

if [ "$1" = "--each-test" ]; then
  shift
  exe=$1
  shift
  cases=$("$0" "$exe" --gtest_list_tests "$@" | tr -d '\r' | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
  [ -n "$cases" ] || { echo "no test cases in $exe" >&2; exit 1; }
  failed=""
  for c in $cases; do
    "$0" "$exe" "--gtest_filter=$c" || failed="$failed $c"
  done
  [ -z "$failed" ] || { echo "failed:$failed" >&2; exit 1; }
  exit 0
fi

exe=$1
shift
tmp=${TMPDIR:-/tmp}
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d "$tmp/vidazoz-wine-XXXXXX")
export HOME="$work" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY  # no test here needs a screen
cleanup() {
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$(dirname "$0")/make_wine_prefix.sh" "$WINEPREFIX"

status=0
"$wine64" "$exe" "$@" || status=$?
exit $status
