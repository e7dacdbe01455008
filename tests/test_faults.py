"""Generation runs meeting files that cannot be written: each is reported, never
"Generate End" over a damaged file, and the process stays usable."""

import os
import subprocess

import pytest

import Vantrel

SIDES = {
    "22": (Vantrel.generate_table22, Vantrel.RB22, 4348, "readable_group22.txt", "4k"),
    "44": (Vantrel.generate_table44, Vantrel.RB44, 534574088, "readable_group44.txt", "64m"),
}


@pytest.fixture
def small_tmpfs(tmp_path, request):
    """A tmpfs too small for the table file, or a skip where none can be mounted."""
    size = SIDES[request.param][4]
    mount = tmp_path / "small"
    mount.mkdir()
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(mount)],
                          capture_output=True)
    if done.returncode != 0:
        pytest.skip(f"cannot mount a tmpfs here: {done.stderr.decode().strip()}")
    yield mount
    subprocess.run(["umount", str(mount)], check=True)


def still_usable(side):
    rb = SIDES[side][1]()
    assert rb.get_special_operations_str()
    assert Vantrel.rb22_checker([1], [1]) and Vantrel.rb44_checker([13], [13])


@pytest.mark.parametrize("side", ["44"])
@pytest.mark.parametrize("target,line", [
    ("{tmp}", "Cannot open file: {path}"),
    pytest.param("/dev/full", "Cannot write file: {path}", marks=pytest.mark.skipif(
        not os.path.exists("/dev/full"), reason="no /dev/full on this system")),
])
def test_table_path_refused(side, target, line, tmp_path, monkeypatch, capfd):
    generate, _, _, listing, _ = SIDES[side]
    monkeypatch.chdir(tmp_path)
    path = target.format(tmp=tmp_path)
    assert generate(path) == -1
    assert capfd.readouterr().out.endswith(line.format(path=path) + "\nGenerate Failed.\n")
    assert not (tmp_path / listing).exists()
    still_usable(side)


@pytest.mark.parametrize("small_tmpfs,side", [("22", "22"), ("44", "44")],
                         indirect=["small_tmpfs"])
def test_space_runs_out_part_way(small_tmpfs, side, tmp_path, monkeypatch, capfd):
    generate, query, size, listing, _ = SIDES[side]
    monkeypatch.chdir(tmp_path)
    path = str(small_tmpfs / "table.dat")
    assert generate(path) == -1
    out = capfd.readouterr().out
    assert out.endswith(f"Cannot write file: {path}\nGenerate Failed.\n")
    assert "Generate End" not in out and not (tmp_path / listing).exists()
    assert not any(small_tmpfs.iterdir())  # no partial file, no temporary one
    still_usable(side)


@pytest.mark.parametrize("side", ["44"])
def test_dangling_link_and_unwritable_listing(side, tmp_path, monkeypatch, capfd):
    generate = SIDES[side][0]
    gone = tmp_path / "gone"
    gone.mkdir()
    monkeypatch.chdir(gone)
    gone.rmdir()  # no new files here, even for root
    link = tmp_path / "link.dat"
    link.symlink_to(tmp_path / "target.dat")
    assert generate(str(link)) == -1
    assert capfd.readouterr().out.endswith("File not found.\nGenerate Failed.\n")
    assert os.listdir(tmp_path) == ["link.dat"]  # nothing put in place, nothing left
