import os
import pathlib

import pytest

import Vantrel
from conftest import generate_in


class FsPath:
    """An os.PathLike that is not a pathlib path, giving str or bytes."""

    def __init__(self, value):
        self.value = value

    def __fspath__(self):
        return self.value


PATH_FORMS = {
    "str": str,
    "bytes": os.fsencode,
    "pathlib": pathlib.Path,
    "pathlike-str": lambda p: FsPath(str(p)),
    "pathlike-bytes": lambda p: FsPath(os.fsencode(p)),
}


@pytest.mark.parametrize("form", PATH_FORMS)
def test_every_path_form_generates_and_loads(form, tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)  # where the listing goes
    path = PATH_FORMS[form](tmp_path / "table-é.dat")
    assert generate_in(tmp_path, lambda: Vantrel.generate_table22(path))[0] == 0
    assert Vantrel.generate_table22(path=path) == 0
    assert (tmp_path / "table-é.dat").stat().st_size == 4348
    assert Vantrel.RB22().load_from_file(path) is True
    capfd.readouterr()


def test_two_qubit_paths_take_pathlike(rb44_path, tmp_path, monkeypatch, capfd):
    assert Vantrel.RB44().load_from_file(FsPath(os.fsencode(rb44_path))) is True
    monkeypatch.chdir(tmp_path)
    assert Vantrel.generate_table44(pathlib.Path(os.devnull)) == 0
    assert (tmp_path / "readable_group44.txt").exists()
    capfd.readouterr()


@pytest.mark.parametrize("bad", [7, 2.5, None, ["rb22.dat"], FsPath(7), FsPath(None)],
                         ids=["int", "float", "None", "list", "fspath-int", "fspath-None"])
def test_other_types_are_refused(bad, tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    for call in (Vantrel.generate_table22, Vantrel.generate_table44,
                 Vantrel.RB22().load_from_file, Vantrel.RB44().load_from_file):
        with pytest.raises(TypeError):
            call(bad)
    assert capfd.readouterr().out == "" and not any(tmp_path.iterdir())


def test_errors_of_fspath_and_nul_reach_the_caller(tmp_path, monkeypatch, capfd):
    class Broken:
        def __fspath__(self):
            raise ZeroDivisionError("no path here")

    monkeypatch.chdir(tmp_path)
    with pytest.raises(ZeroDivisionError, match="no path here"):
        Vantrel.generate_table22(Broken())
    with pytest.raises(ZeroDivisionError):
        Vantrel.RB44().load_from_file(Broken())
    for nul in (FsPath("rb\0.dat"), FsPath(b"rb\0.dat")):
        with pytest.raises(ValueError, match="NUL"):
            Vantrel.generate_table22(nul)
        with pytest.raises(ValueError, match="NUL"):
            Vantrel.RB22().load_from_file(nul)
    assert capfd.readouterr().out == "" and not any(tmp_path.iterdir())
