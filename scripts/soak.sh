#!/usr/bin/env bash
# Soak test of megcxc (not part of CI): a sensors x sensors collection through
# the whole pipeline (initialise with progress notices, fill every pair, derive
# the magnitude, collapse the control and form the active-control dataset,
# normalise, compute all class summaries, build a report), then saved and
# loaded CYCLES times through the atomic file writer and the file reader, each
# saved file byte-identical to the one it was loaded from.
#
#   scripts/soak.sh [full|small|both]     (default: both)
#
#   full   natively, 306 x 306 sensors (SOAK_SENSORS), 16 x 8 cells per pair
#          (SOAK_TIME, SOAK_FREQ), 20 cycles (SOAK_CYCLES), under
#          /usr/bin/time -v to report the peak resident set size. About 2 GB
#          of memory for two collections and ~450 MB of files per cycle.
#   small  under valgrind --tool=memcheck (leaks and invalid accesses fail
#          the run): 12 x 12 sensors, 4 x 3 cells, 20 cycles.
#
# The driver is fuzz/soak.cpp (target megcxc_soak), built in build-fuzz-soak
# (SOAK_BUILD) as an optimised build without sanitizers. Files go to a fresh
# folder under /dev/shm when it exists (TMPDIR otherwise) and are removed
# afterwards. Exits non-zero when any run fails.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-both}
build=${SOAK_BUILD:-build-fuzz-soak}
sensors=${SOAK_SENSORS:-306}
time_pt=${SOAK_TIME:-16}
freq_pt=${SOAK_FREQ:-8}
cycles=${SOAK_CYCLES:-20}

scripts/install-deps.sh time valgrind

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEGCXC_BUILD_FUZZ=ON \
  -DMEGCXC_BUILD_TESTS=OFF -DMEGCXC_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target megcxc_soak
driver="$build/fuzz/megcxc_soak"

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/megcxc-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
if [ "$mode" = full ] || [ "$mode" = both ]; then
  echo "== full size: $sensors x $sensors sensors, $time_pt x $freq_pt cells, $cycles cycles"
  if /usr/bin/time -v -o "$work/time.txt" "$driver" "$sensors" "$time_pt" "$freq_pt" "$cycles" "$work"; then
    :
  else
    status=1
  fi
  grep -E 'Maximum resident set size|Elapsed \(wall clock\)' "$work/time.txt" || true
  rm -f "$work"/*.cxc
fi

if [ "$mode" = small ] || [ "$mode" = both ]; then
  echo "== small size under valgrind memcheck: 12 x 12 sensors, 4 x 3 cells, $cycles cycles"
  if valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
      --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=3 --quiet \
      "$driver" 12 4 3 "$cycles" "$work"; then
    echo "valgrind: no errors, no leaks"
  else
    echo "valgrind: FAILED"
    status=1
  fi
fi

exit $status
