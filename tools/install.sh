#!/usr/bin/env bash
# Installs Vantrel with pip into the virtual environment VENV (default .venv),
# creating it when missing. Offline: the interpreter is the one tools/provision.sh
# makes available, and the environment sees its site-packages, where pip, the build
# backend (scikit-build-core), pybind11's CMake files and NumPy/SciPy for the
# example already are. This is the way to install where PyPI cannot be reached;
# `python3.14 -m venv` works with the provisioned interpreter too, but a plain
# environment has no build backend to install with.
#
# The build directory is kept for quick reinstalls, one per toolchain (compiler,
# flags, interpreter) in build-pip/; in a read-only checkout pip builds in a
# temporary directory instead.
# Usage: tools/install.sh [VENV] [extra pip arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
venv=${1:-.venv}
shift || true
eval "$("$root/tools/provision.sh")"
[[ -x $venv/bin/python ]] || "$VANTREL_PYTHON" -m venv --system-site-packages --without-pip "$venv"

cxx=$(command -v "${CXX:-c++}" || true)
key=$({
  readlink -f "$cxx" && "$cxx" --version | head -n 1
  echo "${CXXFLAGS:-}|${LDFLAGS:-}|${CMAKE_ARGS:-}|$VANTREL_PYTHON"
} 2>/dev/null | cksum | cut -d ' ' -f 1)
build_dir=()
if [[ -w $root ]]; then build_dir=(-C "build-dir=$root/build-pip/$key"); fi

PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ROOT_USER_ACTION=ignore PYTHONPATH= \
  "$venv/bin/python" -m pip install --no-build-isolation --no-index "${build_dir[@]}" "$@" "$root"
