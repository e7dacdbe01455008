import glob
import os
import shutil
import subprocess
import sys

import pytest

import Vantrel
from Vantrel import Generator22Enum


def test_registration_order_and_doc():
    names = [name for name in vars(Vantrel) if not name.startswith("__")]
    assert names == [
        "Generator22Enum", "Generator_I22", "Generator_X", "Generator_Y", "Generator_SX",
        "Generator_SY", "Generator_SXdag", "Generator_SYdag",
        "KeyValueClifford22", "RB22", "KeyValueClifford44", "RB44",
        "rb22_checker", "rb44_checker", "generate_table22", "generate_table44",
    ]
    assert Vantrel.__doc__ == "[Module Vantrel]"
    assert Vantrel.generate_table22.__doc__.endswith(
        "Generate Clifford-22 multiplication table and write to path\n")
    assert "path: os.PathLike | str | bytes = 'rb22.dat'" in Vantrel.generate_table22.__doc__


MEMBERS = ["Generator_I22", "Generator_X", "Generator_Y", "Generator_SX", "Generator_SY",
           "Generator_SXdag", "Generator_SYdag"]


@pytest.mark.parametrize("code,name", list(enumerate(MEMBERS)))
def test_enum_members(code, name):
    member = getattr(Vantrel, name)
    assert member is getattr(Generator22Enum, name)
    assert isinstance(member, Generator22Enum)
    assert (member.value, int(member), member.name, member.__index__()) == (code, code, name, code)
    assert member == code and not member != code
    assert hash(member) == hash(code)
    assert Generator22Enum(code) == member
    assert list(Generator22Enum.__members__)[code] == name


@pytest.mark.parametrize("op", ["__lt__", "__le__", "__gt__", "__ge__", "__add__", "__sub__",
                                "__and__", "__or__", "__xor__", "__neg__"])
def test_enum_has_no_ordering_or_arithmetic(op):
    x, y = Generator22Enum.Generator_X, Generator22Enum.Generator_Y
    with pytest.raises(TypeError):
        {"__lt__": lambda: x < y, "__le__": lambda: x <= y, "__gt__": lambda: x > y,
         "__ge__": lambda: x >= y, "__add__": lambda: x + y, "__sub__": lambda: x - 1,
         "__and__": lambda: x & y, "__or__": lambda: x | 1, "__xor__": lambda: x ^ y,
         "__neg__": lambda: -x}[op]()


def test_enum_doc_lists_members():
    assert Generator22Enum.__doc__.lstrip().startswith("Members:")
    assert Generator22Enum.Generator_SX != Generator22Enum.Generator_SY


def python313():
    """A CPython 3.13 on this machine, or None. (Older versions lack C functions that a
    3.14 module links, so they fail to load it before its version test can run.)"""
    pyenv = os.path.expanduser("~/.pyenv/versions")
    candidates = sorted(glob.glob(os.path.join(pyenv, "3.13*", "bin", "python3")), reverse=True)
    candidates.append(shutil.which("python3.13"))
    for path in filter(None, candidates):
        try:
            out = subprocess.run([path, "-c", "import sys; print(*sys.version_info[:2])"],
                                 capture_output=True, text=True, timeout=30)
        except OSError:
            continue
        if out.returncode == 0 and out.stdout.split() == ["3", "13"]:
            return path
    return None


def test_other_interpreter_version_is_refused(tmp_path):
    python = python313()
    if python is None:
        pytest.skip("no Python 3.13 interpreter on this machine")
    shutil.copy(Vantrel.__file__, tmp_path / "Vantrel.so")
    script = ("import sys\ntry:\n import Vantrel\nexcept ImportError as e:\n"
              " print(repr(str(e))); print(repr(sys.version))\n")
    out = subprocess.run([python, "-c", script], cwd=tmp_path, capture_output=True, text=True,
                         env={**os.environ, "PYTHONPATH": str(tmp_path)}, timeout=60)
    message, version = (eval(line) for line in out.stdout.splitlines())
    assert message == ("Python version mismatch: module was compiled for Python 3.14, but the "
                       f"interpreter version is incompatible: {version}.")


@pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="no /proc task lists here")
def test_no_thread_of_its_own(rb44_path, tmp_path):
    # The parent samples the child's task list while it works: a sampler in the child
    # would be a thread itself.
    code = ("import Vantrel\nassert Vantrel.generate_table22('rb22.dat') == 0\n"
            "Vantrel.RB22().load_from_file('rb22.dat')\n"
            f"Vantrel.RB44().load_from_file({str(rb44_path)!r})")
    child = subprocess.Popen([sys.executable, "-c", code], cwd=tmp_path, stdout=subprocess.DEVNULL,
                             env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    most = 0
    while child.poll() is None:
        most = max(most, len(os.listdir(f"/proc/{child.pid}/task")))
    assert (child.returncode, most) == (0, 1)
