"""The example the main job runs, run small in a child process: it makes its table
quietly, writes the experiment beside it, and its fits find the injected errors."""

import os
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).parents[1]


def test_interleaved_example_finds_the_injected_errors(tmp_path):
    run = subprocess.run(
        [sys.executable, str(ROOT / "examples" / "rb_interleaved.py"), "--sizes", "1q",
         "--samples", "12", "--shots", "400", "--noise1q", "0.004", "--extra1q", "0.004",
         "--lengths1q", "1,16,48,96", "--plot", ""],
        cwd=tmp_path, capture_output=True, text=True, timeout=300,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert run.returncode == 0, run.stderr
    assert "Group size" not in run.stdout  # the module's progress lines stay off the console
    assert sorted(p.name for p in tmp_path.iterdir()) == ["rb22.dat", "rb_1q",
                                                           "readable_group22.txt"]
    assert (tmp_path / "rb_1q" / "experiment.json").is_file()
    sigmas = re.search(r"error per Clifford: .*\(([\d.]+) sigma apart\)", run.stdout)
    assert sigmas and float(sigmas[1]) < 4, run.stdout
    assert "(within the bound)" in run.stdout, run.stdout
