"""A density-matrix simulation of exported sequences, for dry runs and tests.

Every played gate is followed by depolarizing noise ρ → (1-λ)ρ + λ·I/d on the whole
register; an interleaved slot may carry an extra depolarizing error of its own.
Depolarizing noise commutes with every unitary, so the error per Clifford and the
interleaved gate's error that this noise injects are known exactly
(`injected_epc`, `injected_gate_error`).
"""

import itertools
import numbers
import operator

import numpy as np
import numpy.typing as npt

from .experiments import Experiment
from .gates import Gate
from .group import CliffordGroup

__all__ = ["simulate", "injected_epc", "injected_gate_error"]

_BATCH = 256  # sequences evolved together; their padded gate indices stay a few MiB


def _strength(value: float, name: str) -> float:
    """A depolarizing strength: a real number from 0 to 1."""
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {value!r}")
    if not 0 <= value <= 1:
        raise ValueError(f"{name} must be from 0 to 1, got {value!r}")
    return float(value)


_Seed = int | np.random.Generator | np.random.SeedSequence | None


def simulate(experiment: Experiment, noise: float = 0.0, interleaved_error: float = 0.0,
             shots: int | None = None, seed: _Seed = None,
             keep_identity: bool = False) -> npt.NDArray[np.float64]:
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
    if shots is not None:
        shots = operator.index(shots)
        if shots < 1:
            raise ValueError(f"shots must be at least 1, got {shots!r}")
    d = 2**experiment.qubits
    rng = np.random.default_rng(seed)
    # Depolarizing noise keeps the state of the form c·|ψ⟩⟨ψ| + (1 - c)·I/d: the gates
    # act on |ψ⟩ alone and each noise step scales c, so that form is the whole density
    # matrix. |ψ⟩ is played gate by gate, many sequences at once.
    stack, played = _gate_indices(experiment, keep_identity)
    counts = np.array([len(p) for p in played])
    slots = np.array([len(s.cliffords) // 2 if experiment.interleaved else 0
                      for s in experiment.sequences])
    weight = (1 - noise) ** counts * (1 - interleaved_error) ** slots
    overlap = np.empty(len(played))
    order = np.argsort(counts, kind="stable")  # similar lengths share a batch: little padding
    for batch in np.array_split(order, -(-len(order) // _BATCH)):
        overlap[batch] = _evolve(stack, [played[k] for k in batch])
    survival: npt.NDArray[np.float64] = np.clip(weight * overlap + (1 - weight) / d, 0.0, 1.0)
    survival = survival.reshape(len(experiment.lengths), experiment.samples)
    return survival if shots is None else rng.binomial(shots, survival) / shots


def _gate_indices(experiment: Experiment,
                  keep_identity: bool) -> tuple[npt.NDArray[np.complex128], list[list[int]]]:
    """The distinct gate matrices stacked (the identity first, for padding) and each
    sequence's played gates, recovery included, as positions in the stack."""
    matrices = [np.eye(2**experiment.qubits, dtype=complex)]
    position: dict[int, int] = {}  # by id: the experiment keeps every gate and slot alive
    slots: dict[int, list[int]] = {}

    def indices(gates: tuple[Gate, ...]) -> list[int]:
        found = slots.get(id(gates))
        if found is None:
            found = []
            for gate in gates:
                if keep_identity or not gate.is_identity:
                    if id(gate) not in position:
                        position[id(gate)] = len(matrices)
                        matrices.append(gate.matrix)
                    found.append(position[id(gate)])
            slots[id(gates)] = found
        return found

    played = [list(itertools.chain.from_iterable(map(indices, (*s.cliffords, s.recovery))))
              for s in experiment.sequences]
    return np.array(matrices), played


def _evolve(stack: npt.NDArray[np.complex128],
            sequences: list[list[int]]) -> npt.NDArray[np.float64]:
    """|⟨0|ψ⟩|² after playing each sequence of gate positions on |0…0⟩."""
    steps = np.zeros((len(sequences), max(map(len, sequences), default=0)), dtype=np.intp)
    for row, gates in zip(steps, sequences):
        row[:len(gates)] = gates  # the rest stays 0, the identity
    state = np.zeros((len(sequences), len(stack[0]), 1), dtype=complex)
    state[:, 0] = 1
    for column in steps.T:
        state = stack[column] @ state
    probability: npt.NDArray[np.float64] = np.abs(state[:, 0, 0]) ** 2
    return probability


def injected_epc(group: CliffordGroup, noise: float, keep_identity: bool = False) -> float:
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


def injected_gate_error(experiment: Experiment, noise: float, interleaved_error: float = 0.0,
                        keep_identity: bool = False) -> float:
    """The error of an interleaved experiment's slot under `simulate`'s noise:
    (d-1)/d·(1 - p_gate), p_gate the depolarizing parameter of the gates played there."""
    noise = _strength(noise, "noise")
    interleaved_error = _strength(interleaved_error, "interleaved_error")
    d = 2**experiment.qubits
    played = [gate for gate in experiment.interleaved if keep_identity or not gate.is_identity]
    p_gate = (1 - noise) ** len(played) * (1 - interleaved_error)
    return float((d - 1) / d * (1 - p_gate))
