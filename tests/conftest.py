import os

import pytest

import Vantrel


@pytest.fixture(scope="session")
def rb22_path(tmp_path_factory):
    """A one-qubit table file written once per session by generate_table22."""
    folder = tmp_path_factory.mktemp("rb22")
    cwd = os.getcwd()
    os.chdir(folder)
    try:
        assert Vantrel.generate_table22() == 0
    finally:
        os.chdir(cwd)
    return folder / "rb22.dat"


@pytest.fixture
def rb22(rb22_path):
    rb = Vantrel.RB22()
    assert rb.load_from_file(str(rb22_path)) is True
    return rb
