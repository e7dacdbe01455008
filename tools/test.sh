#!/usr/bin/env bash
# Builds everything and runs every test, the C++ core tests and the Python tests,
# twice: in the release build, and in a build under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/). Then builds the core with clang and
# libc++, for Windows and for a big-endian host, and compares what those builds
# write and answer with this host's (tools/cross.sh; configurations whose tools
# cannot be installed here are reported as skipped).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
eval "$("$root/tools/build.sh")"
(cd "$root/build" && ctest --output-on-failure "$@")

asan="$root/build-asan"
if [ ! -f "$asan/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=ON \
    -DPython_EXECUTABLE="$VANTREL_PYTHON" -Dpybind11_DIR="$VANTREL_PYBIND11_DIR" >&2
fi
cmake --build "$asan" -j "$(nproc)" >&2
(cd "$asan" && ctest --output-on-failure "$@")

"$root/tools/provision.sh" --cross >/dev/null
VANTREL_PYTHON=$VANTREL_PYTHON VANTREL_PYBIND11_DIR=$VANTREL_PYBIND11_DIR "$root/tools/cross.sh"
