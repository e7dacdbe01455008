#!/usr/bin/env bash
# What to run on every change, in a few minutes: checks the C++ sources against
# .clang-format (tools/format.sh --check; VANTREL_FORMAT_CHECK=0 skips it), then
# builds everything and runs every test, the C++ core tests and the Python tests,
# twice: in the release build, and in a build under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/).
#
# With --cross, then installs the cross compilers and emulators (tools/provision.sh
# --cross: about 300 MB of packages, ten minutes or more on a fresh machine), builds
# the core with clang and libc++, for Windows and for a big-endian host, and compares
# what those builds write and answer with this host's (tools/cross.sh; configurations
# whose tools cannot be installed here are reported as skipped).
#
# Every other argument goes to ctest in both builds (e.g. -R python).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cross=""
ctest_args=()
for arg in "$@"; do
  if [[ $arg == --cross ]]; then cross=1; else ctest_args+=("$arg"); fi
done

# First: it takes a second, and a failure here needs no build to fix.
[[ ${VANTREL_FORMAT_CHECK:-1} == 0 ]] || "$root/tools/format.sh" --check

eval "$("$root/tools/build.sh")"
(cd "$root/build" && ctest --output-on-failure "${ctest_args[@]}")

asan="$root/build-asan"
if [ ! -f "$asan/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=ON \
    -DPython_EXECUTABLE="$VANTREL_PYTHON" -Dpybind11_DIR="$VANTREL_PYBIND11_DIR" >&2
fi
cmake --build "$asan" -j "$(nproc)" >&2
(cd "$asan" && ctest --output-on-failure "${ctest_args[@]}")

[[ -n $cross ]] || exit 0
"$root/tools/provision.sh" --cross >/dev/null
VANTREL_PYTHON=$VANTREL_PYTHON VANTREL_PYBIND11_DIR=$VANTREL_PYBIND11_DIR "$root/tools/cross.sh"
