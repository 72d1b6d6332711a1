#!/usr/bin/env bash
# Starts cxc-manager on its demo collection under a virtual X server and saves
# a PNG of the host window (with the pair matrix, the time-frequency image and
# the statistics plot) and the manager window beside it.
#
#   tools/screenshot.sh [OUTPUT.png]        (default: out/cxc-manager.png)
#
# Environment: BUILD_DIR (default: build) is configured with the GUI and
# cxc-manager is built there when missing. Installs xvfb and xauth when they
# are not present (sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-out/cxc-manager.png}"
build_dir="${BUILD_DIR:-build}"

if ! command -v xvfb-run >/dev/null 2>&1 || ! command -v xauth >/dev/null 2>&1; then
  echo "screenshot: installing xvfb and xauth"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends xvfb xauth
fi

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DMEGCXC_BUILD_UI=ON >/dev/null
fi
cmake --build "$build_dir" --target cxc-manager -j 2

app="$build_dir/ui/cxc-manager"
if [ ! -x "$app" ]; then
  echo "screenshot: $app was not built (is qt6-base-dev installed?)" >&2
  exit 1
fi

mkdir -p "$(dirname "$out")"
rm -f "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 2100x1000x24" "$app" --screenshot "$out"
if [ ! -s "$out" ]; then
  echo "screenshot: no picture was written" >&2
  exit 1
fi
echo "screenshot: wrote $out"
