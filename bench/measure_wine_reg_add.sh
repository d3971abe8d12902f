#!/usr/bin/env bash
# Our file-type association beside Wine's own tool, in the same run: the 22 rows that
# BM_CreateEXEAssociation_BootedPrefix writes, each by `wine reg add` on a warm wineserver, on a
# copy of the same booted prefix. Target: ours at least 40 times faster.
set -euo pipefail
build=${1:-build}
bench=$(cd "$build" && pwd)/bench/cregistry_bench
[ -x "$bench" ] || { echo "missing $bench (build first)" >&2; exit 1; }
template=${VIDAZOZ_TEST_CACHE:-$(cd "$build" && pwd)/test-cache}/wine-template
if [ ! -f "$template/system.reg" ]; then
  echo "skipped: no booted prefix at $template yet (make test makes it)"
  exit 0
fi

work=$(mktemp -d /tmp/vidazoz-regadd-XXXXXX)
export WINEPREFIX=$work/prefix HOME=$work WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

cp -a "$template" "$WINEPREFIX"
wineserver -p  # stays up between the commands, as for a user who has Wine running
wine reg add 'HKCU\Software\VidazozWarmUp' /f >/dev/null 2>&1  # the first start loads the libraries

program='"C:\Program Files\Vidazoz\viewer.exe"'
rows=(
  '.vzd|Vidazoz.Doc'
  'Vidazoz.Doc|Vidazoz document'
  'Vidazoz.Doc\shell\open|&Open'
  "Vidazoz.Doc\\shell\\open\\command|$program \"%1\""
  'Vidazoz.Doc\shell\print|&Print'
  "Vidazoz.Doc\\shell\\print\\command|$program /p \"%1\""
  'Vidazoz.Doc\shell\add|&Install vzd'
  "Vidazoz.Doc\\shell\\add\\command|$program /a \"%1\""
  'Vidazoz.Doc\shell\new|&New'
  "Vidazoz.Doc\\shell\\new\\command|$program /n \"%1\""
  "Vidazoz.Doc\\DefaultIcon|$program,0"
)
start=$(date +%s%N)
for row in "${rows[@]}"; do
  for root in 'HKCR' 'HKLM\SOFTWARE\Classes'; do
    wine reg add "$root\\${row%%|*}" /ve /d "${row#*|}" /f >/dev/null 2>&1
  done
done
wine_ms=$(( ($(date +%s%N) - start) / 1000000 ))
wine reg query 'HKCR\Vidazoz.Doc\DefaultIcon' /ve 2>/dev/null | grep -q 'viewer.exe",0' ||
  { echo "wine reg add did not write the rows" >&2; exit 1; }

ours=$("$bench" --benchmark_filter='BM_CreateEXEAssociation_BootedPrefix' --benchmark_min_time=1 \
  --benchmark_format=csv 2>/dev/null | grep '^"BM_CreateEXEAssociation_BootedPrefix')
python3 - "$wine_ms" "$ours" <<'PY'
import sys
wine_ms = float(sys.argv[1])
fields = sys.argv[2].split(",")
real_ms, cpu_ms = float(fields[2]), float(fields[3])
ratio = wine_ms / real_ms
print(f"22 wine reg add on a warm wineserver: {wine_ms:.0f} ms")
print(f"CreateEXEAssociation, 22 durable writes: {real_ms:.1f} ms real, {cpu_ms:.1f} ms CPU "
      f"({cpu_ms / 22:.2f} ms CPU a write)")
print(f"ours is {ratio:.1f}x faster (target >= 40): {'ok' if ratio >= 40 else 'UNDER the target'}")
PY
