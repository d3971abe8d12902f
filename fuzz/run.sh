#!/usr/bin/env bash
# Runs every fuzz target for a while: run.sh BUILD_DIR SECONDS_EACH [libFuzzer options...].
# New inputs go to BUILD_DIR/fuzz-corpus/<target>, findings to BUILD_DIR/fuzz-findings/<target>;
# the committed seeds in fuzz/corpus/<target> are read, never written.
set -euo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
status=0
for corpus in "$here"/corpus/*/; do
  name=$(basename "$corpus")
  bin="$build/fuzz/$name"
  [ -x "$bin" ] || { echo "fuzz: $bin is not built" >&2; exit 1; }
  work="$build/fuzz-corpus/$name"
  findings="$build/fuzz-findings/$name"
  mkdir -p "$work" "$findings"
  echo "== $name: ${seconds}s"
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=32768 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$@" "$work" "$corpus" || status=1
done
exit $status
