#!/usr/bin/env bash
# Builds everything and runs every test: the C++ core tests and the Python tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh" >/dev/null
cd "$root/build"
ctest --output-on-failure "$@"
