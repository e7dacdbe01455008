"""vantrel_rb's files: written whole or not at all, never over others unasked."""

import re
import resource
import signal
import subprocess
import sys

import pytest

import vantrel_rb as rb


def contents(folder):
    return {str(p.relative_to(folder)): p.is_file() and p.read_bytes() for p in folder.rglob("*")}


@pytest.fixture
def written(rb22_path, tmp_path):
    group = rb.CliffordGroup(1, rb22_path)
    rb.write_experiment(rb.standard_rb(group, [1, 4, 8], 2, seed=1), tmp_path / "out")
    (tmp_path / "afile").write_text("mine")
    return tmp_path, group


def test_experiments_are_replaced_only_when_asked_and_whole(written, monkeypatch):
    folder, group = written
    before, second = contents(folder), rb.standard_rb(group, [2, 5], 2, seed=2)
    with pytest.raises(FileExistsError, match="replace=True replaces it"):
        rb.write_experiment(second, folder / "out")
    failing = iter([rb.export._write_file, rb.export._write_file, None])  # the third fails
    monkeypatch.setattr(rb.export, "_write_file", lambda *a: next(failing)(*a))
    with pytest.raises(TypeError):
        rb.write_experiment(second, folder / "out", replace=True)
    assert contents(folder) == before
    monkeypatch.undo()
    rb.write_experiment(second, folder / "out", replace=True)
    assert contents(folder / "out") == contents(rb.write_experiment(second, folder / "new").parent)


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (300, 300))


@pytest.mark.parametrize("arguments, message", [
    (["--out", "{}/afile"], "cannot write into .*afile: not a folder"),
    (["--out", "/dev/null"], "cannot write into /dev/null: not a folder"),
    (["--out", "/dev/null/sub"], "cannot write into /dev/null/sub: Not a directory"),
    (["--out", "{}/out"], r"out/experiment.json is already there: --replace replaces"),
    (["--out", "{}/out", "--replace", "--lengths", "1,30"], "cannot write into .*: File too large"),
    (["--out", "{}/new", "--interleave", ""], "--interleave needs a gate name"),
    (["--out", "{}/new", "--lengths", "100000000"], "lengths must be 1 to 100000, got"),
])
def test_command_line_refuses_with_one_line(written, arguments, message):
    folder, group = written
    before = contents(folder)
    run = subprocess.run([sys.executable, "-m", "vantrel_rb", "--qubits", "1", "--table",
                          group.path, "--samples", "2", "--lengths", "1,4",
                          *(a.format(folder) for a in arguments)], capture_output=True,
                         text=True, preexec_fn=limit_file_size)
    assert run.returncode == 1 and run.stdout == "", run.stderr
    assert run.stderr.count("\n") == 1 and re.search(message, run.stderr)
    assert contents(folder) == before
