"""The RB example, run small: the simulated device plays the module's gate lists, and
the fitted error per Clifford must find the injected one."""

import importlib.util
import pathlib
import sys

import numpy as np
import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1] / "examples"))
import rb_example  # noqa: E402


@pytest.fixture(params=["1q", "2q"])
def sized(request, rb22, rb44):
    return rb_example.SIZES[request.param], {"1q": rb22, "2q": rb44}[request.param]


def test_noiseless_sequences_survive_exactly(sized):
    size, rb = sized
    rb_example.check_gates(rb, size.gates)
    rng = np.random.default_rng(5)
    for m in (1, 2, 7, 40):
        full, recovery = rb.get_full_sequence_and_inverse_sequence(
            rng.integers(rb.N, size=m).tolist())
        assert rb_example.survival(size.gates, full + recovery, 0.0) == pytest.approx(1, abs=1e-12)


@pytest.mark.parametrize("seed", [1, 2])
def test_fit_finds_the_injected_error(sized, seed):
    size, rb = sized
    lengths = [1, 4, 12, 24, 48, 96] if size.dimension == 2 else [1, 4, 8, 16, 32, 64]
    result = rb_example.run_rb(rb, size, lengths, sequences=20, shots=300, noise=0.01,
                               rng=np.random.default_rng(seed))
    assert result.epc_error < 0.2 * result.injected  # a fit precise enough to mean something
    assert abs(result.epc - result.injected) < 3 * result.epc_error


def test_script_prints_its_result(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    rb_example.main(["--sizes", "1q", "--sequences", "8", "--shots", "200", "--noise1q", "0.01",
                     "--lengths1q", "1,8,32,64", "--plot", "decay.png"])
    out = capfd.readouterr().out
    assert "rb22_checker: True" in out and "fit A*p^m + B: A = " in out
    assert "error per Clifford: fitted " in out and "injected " in out
    assert (tmp_path / "rb22.dat").stat().st_size == 4348
    if importlib.util.find_spec("matplotlib"):
        assert (tmp_path / "decay.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
