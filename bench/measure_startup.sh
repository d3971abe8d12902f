#!/usr/bin/env bash
# Start-up of the window: exec -> window mapped, median of 20 runs in a private Xvfb.
set -euo pipefail
build=${1:-build}
runs=${RUNS:-20}
exe="$build/app/vidazoz"
probe="$build/bench/startup_probe"
[ -x "$exe" ] && [ -x "$probe" ] || { echo "build first: $exe and $probe are missing" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -br 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -n1 "$work/display")"
mkdir -p "$work/home" "$work/prefix"

times=()
for _ in $(seq "$runs"); do
  times+=("$(DISPLAY=$display WINEPREFIX=$work/prefix HOME=$work/home "$probe" "$exe")")
done
printf '%s\n' "${times[@]}" | sort -n | awk -v n="$runs" '
  { t[NR] = $1 }
  END {
    median = (n % 2) ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2
    printf "startup (exec -> window mapped): median %.1f ms over %d runs (min %.1f, max %.1f); target <= 60 ms\n",
           median, n, t[1], t[n]
  }'
