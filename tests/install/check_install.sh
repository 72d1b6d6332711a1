#!/usr/bin/env bash
# Installs a megcxc build into a fresh prefix and builds the host program in
# consumer/ against that prefix alone, once through find_package(megcxc) and
# once through pkg-config, then runs both. Also checks what the installed tree
# holds: the umbrella header, no test-only header, the programs.
#
#   check_install.sh BUILD CONFIG WORK LIBDIR INCLUDEDIR CXX GENERATOR VERSION [PROGRAM...]
#
# WORK is emptied first; the prefix is WORK/prefix. LIBDIR and INCLUDEDIR are
# the install folders relative to the prefix. PROGRAM: the programs the build
# installs into bin/.
set -euo pipefail

build=$1 config=$2 work=$3 libdir=$4 includedir=$5 cxx=$6 generator=$7 version=$8
shift 8
here=$(cd "$(dirname "$0")" && pwd)
prefix=$work/prefix
expected="megcxc consumer: 1 dataset, magnitude 5.0"

fail() { echo "check_install: $*" >&2; exit 1; }

# The consumer's output must be exactly the expected line.
check_run() {
  local what=$1 out
  out=$("$2") || fail "$what: the consumer exited with status $?"
  [ "$out" = "$expected" ] || fail "$what: printed '$out', expected '$expected'"
  echo "$what: $out"
}

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --config "$config" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }

headers=$prefix/$includedir/megcxc
[ -f "$headers/megcxc.h" ] || fail "no $headers/megcxc.h"
[ -f "$headers/platform/carchive.h" ] || fail "the platform/ headers are missing"
[ ! -e "$headers/platform/alloc_test_hook.h" ] || fail "the test-only allocation header was installed"
if grep -rlE 'setAllocationFailure|AllocationFailureScope' "$headers"; then
  fail "an installed header declares the allocation-failure controls"
fi
for program in "$@"; do
  [ -x "$prefix/bin/$program" ] || fail "no $prefix/bin/$program"
done
if [ -x "$prefix/bin/cxc" ]; then
  "$prefix/bin/cxc" --help >/dev/null || fail "the installed cxc does not run"
fi

# find_package(megcxc) from the prefix only.
cmake -S "$here/consumer" -B "$work/cmake-build" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; fail "configuring the CMake consumer failed"; }
cmake --build "$work/cmake-build" --config Release >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; fail "building the CMake consumer failed"; }
consumer=$work/cmake-build/consumer
[ -x "$consumer" ] || consumer=$work/cmake-build/Release/consumer
check_run "find_package" "$consumer"

# pkg-config, with the compiler alone (the library is C++20).
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
export LD_LIBRARY_PATH=$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
pc_version=$(pkg-config --modversion megcxc) || fail "pkg-config does not find megcxc.pc"
[ "$pc_version" = "$version" ] || fail "megcxc.pc says version $pc_version, the project is $version"
read -r -a pc_flags <<<"$(pkg-config --cflags --libs megcxc)"
"$cxx" -std=c++20 "$here/consumer/main.cpp" -o "$work/consumer-pc" "${pc_flags[@]}" ||
  fail "compiling with: $cxx -std=c++20 main.cpp ${pc_flags[*]}"
check_run "pkg-config" "$work/consumer-pc"
