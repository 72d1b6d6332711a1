#!/usr/bin/env bash
# Builds megcxc and runs every test twice: a normal optimised build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (both also replay the
# committed fuzz corpora and run the Python package's tests, the sanitizer
# build with its runtimes preloaded into /usr/bin/python3), checks that pip installs the Python package from
# the checkout (reusing the release build's module), runs the tests of the
# library's own threads under ThreadSanitizer, then runs each libFuzzer target for a short bounded
# time. Installs missing Debian packages first. Exit status is non-zero when
# anything fails. FUZZ_SECONDS (default 20) sets the time per fuzz target; 0
# skips fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

echo "== release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEGCXC_BUILD_FUZZ=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== pip install of the Python package (module from the release build)"
if [ -f build/python/megcxc/__init__.py ]; then
  scripts/check-pip-install.sh build
else
  echo "no Python package in the build (pybind11 or python3-dev missing): skipped"
fi

echo "== AddressSanitizer + UBSan build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMEGCXC_SANITIZE=ON -DMEGCXC_BUILD_FUZZ=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build: the file pipeline and the worker-thread passes"
# Only the tests of the threads written here (platform: files read ahead and
# written behind; trial: phase, magnitude and the accumulations on workers).
# Tests are listed when they run, not after the link, and run with address
# randomisation off, which ThreadSanitizer needs on kernels with many bits of it.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEGCXC_BUILD_UI=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
cmake --build build-tsan -j "$jobs" --target megcxc_platform_tests megcxc_trial_tests
for t in platform trial; do
  TSAN_OPTIONS=halt_on_error=1 setarch "$(uname -m)" -R "build-tsan/tests/megcxc_${t}_tests" --gtest_brief=1
done

fuzz_seconds=${FUZZ_SECONDS:-20}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzz targets, ${fuzz_seconds} s each (clang, libFuzzer, ASan + UBSan)"
  fuzz/run.sh "$fuzz_seconds"
fi
