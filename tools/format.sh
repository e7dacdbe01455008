#!/usr/bin/env bash
# Formats the tracked C++ sources (*.h, *.cc) in place with clang-format and the
# checked-in .clang-format. With --check, changes nothing: prints where each file
# first differs and exits non-zero when any does; where clang-format is missing,
# says so in one line on stderr and exits 0, so tools/test.sh runs without it.
# Another clang-format version may format some constructs differently.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

check=""
case ${1:-} in
  --check) check=1 ;;
  "") ;;
  *) echo "format: unknown option $1 (--check)" >&2; exit 2 ;;
esac

if ! command -v clang-format >/dev/null; then
  [[ -n $check ]] || { echo "format: clang-format is not installed" >&2; exit 1; }
  echo "format: clang-format is not installed; formatting not checked" >&2
  exit 0
fi

# -r: with no file, clang-format would wait for standard input.
if [[ -n $check ]]; then
  git -C "$root" ls-files -z -- '*.h' '*.cc' |
    (cd "$root" && xargs -0 -r clang-format --dry-run --Werror) ||
    { echo "format: C++ sources differ from .clang-format (tools/format.sh fixes them)" >&2; exit 1; }
else
  git -C "$root" ls-files -z -- '*.h' '*.cc' | (cd "$root" && xargs -0 -r clang-format -i)
fi
