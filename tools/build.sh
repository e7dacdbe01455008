#!/usr/bin/env bash
# Provisions the toolchain when needed, then configures (once) and builds the
# project in build/. Prints nothing on stdout but the two variables of provision.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
vars=$("$root/tools/provision.sh")
eval "$vars"
build="$root/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DPython_EXECUTABLE="$VANTREL_PYTHON" -Dpybind11_DIR="$VANTREL_PYBIND11_DIR" >&2
fi
cmake --build "$build" -j "$(nproc)" >&2
echo "$vars"
