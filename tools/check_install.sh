#!/usr/bin/env bash
# Installs Vantrel the ways a user and a packager do, offline, into new virtual
# environments whose build backend (scikit-build-core), pip and the rest come from
# the interpreter's own site-packages (--system-site-packages):
#   - pip install --no-build-isolation (tools/install.sh) into VENV;
#   - cmake --install into VENV-cmake, with the core library and its CMake package
#     under VENV.prefix, which a project of its own then finds (tools/cross, built
#     with find_package(Vantrel)).
# Then, from outside the source tree, checks for both that the installed module is
# the one imported, that it generates, loads and checks a table, and that the
# package vantrel_rb beside it, marked typed (py.typed), draws an experiment; and
# for pip's install that the stub describes the module and is what a type checker
# (mypy) sees.
# Usage: check_install.sh PYTHON PYBIND11_DIR VENV
set -euo pipefail
python=$1 pybind11_dir=$2 venv=$3
root=$(cd "$(dirname "$0")/.." && pwd)

rm -rf "$venv"
log=$venv.log
VANTREL_PYTHON=$python VANTREL_PYBIND11_DIR=$pybind11_dir "$root/tools/install.sh" "$venv" \
  >"$log" 2>&1 || { cat "$log"; exit 1; }
tail -n 3 "$log"
export PYTHONPATH=

cmake_venv=$venv-cmake build=$venv.build prefix=$venv.prefix consumer=$venv.consumer
rm -rf "$cmake_venv" "$build" "$prefix" "$consumer"
"$python" -m venv --system-site-packages --without-pip "$cmake_venv"
log=$venv-cmake.log
{
  cmake -S "$root" -B "$build" -DVANTREL_TESTS=OFF -DPython_EXECUTABLE="$cmake_venv/bin/python" &&
    cmake --build "$build" -j "$(nproc)" &&
    cmake --install "$build" --prefix "$prefix" &&
    cmake -S "$root/tools/cross" -B "$consumer" -DVANTREL_FROM_PACKAGE=ON -DCMAKE_PREFIX_PATH="$prefix" &&
    cmake --build "$consumer"
} >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
echo "cmake --install: the core and its CMake package in $prefix, the module in $cmake_venv"
# The program built against the installed package runs (and shows its usage).
rc=0
"$consumer/driver" 2>"$consumer/usage.txt" || rc=$?
[[ $rc -eq 2 ]] && grep -q '^usage: driver' "$consumer/usage.txt" || { cat "$consumer/usage.txt"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for env in "$cmake_venv" "$venv"; do
"$env/bin/python" - "$env" >smoke.log <<'PY' || { cat smoke.log; exit 1; }
import pathlib, sys, sysconfig
import Vantrel

site = pathlib.Path(sysconfig.get_paths()["platlib"])
assert site.is_relative_to(sys.argv[1]), site
assert pathlib.Path(Vantrel.__file__).parent == site, Vantrel.__file__
for stub in ("Vantrel.pyi", "Vantrel-stubs/__init__.pyi"):
    assert (site / stub).read_text() == pathlib.Path(Vantrel.__file__).with_name("Vantrel.pyi").read_text()
assert Vantrel.generate_table22(pathlib.Path("rb22.dat")) == 0
rb = Vantrel.RB22()
assert rb.load_from_file(pathlib.Path("rb22.dat"))
full, recovery = rb.get_full_sequence_and_inverse_sequence([5, 17, 23, 0])
assert Vantrel.rb22_checker(full, recovery)
import vantrel_rb
assert pathlib.Path(vantrel_rb.__file__).parent == site / "vantrel_rb", vantrel_rb.__file__
assert (site / "vantrel_rb" / "py.typed").is_file(), "vantrel_rb is installed without py.typed"
assert vantrel_rb.standard_rb(vantrel_rb.CliffordGroup(1, "rb22.dat"), [1, 8], 2, seed=1)
print("installed:", Vantrel.__file__)
PY
tail -n 1 smoke.log
done
# One version, written in pyproject.toml, as pip's metadata and CMake's package say it.
"$venv/bin/python" - "$root/pyproject.toml" "$prefix"/*/cmake/Vantrel/VantrelConfigVersion.cmake <<'PY'
import importlib.metadata, sys, tomllib
version = tomllib.load(open(sys.argv[1], "rb"))["project"]["version"]
assert importlib.metadata.version("vantrel") == version, importlib.metadata.version("vantrel")
assert f'set(PACKAGE_VERSION "{version}")' in open(sys.argv[2]).read(), sys.argv[2]
print("version", version, "in pip's metadata and the CMake package")
PY
"$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/test_stub.py"

if "$venv/bin/python" -c "import mypy" 2>/dev/null; then
  cat >typed.py <<'PY'
import pathlib
import Vantrel
import vantrel_rb

rb = Vantrel.RB44()
rb.load_from_file(pathlib.Path("rb44.dat"))
full, recovery = rb.get_full_sequence_and_inverse_sequence(range(10))
matrix: list[complex] = rb.get_matrix(Vantrel.Generator_X)
ok: bool = Vantrel.rb44_checker(full, recovery)
gates: tuple[vantrel_rb.Gate, ...] = vantrel_rb.catalogue(2)
PY
  cat >misused.py <<'PY'
import Vantrel
import vantrel_rb

Vantrel.RB22().get_inverse(index=1.5)
vantrel_rb.catalogue("2")
PY
  "$venv/bin/python" -m mypy --strict --no-incremental typed.py
  if "$venv/bin/python" -m mypy --no-incremental misused.py >mypy.log; then
    echo "mypy accepted a misuse of the stub's signatures"; exit 1
  fi
  grep -q 'Unexpected keyword argument "index"' mypy.log || { cat mypy.log; exit 1; }
  # py.typed: mypy reads the installed package's own annotations.
  grep -q 'Argument 1 to "catalogue" has incompatible type "str"' mypy.log || { cat mypy.log; exit 1; }
else
  echo "mypy is not available: the type checker's view was not checked"
fi
