import os

import pytest

import Vantrel

ENUMERATION = "Group size = 20\nGroup size = 24\nGroup size = 24\n"
TABLE = "Generating table: \n" + "".join(f"i = {i} finished.\n" for i in range(24))


def test_default_path_console_and_listing(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    assert Vantrel.generate_table22() == 0
    assert capfd.readouterr().out == ENUMERATION + TABLE + ENUMERATION + "Generate End\n"
    assert (tmp_path / "rb22.dat").stat().st_size == 4348
    lines = (tmp_path / "readable_group22.txt").read_text().splitlines()
    assert len(lines) == 24
    assert lines[:2] == ["    0 : [2]", "    1 : [5, 6, 5]"] and lines[23] == "   23 : [0]"
    # The listing's words are the file's words.
    rb = Vantrel.RB22()
    rb.load_from_file("rb22.dat")
    assert lines == [f"{i:5d} : {rb.get_generator(i)[:rb.get_generator_size(i)]}"
                     for i in range(24)]


def test_keyword_and_bytes_paths(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    assert Vantrel.generate_table22(path="other.dat") == 0
    assert Vantrel.generate_table22(os.fsencode(tmp_path / "bytes.dat")) == 0
    assert (tmp_path / "other.dat").read_bytes() == (tmp_path / "bytes.dat").read_bytes()
    assert not (tmp_path / "rb22.dat").exists()


@pytest.mark.parametrize("path", [5, None, ["rb22.dat"]])
def test_path_must_be_a_string(path):
    with pytest.raises(TypeError):
        Vantrel.generate_table22(path)


@pytest.mark.parametrize("target,first_line", [
    ("{tmp}/no/such/dir/rb22.dat", "Cannot open file: {path}"),
    ("{tmp}", "Cannot open file: {path}"),
    ("{tmp}/loop", "Cannot open file: {path}"),
    pytest.param("/dev/full", "Cannot write file: {path}", marks=pytest.mark.skipif(
        not os.path.exists("/dev/full"), reason="no /dev/full on this system")),
])
def test_table_file_cannot_be_written(tmp_path, monkeypatch, capfd, target, first_line):
    monkeypatch.chdir(tmp_path)
    os.symlink("loop", "loop")
    path = target.format(tmp=tmp_path)
    assert Vantrel.generate_table22(path) == -1
    out = capfd.readouterr().out
    assert out == ENUMERATION + TABLE + first_line.format(path=path) + "\nGenerate Failed.\n"
    assert os.listdir(tmp_path) == ["loop"] and os.readlink("loop") == "loop"


def test_listing_cannot_be_written(tmp_path, monkeypatch, capfd):
    gone = tmp_path / "gone"
    gone.mkdir()
    monkeypatch.chdir(gone)
    gone.rmdir()  # no new files in a removed directory, even for root
    assert Vantrel.generate_table22(str(tmp_path / "rb22.dat")) == -1
    out = capfd.readouterr().out
    assert out.endswith(TABLE + ENUMERATION + "File not found.\nGenerate Failed.\n")
    assert os.listdir(tmp_path) == []  # a failed run puts no table in place either


def test_nul_in_path_is_refused(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(ValueError, match="NUL"):
        Vantrel.generate_table22("rb22.dat\0.bak")
    assert capfd.readouterr().out == "" and os.listdir(tmp_path) == []


def test_console_lines_bypass_sys_stdout(tmp_path, monkeypatch, capfd):
    import contextlib
    import io
    monkeypatch.chdir(tmp_path)
    captured = io.StringIO()
    with contextlib.redirect_stdout(captured):
        Vantrel.generate_table22()
    assert captured.getvalue() == ""
    assert capfd.readouterr().out.endswith("Generate End\n")
