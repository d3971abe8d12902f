#!/usr/bin/env bash
# Shows the window without a desktop: runs it in a private Xvfb, presses Check, holds the logo,
# and writes screenshots to <build>/demo/.
set -euo pipefail
build=${1:-build}
exe="$build/app/vidazoz"
out="$build/demo"
[ -x "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }
mkdir -p "$out"

work=$(mktemp -d)
xvfb_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

# An empty prefix of its own: the demo never reads or writes the user's Wine registry.
mkdir -p "$work/home" "$work/prefix"
WINEPREFIX="$work/prefix" HOME="$work/home" "$exe" &
app_pid=$!
win=$(xdotool search --sync --onlyvisible --name "Dodivezozu Software :: Vidazoz" | head -n1)

shot() {  # the window alone, and the whole screen
  sleep 0.3
  import -window "$win" "$out/$1.png"
  import -window root "$out/$1-screen.png"
  echo "  $out/$1.png"
}
echo "Screenshots:"
shot 1-start
xdotool mousemove --sync --window "$win" 388 60 click 1  # Check
shot 2-checked
xdotool mousemove --sync --window "$win" 40 40 mousedown 1  # hold the logo
shot 3-about
xdotool mouseup 1
shot 4-released
