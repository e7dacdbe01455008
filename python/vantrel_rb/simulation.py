"""A density-matrix simulation of exported sequences, for dry runs and tests.

Every played gate is followed by depolarizing noise ρ → (1-λ)ρ + λ·I/d on the whole
register; an interleaved slot may carry an extra depolarizing error of its own.
Depolarizing noise commutes with every unitary, so the error per Clifford and the
interleaved gate's error that this noise injects are known exactly
(`injected_epc`, `injected_gate_error`).
"""

import numbers
import operator

import numpy as np

__all__ = ["simulate", "injected_epc", "injected_gate_error"]


def _strength(value, name):
    """A depolarizing strength: a real number from 0 to 1."""
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {value!r}")
    if not 0 <= value <= 1:
        raise ValueError(f"{name} must be from 0 to 1, got {value!r}")
    return float(value)


def simulate(experiment, noise=0.0, interleaved_error=0.0, shots=None, seed=None,
             keep_identity=False):
    """Plays every sequence of an experiment on a noisy density matrix from ``|0…0⟩``.

    Parameters
    ----------
    experiment : Experiment
    noise : float, optional
        Depolarizing strength λ after every gate played, 0 to 1.
    interleaved_error : float, optional
        An extra depolarizing strength after each interleaved slot, 0 to 1.
    shots : int, optional
        Measurements per sequence, at least 1; the exact probabilities when not
        given.
    seed : int, numpy.random.Generator or numpy.random.SeedSequence, optional
        For the shots.
    keep_identity : bool, optional
        Play the identity code as an idle gate (with its noise), as export keeps it.

    Returns
    -------
    numpy.ndarray
        Shape ``(len(experiment.lengths), experiment.samples)``: the survival
        probability (or the fraction of shots) of ``|0…0⟩`` for each sequence.

    Raises
    ------
    TypeError
        For a strength that is not a real number, or shots that are not an integer.
    ValueError
        For a strength outside [0, 1] or fewer than one shot.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> survival = simulate(standard_rb(group, [1, 20], 3, seed=2), noise=0.0)
    >>> bool(np.allclose(survival, 1))
    True
    """
    noise = _strength(noise, "noise")
    interleaved_error = _strength(interleaved_error, "interleaved_error")
    if shots is not None and operator.index(shots) < 1:
        raise ValueError(f"shots must be at least 1, got {shots!r}")
    d = 2**experiment.qubits
    mixed = np.eye(d) / d
    rng = np.random.default_rng(seed)
    survival = []
    for sequence in experiment.sequences:
        rho = np.zeros((d, d), dtype=complex)
        rho[0, 0] = 1
        for slot, gates in enumerate((*sequence.cliffords, sequence.recovery)):
            for gate in gates:
                if keep_identity or not gate.is_identity:
                    rho = (1 - noise) * (gate.matrix @ rho @ gate.matrix.conj().T) + noise * mixed
            if slot % 2 and experiment.interleaved and slot < len(sequence.cliffords):
                rho = (1 - interleaved_error) * rho + interleaved_error * mixed
        survival.append(min(max(rho[0, 0].real, 0.0), 1.0))
    survival = np.reshape(survival, (len(experiment.lengths), experiment.samples))
    return survival if shots is None else rng.binomial(shots, survival) / shots


def injected_epc(group, noise, keep_identity=False):
    """The error per Clifford that `simulate`'s noise gives a uniformly random element.

    Examples
    --------
    >>> round(injected_epc(CliffordGroup(1, "rb22.dat"), 0.01), 6)
    0.009115
    """
    noise = _strength(noise, "noise")
    d = group.dimension
    counts = np.array([sum(keep_identity or code != 0 for code in word) for word in group.words])
    return float((d - 1) / d * (1 - np.mean((1 - noise) ** counts)))


def injected_gate_error(experiment, noise, interleaved_error=0.0, keep_identity=False):
    """The error of an interleaved experiment's slot under `simulate`'s noise:
    (d-1)/d·(1 - p_gate), p_gate the depolarizing parameter of the gates played there."""
    noise = _strength(noise, "noise")
    interleaved_error = _strength(interleaved_error, "interleaved_error")
    d = 2**experiment.qubits
    played = [gate for gate in experiment.interleaved if keep_identity or not gate.is_identity]
    p_gate = (1 - noise) ** len(played) * (1 - interleaved_error)
    return float((d - 1) / d * (1 - p_gate))
