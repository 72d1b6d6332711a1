#!/usr/bin/env bash
# Installs the Python package from this checkout the way python/README.md
# says (Debian's /usr/bin/python3, `pip install --no-build-isolation`, no
# index, so nothing can be downloaded) into a temporary folder, and uses the
# installed copy from another folder: import, a demo saved and loaded back,
# a step. Exit status non-zero when anything fails.
#
#   scripts/check-pip-install.sh [BUILD_DIR]
#
# With BUILD_DIR (a configured build tree of this checkout), the module is
# taken from there (setup.py's MEGCXC_BUILD_DIR), so after a normal build
# nothing is compiled again; without it setup.py builds its own tree.
set -euo pipefail
cd "$(dirname "$0")/.."
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build_dir=${1:-}
if [ -n "$build_dir" ]; then build_dir=$(cd "$build_dir" && pwd); fi
PIP_ROOT_USER_ACTION=ignore MEGCXC_BUILD_DIR="$build_dir" "$py" -m pip install --quiet --no-build-isolation --no-deps --no-index \
  --target "$work/site" .

cd "$work"
PYTHONPATH="$work/site" PYTHONDONTWRITEBYTECODE=1 "$py" - "$work/site" <<'PY'
import os
import sys

import numpy as np

import megcxc

site = sys.argv[1]
assert os.path.dirname(megcxc.__file__) == os.path.join(site, "megcxc"), megcxc.__file__
for name in ("py.typed", "_megcxc.pyi"):
    assert os.path.exists(os.path.join(site, "megcxc", name)), name
coll = megcxc.demo(sensors=6, time=3, freq=4)
coll.save("demo.cxc")
back = megcxc.load("demo.cxc")
np.testing.assert_array_equal(back.active.complex(), coll.active.complex())
back.magnitude()
assert back.active.planes["power"] == 36
print("pip install check: megcxc", megcxc.__file__)
PY
