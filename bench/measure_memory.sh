#!/usr/bin/env bash
# Peak memory of loading a generated 1,000,000-key registry, against the file's size.
set -euo pipefail
build=${1:-build}
keys=${VIDAZOZ_MEMORY_KEYS:-1000000}
tool="$build/bench/reg_memory"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" generate "$work/big.reg" "$keys"
read -r bytes peak nkeys nvalues < <("$tool" load "$work/big.reg")
awk -v b="$bytes" -v p="$peak" -v k="$nkeys" -v v="$nvalues" 'BEGIN {
  printf "registry: %d keys, %d values, %.1f MB file\n", k, v, b / 1e6
  printf "peak RSS while loading: %.1f MB = %.2f x the file size (target <= 3)\n", p / 1e6, p / b
}'
