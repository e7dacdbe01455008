"""vantrel_rb analysis and simulation: fits find what was put in, and the examples run."""

import dataclasses
import doctest
import importlib
import subprocess
import sys

import numpy as np
import pytest

import vantrel_rb as rb

LENGTHS = np.array([1, 2, 5, 10, 20, 50, 100, 200])


@pytest.mark.parametrize("qubits, a, p, b", [(1, 0.5, 0.99, 0.5), (1, 0.45, 0.9, 0.52),
                                             (2, 0.75, 0.97, 0.25), (2, 0.7, 0.995, 0.27)])
def test_decay_fit_recovers_exact_decays(qubits, a, p, b):
    exact = a * p**LENGTHS + b
    for survival in (exact, np.stack([exact - 1e-4, exact + 1e-4], axis=1)):
        fit = rb.fit_decay(LENGTHS, survival, qubits=qubits)
        assert (fit.A, fit.p, fit.B) == pytest.approx((a, p, b), abs=1e-7)
        assert fit.epc == pytest.approx((1 - 2.0**-qubits) * (1 - p))


@pytest.mark.parametrize("qubits, gate, noise, extra, lengths", [
    (1, "X/2", 0.004, 0.0, [1, 16, 48, 96, 160, 240]),
    (1, "Y/2", 0.002, 0.01, [1, 16, 48, 96, 160, 240]),
    (2, "CZ", 0.002, 0.02, [1, 4, 8, 16, 28, 40]),
])
def test_interleaved_fit_recovers_the_injected_error(rb22_path, rb44_path, qubits, gate, noise,
                                                     extra, lengths):
    group = rb.CliffordGroup(qubits, rb22_path if qubits == 1 else rb44_path)
    reference, interleaved = rb.interleaved_rb(group, gate, lengths, 25, seed=11)
    fits = [rb.fit_decay(e.lengths, rb.simulate(e, noise, extra, shots=1000, seed=5), qubits=qubits)
            for e in (reference, interleaved)]
    assert abs(fits[0].epc - rb.injected_epc(group, noise)) < 4 * fits[0].epc_err
    result = rb.fit_interleaved(*fits)
    injected = rb.injected_gate_error(interleaved, noise, extra)
    assert abs(result.gate_error - injected) < min(result.bound, 3 * result.gate_error_err)


def reference_survival(sequence, d, noise, extra, interleaved):
    """The density matrix played gate by gate, each followed by its noise."""
    mixed, rho = np.eye(d) / d, np.diag(np.eye(d)[0]).astype(complex)
    for slot, gates in enumerate((*sequence.cliffords, sequence.recovery)):
        for gate in gates:
            if not gate.is_identity:
                rho = (1 - noise) * gate.matrix @ rho @ gate.matrix.conj().T + noise * mixed
        if interleaved and slot % 2 and slot < len(sequence.cliffords):
            rho = (1 - extra) * rho + extra * mixed
    return rho[0, 0].real


@pytest.mark.parametrize("qubits, gate", [(1, "Y/2"), (2, "CZ"),
                                         (2, ("cx", np.eye(4)[[0, 1, 3, 2]]))])
def test_simulate_plays_what_a_density_matrix_does(rb22_path, rb44_path, qubits, gate):
    group = rb.CliffordGroup(qubits, rb22_path if qubits == 1 else rb44_path)
    for experiment in rb.interleaved_rb(group, gate, [1, 3, 40], 3, seed=qubits):
        survival = rb.simulate(experiment, 0.004, 0.03)
        expected = [reference_survival(s, 2**qubits, 0.004, 0.03, experiment.interleaved)
                    for s in experiment.sequences]
        assert survival.ravel() == pytest.approx(expected, abs=1e-12, rel=0)
        assert survival.min() < 0.9  # the noise did reach the state


@pytest.mark.parametrize("module", ["", ".gates", ".group", ".experiments", ".export",
                                    ".analysis", ".simulation"])
def test_examples_run(rb22_path, monkeypatch, module):
    monkeypatch.chdir(rb22_path.parent)
    found = doctest.testmod(importlib.import_module("vantrel_rb" + module),
                            extraglobs={**vars(rb), "np": np}, optionflags=doctest.ELLIPSIS)
    assert found.failed == 0 and found.attempted > 0


@pytest.fixture(scope="module")
def pair(rb22_path):
    group = rb.CliffordGroup(1, rb22_path)
    return group, *rb.interleaved_rb(group, "X/2", [1, 4, 9], 2, seed=1)


EXACT = rb.DecayFit(1, LENGTHS, LENGTHS, None, 0.5, 0, 0.99, 0, 0.5, 0)


@pytest.mark.parametrize("call, error, message", [
    (lambda g, r, i: g.unitary(1.7), TypeError, "integer"),
    (lambda g, r, i: rb.standard_rb(None, [2.7], 3), TypeError, "must be integers"),
    (lambda g, r, i: rb.standard_rb(None, "14", 3), TypeError, "not '14'"),
    (lambda g, r, i: rb.standard_rb(None, [4], 2.9), TypeError, "must be integers"),
    (lambda g, r, i: rb.standard_rb(None, [4, 4], 2), ValueError, "4 is given more than once"),
    (lambda g, r, i: rb.interleaved_rb(None, "X", [10**8], 2), ValueError, "1 to 100000"),
    (lambda g, r, i: rb.standard_rb(g, [4], 2, np.random.SeedSequence(1, pool_size=8)), ValueError,
     "pool size 8"),
    (lambda g, r, i: rb.simulate(r, noise=2.0), ValueError, "noise must be from 0 to 1"),
    (lambda g, r, i: rb.simulate(i, interleaved_error=np.nan), ValueError, "0 to 1"),
    (lambda g, r, i: rb.simulate(r, shots=0), ValueError, "shots must be at least 1"),
    (lambda g, r, i: rb.simulate(r, shots=1.5), TypeError, "integer"),
    (lambda g, r, i: rb.CliffordGroup(1.0, g.path), TypeError, "integer"),
    (lambda g, r, i: rb.fit_decay(r, rb.simulate(r), qubits=2), ValueError, "is on 1"),
    (lambda g, r, i: rb.fit_decay(LENGTHS, LENGTHS, qubits=3), ValueError, "1 or 2, not 3"),
    (lambda g, r, i: rb.fit_interleaved(EXACT, dataclasses.replace(EXACT, p=1.2)), ValueError,
     r"p = 1.2 outside \(0, 1\]"),
])
def test_bad_numbers_are_refused(pair, call, error, message):
    with pytest.raises(error, match=message):
        call(*pair)


def test_numbers_at_the_edges_give_numbers(pair):
    group, reference, _ = pair
    shots = type("Shots", (), {"__index__": lambda self: 7})()  # an integer that is no int
    assert np.all(rb.simulate(reference, shots=shots, seed=1) * 7 % 1 == 0)
    tiny = dataclasses.replace(EXACT, p=1e-200)  # p**2 is 0
    fit = rb.fit_interleaved(tiny, tiny)
    assert (fit.gate_error, fit.bound) == (0, 1) and np.isfinite(fit.gate_error_err)


def test_fits_are_bounded_warn_when_the_lengths_miss_the_decay_and_know_the_qubits(rb44_path):
    m = np.array([1, 10, 50, 100])
    with pytest.warns(rb.DecayWarning, match="the lengths 1 to 100 do not resolve the decay"):
        fit = rb.fit_decay(m, 0.3 * 0.5**m + 0.65)
    assert fit.A >= 0 and 0 < fit.p <= 1 and fit.B >= 0 and fit.epc >= 0
    experiment = rb.standard_rb(rb.CliffordGroup(2, rb44_path), [1, 10, 40, 80], 1, seed=1)
    fit = rb.fit_decay(experiment, 0.75 * 0.97 ** np.array(experiment.lengths) + 0.25)
    assert (fit.qubits, fit.epc) == (2, pytest.approx(0.75 * 0.03))


def test_importing_the_package_leaves_scipy_and_matplotlib_out():
    run = subprocess.run([sys.executable, "-c", "import vantrel_rb, sys;"
                          " print('scipy' in sys.modules, 'matplotlib' in sys.modules)"],
                         capture_output=True, text=True, check=True)
    assert run.stdout == "False False\n"
