#!/usr/bin/env bash
# Make a CPython 3.14 (with headers, pytest, pip, scikit-build-core, NumPy, SciPy
# and matplotlib) and pybind11 >= 3 available for building and installing Vantrel
# and running its example, then print on stdout, for `eval "$(tools/provision.sh)"`:
#   VANTREL_PYTHON=...        interpreter (use as -DPython_EXECUTABLE=...)
#   VANTREL_PYBIND11_DIR=...  directory holding pybind11Config.cmake (-Dpybind11_DIR=...)
# All progress and diagnostics go to stderr.
#
# Host packages (compiler, CMake, GoogleTest) are installed with apt when missing;
# with both VANTREL_PYTHON and VANTREL_PYBIND11_DIR given, or without apt, nothing
# is installed and missing tools are only named. The interpreter and pybind11 are
# then found, or unpacked into a private prefix in ${VANTREL_CACHE:-~/.cache/vantrel},
# by tools/provision_python.sh (its header says how), which prints the two variables.
#
# Options:
#   --cross     also install what tools/cross.sh uses (clang and libc++, the
#               MinGW-w64 and s390x cross compilers, qemu-user, wine)
#   --versions  print the packages unpacked into the cache, with their versions
set -euo pipefail

python_side=$(dirname "$0")/provision_python.sh
# Host packages the build needs, and those of tools/cross.sh.
SYSTEM_PACKAGES="cmake g++ libgtest-dev"
CROSS_PACKAGES="clang libc++-dev libc++abi-dev g++-mingw-w64-x86-64 g++-s390x-linux-gnu
  qemu-user wine wine64"

log() { echo "provision: $*" >&2; }
die() { echo "provision: error: $*" >&2; exit 1; }

as_root() { if [[ $EUID -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

cross=""
for arg in "$@"; do
  case $arg in
    --cross) cross=1 ;;
    --versions) exec "$python_side" --versions ;;
    *) die "unknown option $arg (--cross, --versions)" ;;
  esac
done

# Asked first: a VANTREL_PYTHON or VANTREL_PYBIND11_DIR that cannot serve stops
# the run before anything is installed.
python_wants=$("$python_side" --host-packages)

# --- host packages: dpkg-query first, so the usual case needs no network ---
wanted="$SYSTEM_PACKAGES $python_wants"
[[ -z $cross ]] || wanted+=" $CROSS_PACKAGES"
missing=()
if [[ -n ${VANTREL_PYTHON:-} && -n ${VANTREL_PYBIND11_DIR:-} ]] || ! command -v apt-get >/dev/null; then
  # The user's own toolchain, or no apt to install with: only say what is missing.
  for t in cmake c++; do command -v "$t" >/dev/null || missing+=("$t"); done
  ((${#missing[@]} == 0)) || log "installing no packages; missing here: ${missing[*]}"
else
  for p in $wanted; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q ' installed$' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing host packages: ${missing[*]}"
    as_root apt-get update >&2 || die "apt-get update failed"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      "${missing[@]}" >&2 || die "could not install: ${missing[*]}"
  fi
fi

exec "$python_side"
