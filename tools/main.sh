#!/usr/bin/env bash
# Builds the module, then generates the tables in out/ and runs the RB example there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
eval "$("$root/tools/build.sh")"
mkdir -p "$root/out"
cd "$root/out"
PYTHONPATH="$root/build" "$VANTREL_PYTHON" "$root/examples/rb_example.py" "$@"
