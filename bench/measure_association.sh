#!/usr/bin/env bash
# A file-type association's 22 durable writes on a booted prefix beside 22 bare durable
# replacements of the same file (write, fsync, rename, folder fsync), their repetitions
# interleaved in one run so that both see the same disk and the same load: medians and ratio.
set -euo pipefail
build=${1:-build}
reps=${REPS:-10}
"$build/bench/cregistry_bench" \
  --benchmark_filter='^BM_(CreateEXEAssociation_BootedPrefix|BareDurableReplacement_BootedPrefix)/' \
  --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
  awk -F, -v reps="$reps" '
    $1 ~ /CreateEXEAssociation.*_median"?$/ { assoc = $3; assocCpu = $4 }
    $1 ~ /BareDurableReplacement.*_median"?$/ { bare = $3; bareCpu = $4 }
    END {
      if (assoc == "" || bare == "") { print "measure_association: the benchmark gave no medians"; exit 1 }
      printf "association (22 durable writes), median of %d: %.1f ms (CPU %.1f ms)\n", reps, assoc, assocCpu
      printf "bare durable replacement x 22, median of %d:  %.1f ms (CPU %.1f ms)\n", reps, bare, bareCpu
      printf "ratio: %.2f (target <= 1.5)\n", assoc / bare
    }'
