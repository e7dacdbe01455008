#!/usr/bin/env bash
# Builds the core with other compilers and for other hosts, and checks that they
# agree with this host's build byte for byte. Configurations (arguments choose some;
# the default is all):
#   clang   clang++ with libc++: the core and its C++ tests, which are run, and
#           with VANTREL_PYTHON and VANTREL_PYBIND11_DIR set (tools/provision.sh)
#           the module too, with its Python tests
#   mingw   the MinGW-w64 cross compiler: the core and tools/cross/driver.cc for
#           Windows; under wine, when it is installed, the driver's tables must be
#           those of this host and its answers on this host's tables the same
#   s390x   the s390x cross compiler (a big-endian host): the same checks as for
#           mingw, with the driver run under qemu-s390x
# A configuration whose tools are missing is reported as skipped (tools/provision.sh
# --cross installs them). Builds go to build-cross/<name>/, configured once. Exits
# non-zero when a configuration that could be tried failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-cross
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(clang mingw s390x)
jobs=$(nproc)

generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
have() { command -v "$1" >/dev/null; }

# build DIR SOURCE CMAKE-ARGS...: configures once, then builds; output in DIR.log.
build() {
  local dir=$1 src=$2
  shift 2
  {
    { [ -f "$dir/CMakeCache.txt" ] ||
      cmake -S "$src" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release "$@"; } &&
      cmake --build "$dir" -j "$jobs"
  } >"$dir.log" 2>&1 || { tail -n 30 "$dir.log"; return 1; }
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# This host's tables and answers, made once, the reference for the others.
reference() {
  [ -f "$work/native/answers.txt" ] && return
  build "$out/native" "$root/tools/cross" || return 1
  mkdir -p "$work/native"
  (cd "$work/native" && "$out/native/driver" generate >console.txt &&
    "$out/native/driver" query . >answers.txt)
}

# run DIR OUT RUNNER...: runs the driver under RUNNER in DIR, its output in DIR/OUT and
# what it says on stderr in DIR/errors.txt. A run that fails without a word from the
# driver itself ("driver: ...") is the runner failing (wine has been seen to, once,
# on a fresh machine): it is reported with its status and tried once more, with the
# runner's own error messages on.
run() {
  local dir=$1 out=$2 status=0
  shift 2
  (cd "$dir" && "$@" >"$out" 2>errors.txt) || status=$?
  if [ $status -ne 0 ] && ! grep -q '^driver: ' "$dir/errors.txt"; then
    echo "$1 ended with status $status and no message from the driver; once more:"
    cat "$dir/errors.txt"
    (cd "$dir" && WINEDEBUG=err+all "$@" >"$out" 2>errors.txt) && return 0
  fi
  return $status
}

# compare NAME RUNNER...: runs the driver under RUNNER, in a directory of its own.
# Windows writes its text files (listings, console) with CRLF line ends: they are
# compared without the CRs. The table files are compared as they are. The driver is
# handed the reference's directory as a relative path, which means the same to
# Windows programs under wine as to Linux ones.
compare() {
  local name=$1
  shift
  local dir=$work/$name
  reference || return 1
  mkdir -p "$dir"
  run "$dir" console.txt "$@" generate ||
    { cat "$dir/errors.txt"; echo "$name: the driver failed to generate"; return 1; }
  local f status=0
  for f in rb22.dat rb44.dat; do
    cmp "$work/native/$f" "$dir/$f" || status=1
  done
  for f in readable_group22.txt readable_group44.txt; do
    tr -d '\r' <"$dir/$f" | cmp "$work/native/$f" - || status=1
  done
  run "$dir" answers.txt "$@" query ../native ||
    { cat "$dir/errors.txt"; echo "$name: the driver failed to load this host's tables"; return 1; }
  tr -d '\r' <"$dir/answers.txt" | cmp "$work/native/answers.txt" - || status=1
  [ $status -eq 0 ] && echo "$name: tables and listings identical to this host's, same answers on its tables"
  return $status
}

run_clang() {
  have clang++ && [ -n "$(find /usr/lib/llvm-*/lib -name 'libc++.so' 2>/dev/null)" ] ||
    { echo "clang: skipped (clang++ or libc++ missing)"; return 0; }
  [ -d /usr/src/googletest ] || { echo "clang: skipped (no GoogleTest sources)"; return 0; }
  local flags="-stdlib=libc++"
  # The system's GoogleTest is built against libstdc++: build one against libc++.
  build "$out/clang-gtest" /usr/src/googletest -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
    -DCMAKE_INSTALL_PREFIX="$out/clang-gtest/prefix" || return 1
  cmake --install "$out/clang-gtest" >>"$out/clang-gtest.log" 2>&1 || return 1
  local python=(-DVANTREL_PYTHON=OFF) tests="core" dir=$out/clang
  if [[ -n ${VANTREL_PYTHON:-} && -n ${VANTREL_PYBIND11_DIR:-} ]]; then
    # libc++ linked into the module: Debian's shared libc++abi brings LLVM's unwinder,
    # which breaks exceptions thrown by other extensions (matplotlib's) built with GCC.
    python=(-DPython_EXECUTABLE="$VANTREL_PYTHON" -Dpybind11_DIR="$VANTREL_PYBIND11_DIR"
      -DCMAKE_MODULE_LINKER_FLAGS=-static-libstdc++)
    tests="core|python" dir=$out/clang-module
  fi
  build "$dir" "$root" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" \
    "${python[@]}" -DCMAKE_PREFIX_PATH="$out/clang-gtest/prefix" || return 1
  # (pip's install check is left to the main build: it builds with the default compiler)
  (cd "$dir" && ctest --output-on-failure -R "^($tests)\$" >"$dir-tests.log" 2>&1) ||
    { tail -n 40 "$dir-tests.log"; return 1; }
  echo "clang: libc++ build, tests passed: $(grep -o '[0-9]*/[0-9]* Test *#[0-9]*: [a-z]*' "$dir-tests.log" |
    sed 's/.*: //' | paste -sd ' ')"
}

run_mingw() {
  have x86_64-w64-mingw32-g++ || { echo "mingw: skipped (x86_64-w64-mingw32-g++ missing)"; return 0; }
  # Linked statically, so the program runs without the compiler's DLLs beside it.
  build "$out/mingw" "$root/tools/cross" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ -DCMAKE_EXE_LINKER_FLAGS=-static || return 1
  have wine || { echo "mingw: core and driver built for Windows; not run (wine missing)"; return 0; }
  export WINEPREFIX=$out/wine-prefix WINEDEBUG=-all
  # The prefix is made before the first run, which then does not race its set-up.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    { wineboot --init && wineserver --wait; } >"$out/wine-prefix.log" 2>&1 ||
      { tail -n 30 "$out/wine-prefix.log"; return 1; }
  fi
  compare mingw wine "$out/mingw/driver.exe"
}

run_s390x() {
  have s390x-linux-gnu-g++ || { echo "s390x: skipped (s390x-linux-gnu-g++ missing)"; return 0; }
  have qemu-s390x || { echo "s390x: skipped (qemu-s390x missing)"; return 0; }
  build "$out/s390x" "$root/tools/cross" -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=s390x \
    -DCMAKE_CXX_COMPILER=s390x-linux-gnu-g++ -DCMAKE_EXE_LINKER_FLAGS=-static || return 1
  compare s390x qemu-s390x "$out/s390x/driver"
}

status=0
for config in "${configs[@]}"; do
  case $config in
    clang | mingw | s390x) "run_$config" || { echo "$config: FAILED"; status=1; } ;;
    *) echo "unknown configuration: $config (clang, mingw or s390x)" >&2; exit 2 ;;
  esac
done
exit $status
