#!/usr/bin/env bash
# Make a CPython 3.14 (with headers, pytest, pip, scikit-build-core, NumPy, SciPy
# and matplotlib) and pybind11 >= 3 available for building and installing Vantrel
# and running its example, then print on stdout, for `eval "$(tools/provision.sh)"`:
#   VANTREL_PYTHON=...        interpreter (use as -DPython_EXECUTABLE=...)
#   VANTREL_PYBIND11_DIR=...  directory holding pybind11Config.cmake (-Dpybind11_DIR=...)
# All progress and diagnostics go to stderr.
#
# Already-present tools win: $VANTREL_PYTHON / $VANTREL_PYBIND11_DIR, or a
# suitable python3.14 on PATH / a system pybind11 >= 3; one line says why a
# python3.14 on PATH is passed over. Otherwise both are unpacked from Debian's
# testing (or unstable) suite, fetched from the same archive the system's apt uses,
# into ${VANTREL_CACHE:-~/.cache/vantrel}/py314, and the exact versions unpacked are
# recorded there. Those packages need a newer glibc than the host's, so the prefix
# carries its own libc and the interpreter is patched (patchelf) to use it. Its
# `python3.14 -m venv` works offline (ensurepip takes the prefix's pip wheel).
#
# Host packages (compiler, CMake, GoogleTest) are installed with apt when missing;
# with both VANTREL_PYTHON and VANTREL_PYBIND11_DIR given, or without apt, nothing
# is installed and missing tools are only named.
#
# Options:
#   --cross     also install what tools/cross.sh uses (clang and libc++, the
#               MinGW-w64 and s390x cross compilers, qemu-user, wine)
#   --versions  print the packages unpacked into the cache, with their versions
set -euo pipefail

CACHE=${VANTREL_CACHE:-$HOME/.cache/vantrel}
PREFIX=$CACHE/py314
APTDIR=$CACHE/apt
SUITES="testing unstable"
# Packages unpacked into the prefix; apt adds their whole dependency closure.
# pip and scikit-build-core install the module into environments, where mypy
# checks that the installed stub is found; NumPy, SciPy and matplotlib run the RB
# example. Add more in $VANTREL_EXTRA_PACKAGES.
PACKAGES="python3.14 python3.14-dev python3.14-venv pybind11-dev python3-pytest python3-pip
  python3-scikit-build-core python3-mypy python3-numpy python3-scipy python3-matplotlib
  ${VANTREL_EXTRA_PACKAGES:-}"
PACKAGES=$(echo $PACKAGES)  # one line, single spaces
# Host packages the build needs, and those of tools/cross.sh.
SYSTEM_PACKAGES="cmake g++ libgtest-dev"
CROSS_PACKAGES="clang libc++-dev libc++abi-dev g++-mingw-w64-x86-64 g++-s390x-linux-gnu
  qemu-user wine wine64"
KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
ARCH=amd64 TRIPLET=x86_64-linux-gnu

log() { echo "provision: $*" >&2; }
die() { echo "provision: error: $*" >&2; exit 1; }

as_root() { if [[ $EUID -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

cross=""
for arg in "$@"; do
  case $arg in
    --cross) cross=1 ;;
    --versions)
      cat "$PREFIX/.versions" 2>/dev/null || die "no package versions recorded in $PREFIX"
      exit 0 ;;
    *) die "unknown option $arg (--cross, --versions)" ;;
  esac
done

# --- checks for usable tools ---
python_why_not() {  # $1: interpreter. Prints why it cannot build and test Vantrel, if so.
  "$1" - 2>/dev/null <<'EOF' || echo "does not run"
import importlib.util, os, sys, sysconfig
if sys.version_info[:2] != (3, 14):
    sys.exit(print("is Python %d.%d" % sys.version_info[:2]))
if not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")):
    sys.exit(print("has no Python.h"))
missing = [m for m in ("pytest", "pip", "scikit_build_core", "numpy", "scipy")
           if importlib.util.find_spec(m) is None]
if missing:
    print("cannot import " + ", ".join(missing))
EOF
}
python_ok() { [[ -z $(python_why_not "$1") ]]; }
pybind11_ok() {  # $1: directory. Holds pybind11Config.cmake of version >= 3.
  local v
  [[ -f $1/pybind11Config.cmake ]] || return 1
  v=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$1/pybind11ConfigVersion.cmake" 2>/dev/null || true)
  [[ $v =~ ^[0-9]+ ]] && ((BASH_REMATCH[0] >= 3))
}
prefix_pybind11_dir() {
  local d
  for d in "$PREFIX"/usr/{lib,share}/cmake/pybind11; do
    [[ -f $d/pybind11Config.cmake ]] && { echo "$d"; return; }
  done
}

PY=""
if [[ -n ${VANTREL_PYTHON:-} ]]; then
  why=$(python_why_not "$VANTREL_PYTHON")
  [[ -z $why ]] ||
    die "VANTREL_PYTHON=$VANTREL_PYTHON $why (needed: 3.14 with Python.h, pytest, pip, scikit-build-core, NumPy, SciPy)"
  PY=$VANTREL_PYTHON
elif command -v python3.14 >/dev/null; then
  why=$(python_why_not "$(command -v python3.14)")
  if [[ -z $why ]]; then
    PY=$(command -v python3.14)
  else
    log "passing over $(command -v python3.14): it $why; using the one in $PREFIX"
  fi
fi

PB=""
if [[ -n ${VANTREL_PYBIND11_DIR:-} ]]; then
  pybind11_ok "$VANTREL_PYBIND11_DIR" ||
    die "VANTREL_PYBIND11_DIR=$VANTREL_PYBIND11_DIR holds no pybind11Config.cmake of version >= 3"
  PB=$VANTREL_PYBIND11_DIR
else
  for d in /usr/{lib,share}/cmake/pybind11 /usr/local/{lib,share}/cmake/pybind11; do
    pybind11_ok "$d" && { PB=$d; break; }
  done
fi

# --- host packages: dpkg-query first, so the usual case needs no network ---
wanted=$SYSTEM_PACKAGES
[[ -n $PY && -n $PB ]] || wanted+=" patchelf"
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

# --- private prefix, unpacked from the newer Debian suite ---
# The main archive URI of the host's apt: .sources stanzas or sources.list
# "deb" lines whose suite is a bare codename (bookworm, not bookworm-security).
archive_uri() {
  {
    awk 'BEGIN { RS = "" }
         /(^|\n)Types:[^\n]*deb([ \t]|\n|$)/ && !/(^|\n)Enabled: *no/ {
           uris = ""; plain = 0
           n = split($0, l, "\n")
           for (i = 1; i <= n; i++) {
             if (l[i] ~ /^URIs:/) uris = substr(l[i], 6)
             if (l[i] ~ /^Suites:/) { m = split(substr(l[i], 8), s, " ")
               for (j = 1; j <= m; j++) if (s[j] ~ /^[a-z]+$/) plain = 1 }
           }
           if (plain) { m = split(uris, u, " "); for (j = 1; j <= m; j++) print u[j] }
         }' /etc/apt/sources.list.d/*.sources 2>/dev/null
    sed -En 's/^deb[ \t]+(\[[^]]*\][ \t]+)?([^ \t]+)[ \t]+([a-z]+)[ \t].*/\2/p' \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null
  } | grep -E '^(https?|file):' | head -n1 || true
}

provision() {
  local uri suite v p src debs=() closure
  uri=${VANTREL_DEBIAN_URI:-$(archive_uri)}
  [[ -n $uri ]] || die "no Debian archive found in /etc/apt/sources.list{,.d/*} (set VANTREL_DEBIAN_URI)"
  [[ -f $KEYRING ]] || die "missing $KEYRING (package debian-archive-keyring)"

  # Own sources list, state and cache so the host's apt is left untouched;
  # the host's apt.conf.d still applies (proxies etc.). Empty dpkg status:
  # the resolver then lists every package the prefix needs, libc included.
  mkdir -p "$APTDIR"/{state/lists/partial,cache/archives/partial,debs}
  : >"$APTDIR/state/status"
  local o=(-q
    -o Dir::Etc::SourceList="$APTDIR/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::Etc::Preferences=/dev/null -o Dir::Etc::PreferencesParts=/dev/null
    -o Dir::State="$APTDIR/state" -o Dir::State::status="$APTDIR/state/status"
    -o Dir::Cache="$APTDIR/cache" -o APT::Sandbox::User=root)

  local found=""
  for suite in $SUITES; do
    log "looking for python3.14 and pybind11-dev >= 3 in suite '$suite'"
    echo "deb [arch=$ARCH signed-by=$KEYRING] $uri $suite main" >"$APTDIR/sources.list"
    apt-get "${o[@]}" --error-on=any update >&2 || { log "apt-get update for '$suite' failed"; continue; }
    v=$(apt-cache "${o[@]}" show --no-all-versions pybind11-dev 2>/dev/null | sed -n 's/^Version: //p' || true)
    if [[ -n $v ]] && dpkg --compare-versions "$v" ge 3 &&
       apt-cache "${o[@]}" show python3.14 >/dev/null 2>&1; then
      found=$suite; break
    fi
    log "suite '$suite' lacks them (pybind11-dev: ${v:-none})"
  done
  [[ -n $found ]] || die "no python3.14 + pybind11-dev >= 3 found in suites '$SUITES' of $uri"

  # Dependency closure of $PACKAGES, minus C headers/tools of other libraries:
  # pybind11's include dir is <prefix>/usr/include, so e.g. glibc's or zlib's
  # headers there would shadow the host's when compiling.
  # shellcheck disable=SC2086  # $PACKAGES is a word list
  closure=$(apt-get "${o[@]}" -s install --no-install-recommends $PACKAGES |
            awk '$1 == "Inst" { print $2 }') || die "cannot resolve: $PACKAGES"
  for p in $closure; do
    if [[ " $PACKAGES " != *" $p "* && ! $p =~ ^(lib)?python3|^pybind11 &&
          $p =~ -dev$|-dev-bin$ ]]; then continue; fi
    debs+=("$p")
  done
  log "downloading ${#debs[@]} packages from '$found': ${debs[*]}"
  rm -f "$APTDIR"/debs/*.deb
  (cd "$APTDIR/debs" && apt-get "${o[@]}" download "${debs[@]}" >&2) || die "apt-get download failed"

  # Unpack to a scratch dir; paths patched in are those of the final $PREFIX.
  local new=$PREFIX.new
  rm -rf "$new"
  mkdir -p "$new"
  echo "# Debian suite '$found'" >"$new/.versions"
  for src in "$APTDIR"/debs/*.deb; do
    dpkg-deb -x "$src" "$new"
    dpkg-deb --show --showformat='${Package} ${Version}\n' "$src"
  done | sort >>"$new/.versions"
  local ld
  for ld in usr/lib64 lib64 usr/lib/$TRIPLET lib/$TRIPLET; do
    [[ -e $new/$ld/ld-linux-x86-64.so.2 ]] && break
  done
  [[ -e $new/$ld/ld-linux-x86-64.so.2 ]] || die "no ld-linux-x86-64.so.2 in the unpacked libc6"
  # DT_RPATH (not RUNPATH) of the executable also applies to the libraries
  # that extension modules pull in, so lib-dynload finds the prefix's libssl etc.
  patchelf --set-interpreter "$PREFIX/$ld/ld-linux-x86-64.so.2" \
    --force-rpath --set-rpath "$PREFIX/usr/lib/$TRIPLET:$PREFIX/lib/$TRIPLET" \
    "$new/usr/bin/python3.14"
  # Debian's python3.14/pyconfig.h only includes <$TRIPLET/python3.14/pyconfig.h>,
  # which needs <prefix>/usr/include on the include path: use the real one.
  cp -f "$new/usr/include/$TRIPLET/python3.14/pyconfig.h" "$new/usr/include/python3.14/pyconfig.h"
  # Absolute symbolic links (matplotlib's fonts, for one) name host paths: point
  # them into the prefix where the prefix has the target.
  local link target
  while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    [[ $target == /* && -e $new$target ]] && ln -sfn "$PREFIX$target" "$link"
  done < <(find "$new" -type l -print0)
  # Debian's matplotlib names its data and configuration by absolute paths.
  local mpl=$new/usr/lib/python3/dist-packages/matplotlib/__init__.py
  [[ -f $mpl ]] && sed -i -e "s|'/usr/share/matplotlib/mpl-data'|'$PREFIX/usr/share/matplotlib/mpl-data'|" \
    -e "s|'/etc/matplotlibrc'|'$PREFIX/etc/matplotlibrc'|" "$mpl"
  # ensurepip, and so venv, takes pip's wheel from the directory the build names.
  sed -i "s|'WHEEL_PKG_DIR': '/usr/share/python-wheels/'|'WHEEL_PKG_DIR': '$PREFIX/usr/share/python-wheels/'|" \
    "$new"/usr/lib/python3.14/_sysconfigdata_*.py
  mkdir -p "$new/bin"
  ln -s ../usr/bin/python3.14 "$new/bin/python3.14"
  # Renamed before it is removed: a build still running from the old prefix finds
  # the new one, of the same files, at the same paths.
  rm -rf "$PREFIX.old"
  [[ ! -e $PREFIX ]] || mv "$PREFIX" "$PREFIX.old"
  mv "$new" "$PREFIX"
  rm -rf "$PREFIX.old"
  rm -f "$APTDIR"/debs/*.deb
}

STAMP=$PREFIX/.provisioned
if [[ -z $PY || -z $PB ]]; then
  mkdir -p "$CACHE"
  exec 9>"$CACHE/.lock"
  flock 9  # another run may be provisioning the same cache
  # The stamp records the package list: asking for a package not in it re-provisions.
  stamped=" $(cat "$STAMP" 2>/dev/null || true) " covered=1
  for p in $PACKAGES; do [[ $stamped == *" $p "* ]] || covered=""; done
  if [[ -z $covered ]] || ! python_ok "$PREFIX/usr/bin/python3.14" || [[ -z $(prefix_pybind11_dir) ]]; then
    rm -f "$STAMP"
    provision
    python_ok "$PREFIX/usr/bin/python3.14" ||
      die "provisioned $PREFIX/usr/bin/python3.14 lacks Python.h or a Python package (or does not run)"
    # It must not see the host's (3.11) dist-packages, nor report host paths
    # (-I: ignore PYTHONPATH & co. of the caller for this check).
    "$PREFIX/usr/bin/python3.14" -I - "$PREFIX" <<'EOF' || die "provisioned python3.14 is not self-contained"
import sys, sysconfig, ssl, sqlite3, ctypes, lzma, bz2, zlib, readline, decimal, uuid, pyexpat
import ensurepip, matplotlib.pyplot
prefix = sys.argv[1]
assert ensurepip.version(), "ensurepip finds no pip wheel"
assert sys.prefix.startswith(prefix), sys.prefix
assert all(p.startswith(prefix) for p in sys.path), sys.path
assert sysconfig.get_paths()["include"].startswith(prefix), sysconfig.get_paths()
EOF
    echo "$PACKAGES" >"$STAMP"
    log "provisioned $PREFIX: $(grep -vc '^#' "$PREFIX/.versions") packages (tools/provision.sh --versions)"
  fi
  [[ -n $PY ]] || PY=$PREFIX/usr/bin/python3.14
  [[ -n $PB ]] || PB=$(prefix_pybind11_dir)
fi

printf 'VANTREL_PYTHON=%q\n' "$PY"
printf 'VANTREL_PYBIND11_DIR=%q\n' "$PB"
