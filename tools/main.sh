#!/usr/bin/env bash
# Builds the module, then in out/: generates the tables and runs standard and
# interleaved RB with vantrel_rb on a simulated device (QASM, JSON and plots there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
eval "$("$root/tools/build.sh")"
mkdir -p "$root/out"
cd "$root/out"
PYTHONPATH="$root/build:$root/python" "$VANTREL_PYTHON" "$root/examples/rb_interleaved.py" "$@"
