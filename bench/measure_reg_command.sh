#!/usr/bin/env bash
# `vidazoz reg` beside `wine reg`, in the same run, on copies of one booted prefix: a query and
# an add with no wineserver running (Wine starts one each time), and a query and an add with a
# warm one (ours then goes through Wine too: the first process starts the server's shared
# helper and its broker, the later ones reuse them).
# Targets: >= 100x faster than Wine without a server, >= 5x with a warm one.
set -euo pipefail
build=${1:-build}
vidazoz=$(cd "$build" && pwd)/app/vidazoz
[ -x "$vidazoz" ] || { echo "missing $vidazoz (build first)" >&2; exit 1; }
template=${VIDAZOZ_TEST_CACHE:-$(cd "$build" && pwd)/test-cache}/wine-template
if [ ! -f "$template/system.reg" ]; then
  echo "skipped: no booted prefix at $template yet (make test makes it)"
  exit 0
fi

work=$(mktemp -d /tmp/vidazoz-regcmd-XXXXXX)
export HOME=$work WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
. "$(dirname "$0")/../scripts/server_folders.sh"
cleanup() {
  for p in "$work"/wine "$work"/ours; do
    WINEPREFIX=$p wineserver -k 2>/dev/null || true
    WINEPREFIX=$p wineserver -w 2>/dev/null || true
    remove_server_folders "$p"
  done
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$template" "$work/wine"
cp -a "$template" "$work/ours"

# Mean milliseconds of `runs` runs of a command; with cold=1 the prefix's server is stopped
# and waited for before each run, outside the timing. The clock is bash's own: a `date` per
# reading is two more process starts inside the timing, as much as our whole query on a
# machine where starting a process is slow.
mean_ms() {
  local prefix=$1 runs=$2 cold=$3; shift 3
  local total=0 start end
  for ((i = 0; i < runs; i++)); do
    if [ "$cold" = 1 ]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; WINEPREFIX=$prefix wineserver -w; fi
    start=${EPOCHREALTIME//[!0-9]/}
    WINEPREFIX=$prefix "$@" >/dev/null 2>&1
    end=${EPOCHREALTIME//[!0-9]/}
    total=$((total + 10#$end - 10#$start))
  done
  python3 -c "print(f'{$total / $runs / 1e3:.2f}')"
}

key='HKCU\Software\VidazozBench'
WINEPREFIX=$work/wine wine reg add "$key" /v warm /d up /f >/dev/null 2>&1  # loads the libraries once
WINEPREFIX=$work/wine wineserver -w
"$vidazoz" reg --prefix "$work/ours" add "$key" /v warm /d up /f >/dev/null 2>&1

wine_query_cold=$(mean_ms "$work/wine" 3 1 wine reg query "$key")
wine_add_cold=$(mean_ms "$work/wine" 3 1 wine reg add "$key" /v n /d 1 /f)
ours_query_cold=$(mean_ms "$work/ours" 20 0 "$vidazoz" reg query "$key")
ours_add_cold=$(mean_ms "$work/ours" 20 0 "$vidazoz" reg add "$key" /v n /d 1 /f)

# The cold runs' last server may still be up: it is stopped first, so that the one started now
# stays up, as for a user who has Wine running.
persistent_server() { WINEPREFIX=$1 wineserver -k 2>/dev/null || true; WINEPREFIX=$1 wineserver -w; WINEPREFIX=$1 wineserver -p; }
persistent_server "$work/wine"
WINEPREFIX=$work/wine wine reg query "$key" >/dev/null 2>&1
wine_query_warm=$(mean_ms "$work/wine" 10 0 wine reg query "$key")
wine_add_warm=$(mean_ms "$work/wine" 10 0 wine reg add "$key" /v n /d 1 /f)
persistent_server "$work/ours"
WINEPREFIX=$work/ours wine reg query "$key" >/dev/null 2>&1
ours_query_warm=$(mean_ms "$work/ours" 20 0 "$vidazoz" reg query "$key")
ours_add_warm=$(mean_ms "$work/ours" 20 0 "$vidazoz" reg add "$key" /v n /d 1 /f)
# The add must have reached the server, not the files it owns.
WINEPREFIX=$work/ours wine reg query "$key" /v n 2>/dev/null | grep -q 'REG_SZ *1' ||
  { echo "vidazoz reg add on the live prefix did not reach its wineserver" >&2; exit 1; }
# What one helper start costs on the same warm server: the helper alone, ending at once on an
# empty stdin.
helper=$(find "$build/registry" -name vidazoz-live.exe -print -quit)
helper_floor=0
[ -n "$helper" ] && helper_floor=$(mean_ms "$work/ours" 20 0 wine "$helper" </dev/null)

python3 - "$wine_query_cold" "$ours_query_cold" "$wine_add_cold" "$ours_add_cold" "$wine_query_warm" "$ours_query_warm" \
  "$wine_add_warm" "$ours_add_warm" "$helper_floor" <<'PY'
import sys
wq, oq, wa, oa, wqw, oqw, waw, oaw, floor = map(float, sys.argv[1:])
def row(what, wine, ours, target):
    ratio = wine / ours
    verdict = "ok" if ratio >= target else "UNDER the target"
    print(f"{what}: wine reg {wine:.1f} ms, vidazoz reg {ours:.2f} ms, {ratio:.0f}x (target >= {target}): {verdict}")
row("query, no wineserver", wq, oq, 100)
row("add, no wineserver", wa, oa, 100)
row("query, warm wineserver", wqw, oqw, 5)
row("add, warm wineserver", waw, oaw, 5)
if floor > 0:
    print(f"the live helper alone on the warm server (wine vidazoz-live.exe </dev/null): {floor:.1f} ms;"
          f" only the first vidazoz reg on a live prefix pays it; the others reuse that helper through its broker")
PY
