#!/usr/bin/env bash
# Runs the C++ tests under valgrind's memcheck and fails on any error or leak.
# Extra arguments go to the test binary, e.g. --gtest_filter=-GenerateTable44*
# to leave out the two-qubit generation, which takes minutes under valgrind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh" >/dev/null
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
exec valgrind --error-exitcode=3 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  "$root/build/vantrel_tests" "$@"
