#!/usr/bin/env bash
# Installs Vantrel with pip into the virtual environment VENV (default .venv),
# creating it when missing. Offline: the interpreter is the one tools/provision.sh
# makes available, and the environment sees its site-packages, where pip, the build
# backend (scikit-build-core) and NumPy/SciPy for the example already are.
# Usage: tools/install.sh [VENV] [extra pip arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
venv=${1:-.venv}
shift || true
eval "$("$root/tools/provision.sh")"
[[ -x $venv/bin/python ]] || "$VANTREL_PYTHON" -m venv --system-site-packages --without-pip "$venv"
PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ROOT_USER_ACTION=ignore PYTHONPATH= \
  "$venv/bin/python" -m pip install --no-build-isolation --no-index \
  -C cmake.define.pybind11_DIR="$VANTREL_PYBIND11_DIR" "$@" "$root"
