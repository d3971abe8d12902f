#!/usr/bin/env bash
# The red check (three probes, verdict on stdout) in a new process on a fresh Wine prefix:
# wall time from exec to exit, median of N runs. Budget: 10 ms.
set -euo pipefail
build=${1:-build}
runs=${RUNS:-20}
cli=$(cd "$build" && pwd)/bench/vidazoz_check_cli
[ -x "$cli" ] || { echo "missing $cli (build first)" >&2; exit 1; }

work=$(mktemp -d /tmp/vidazoz-measure-XXXXXX)
export WINEPREFIX=$work/prefix HOME=$work WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

wineboot -i >/dev/null 2>&1
wineserver -w
echo "prefix: $(stat -c %s "$WINEPREFIX/system.reg") bytes of system.reg"

python3 - "$cli" "$runs" <<'PY'
import statistics, subprocess, sys, time
cli, runs = sys.argv[1], int(sys.argv[2])
times, verdict = [], None
for _ in range(runs):
    start = time.perf_counter()
    out = subprocess.run([cli], stdout=subprocess.PIPE, check=True).stdout
    times.append((time.perf_counter() - start) * 1000)
    verdict = out.decode().strip()
median = statistics.median(times)
print(f"verdict: {verdict}")
print(f"check, exec to verdict: median {median:.2f} ms, min {min(times):.2f} ms, max {max(times):.2f} ms ({runs} runs)")
print("within the 10 ms budget" if median <= 10 else "OVER the 10 ms budget")
PY
