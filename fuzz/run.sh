#!/usr/bin/env bash
# Builds the archive fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for SECONDS (default 60), one after
# the other.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# Targets: fuzz_cstring fuzz_carchive fuzz_pair fuzz_summary fuzz_trial
# fuzz_collection (all when none is named). Each run starts from the committed
# seeds in fuzz/corpus/<target> plus what earlier runs of this build folder
# found (build-fuzz/corpus/<target>); crashing inputs are written to
# build-fuzz/artifacts/. Exits non-zero when any target found a crash, a leak,
# a failed check, a timeout or an out-of-memory input.
#
# Environment: MEGCXC_FUZZ_BUILD (build folder, default build-fuzz),
# MEGCXC_FUZZ_ARGS (extra libFuzzer flags, e.g. "-jobs=2 -workers=2").
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_cstring fuzz_carchive fuzz_pair fuzz_summary fuzz_trial fuzz_collection)
fi
build=${MEGCXC_FUZZ_BUILD:-build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
  scripts/install-deps.sh clang libclang-rt-14-dev
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMEGCXC_BUILD_FUZZ=ON -DMEGCXC_SANITIZE=ON -DMEGCXC_BUILD_TESTS=OFF -DMEGCXC_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
mkdir -p "$build/artifacts"
failed=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/artifacts/$t.log"
  echo "== $t for ${seconds}s (log: $log)"
  # shellcheck disable=SC2086
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" ${MEGCXC_FUZZ_ARGS:-} "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$log" | tr '\n' ' '
    echo
  else
    echo "FAILED: $t (see $log)"
    tail -n 30 "$log"
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
echo "fuzz: all ${#targets[@]} target(s) ran clean for ${seconds}s each"
