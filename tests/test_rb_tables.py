"""vantrel_rb and table files: what the package reads from a file is what the module
loaded, and making a table leaves the console and the working directory alone."""

import os

import numpy as np
import pytest
from conftest import run_capturing_stdout

import vantrel_rb as rb


@pytest.mark.parametrize("qubits", [1, 2])
def test_blocks_read_are_the_modules(rb22_path, rb44_path, qubits):
    group = rb.CliffordGroup(qubits, rb22_path if qubits == 1 else rb44_path)
    elements = group.query.get_group_elements()
    assert group.words == tuple(tuple(e.buffer[:e.size]) for e in elements)
    records = group._blocks.records
    assert records["buffer"].tolist() == [e.buffer for e in elements]
    assert records["arr"].tolist() == [e.arr for e in elements]
    assert group._blocks.inverse.tolist() == group.query.get_inverse_table()
    assert group._blocks.specials.tolist() == group.query.get_special_operations()


def test_make_table_is_quiet_and_keeps_the_listing_beside_the_table(tmp_path, monkeypatch):
    (tmp_path / "tables").mkdir()
    (tmp_path / "work").mkdir()
    monkeypatch.chdir(tmp_path / "work")
    seconds, console = run_capturing_stdout(rb.make_table, 1, "../tables/rb22.dat")
    assert console == "" and seconds > 0
    assert sorted(os.listdir(tmp_path / "tables")) == ["rb22.dat", "readable_group22.txt"]
    assert os.listdir() == [] and os.getcwd() == str(tmp_path / "work")
    assert rb.CliffordGroup(1, tmp_path / "tables" / "rb22.dat").order == 24

    def fails():
        with pytest.raises(RuntimeError, match=r"'\.\./tables': .*Cannot open file: tables"
                                               r" / Generate Failed\.$"):
            rb.make_table(1, "../tables")
    assert run_capturing_stdout(fails)[1] == ""
    assert os.listdir() == [] and os.getcwd() == str(tmp_path / "work")
