#!/usr/bin/env bash
# Installs the Debian packages megcxc needs to build and test, skipping those
# already present, or only the packages named on the command line (the fuzz
# and soak scripts ask for their tools this way). Safe to run again. Needs
# root (or sudo) only when something is missing.
#
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev
  libhdf5-dev libfftw3-dev
  python3-numpy python3-dev python3-setuptools python3-pip python3-wheel python3-pytest pybind11-dev
  python3-xarray python3-pandas python3-dask python3-distributed
  qt6-base-dev
  clang libclang-rt-14-dev
)
if [ $# -gt 0 ]; then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
