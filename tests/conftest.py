import os
import tempfile

import pytest

import Vantrel


def generate_in(folder, generate):
    """Runs a generation with folder as the working directory, its console captured:
    returns (result, console text)."""
    cwd = os.getcwd()
    os.chdir(folder)
    try:
        return run_capturing_stdout(generate)
    finally:
        os.chdir(cwd)


@pytest.fixture(scope="session")
def rb22_path(tmp_path_factory):
    """A one-qubit table file written once per session by generate_table22."""
    folder = tmp_path_factory.mktemp("rb22")
    assert generate_in(folder, Vantrel.generate_table22)[0] == 0
    return folder / "rb22.dat"


@pytest.fixture
def rb22(rb22_path):
    rb = Vantrel.RB22()
    assert rb.load_from_file(str(rb22_path)) is True
    return rb


def run_capturing_stdout(fn, *args):
    """Calls fn with the process's native stdout redirected; returns (result, text)."""
    with tempfile.TemporaryFile(mode="w+b") as sink:
        saved = os.dup(1)
        os.dup2(sink.fileno(), 1)
        try:
            result = fn(*args)
        finally:
            os.dup2(saved, 1)
            os.close(saved)
        sink.seek(0)
        return result, sink.read().decode()


@pytest.fixture(scope="session")
def generated44(tmp_path_factory):
    """One real two-qubit run per session: (result, console text, folder)."""
    folder = tmp_path_factory.mktemp("rb44")
    return (*generate_in(folder, Vantrel.generate_table44), folder)


@pytest.fixture(scope="session")
def rb44_path(generated44):
    return generated44[2] / "rb44.dat"


@pytest.fixture(scope="session")
def rb44(rb44_path):
    rb = Vantrel.RB44()
    assert rb.load_from_file(str(rb44_path)) is True
    return rb
