#!/usr/bin/env bash
# Builds the Release benchmark programs, runs each with three repetitions and
# prints the tables of bench/README.md. Results (JSON) go to $OUT (default
# build-bench/results). Usage: bench/run_all.sh [extra benchmark flags]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build-bench}"
out="${OUT:-$build/results}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMEGCXC_BUILD_TESTS=OFF \
  -DMEGCXC_BUILD_UI=OFF -DMEGCXC_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target trial_bench passes_bench archive_bench
mkdir -p "$out"
uptime
for prog in trial_bench passes_bench archive_bench; do
  "$build/bench/$prog" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/$prog.json" --benchmark_out_format=json "$@"
done
python3 "$root/bench/tables.py" "$out"/trial_bench.json "$out"/passes_bench.json "$out"/archive_bench.json
# Peak memory of building one 306 x 306 dataset (compare with estimateDataSizeMB).
/usr/bin/time -v "$build/bench/trial_bench" --benchmark_filter='BM_Build/306' \
  --benchmark_min_time=0.01 2>&1 | grep -E 'Maximum resident|BM_Build'
