"""Randomized-benchmarking experiments: standard and interleaved, seeded, optionally nested.

A sequence of length m is m uniformly random Clifford elements (each followed by
the interleaved gate in an interleaved experiment), played first to last, then
the recovery word that returns the qubits to |0…0⟩. Every sequence is checked with
the module's checker, in the order it is played, before it is returned.
"""

import dataclasses

import numpy as np

from .gates import Gate, native_gate

__all__ = ["Sequence", "Experiment", "standard_rb", "interleaved_rb"]


@dataclasses.dataclass(frozen=True)
class Sequence:
    """One RB sequence, in time order.

    Attributes
    ----------
    length : int
        Number of random Clifford elements.
    sample : int
        Which of the experiment's random draws for this length, from 0.
    elements : tuple of int
        The element indices in the order they are played; in an interleaved
        experiment the interleaved element follows each random one.
    cliffords : tuple of tuple of Gate
        The gates played for each element, in the same order.
    recovery : tuple of Gate
        The recovery gates, played last.
    qubits : int
        1 or 2.
    """

    length: int
    sample: int
    elements: tuple[int, ...]
    cliffords: tuple[tuple[Gate, ...], ...]
    recovery: tuple[Gate, ...]
    qubits: int

    @property
    def gates(self):
        """All gates before the recovery, in time order (a tuple of `Gate`)."""
        return tuple(gate for clifford in self.cliffords for gate in clifford)


@dataclasses.dataclass(frozen=True)
class Experiment:
    """The sequences of one RB experiment, ordered by length, then by sample.

    Attributes
    ----------
    name : str
        ``"standard"``, ``"reference"`` or ``"interleaved"``.
    qubits : int
        1 or 2.
    lengths : tuple of int
        The sequence lengths, in the order given.
    samples : int
        Sequences per length.
    seed : int or None
        The seed the experiment can be remade from: the int given, or the
        entropy of the SeedSequence given; None when a Generator was given.
    nested : bool
        Whether each sample's shorter sequences are prefixes of its longer ones.
    table : str
        The table file's digest (`CliffordGroup.digest`).
    sequences : tuple of Sequence
        ``len(lengths) * samples`` sequences; sequence ``i * samples + s`` has
        length ``lengths[i]`` and sample ``s``.
    interleaved : tuple of Gate
        The gates played in each interleaved slot; empty for standard RB.
    interleaved_element : int or None
        The element index of the interleaved gate.
    """

    name: str
    qubits: int
    lengths: tuple[int, ...]
    samples: int
    seed: int | None
    nested: bool
    table: str
    sequences: tuple[Sequence, ...]
    interleaved: tuple[Gate, ...] = ()
    interleaved_element: int | None = None


def _reproducible(seed):
    if isinstance(seed, np.random.SeedSequence):
        return seed.entropy
    return None if isinstance(seed, np.random.Generator) or seed is None else int(seed)


def _validated(lengths, samples):
    lengths = tuple(int(m) for m in lengths)
    if not lengths or min(lengths) < 1:
        raise ValueError(f"lengths must be positive, got {list(lengths)}")
    if int(samples) < 1:
        raise ValueError(f"samples must be positive, got {samples}")
    return lengths, int(samples)


def _experiment(name, group, lengths, samples, rng, seed, nested, slot=None, progress=None):
    """Draws the sequences; `slot` is (element, gates) of the interleaved gate."""
    lengths, samples = _validated(lengths, samples)
    longest = [rng.integers(group.order, size=max(lengths)) for _ in range(samples if nested else 0)]
    sequences = []
    for m in lengths:
        for s in range(samples):
            drawn = longest[s][:m] if nested else rng.integers(group.order, size=m)
            elements, cliffords = [], []
            for e in drawn.tolist():
                elements.append(e)
                cliffords.append(group.word(e))
                if slot:
                    elements.append(slot[0])
                    cliffords.append(slot[1])
            _, codes = group.query.get_full_sequence_and_inverse_sequence(elements)
            recovery = tuple(group.gates[c] for c in codes)
            # The checker sees each element's own word, native gates included.
            played = [gate for e in elements for gate in group.word(e)] + list(recovery)
            if not group.check(played):
                raise RuntimeError(f"the recovery of elements {elements} does not return to the"
                                   " start state")
            sequences.append(Sequence(m, s, tuple(elements), tuple(cliffords), recovery,
                                      group.qubits))
            if progress:
                progress(len(sequences), len(lengths) * samples)
    element, interleaved = slot or (None, ())
    return Experiment(name, group.qubits, lengths, samples, _reproducible(seed), nested,
                      group.digest, tuple(sequences), interleaved, element)


def standard_rb(group, lengths, samples, seed=None, nested=False, progress=None):
    """A standard RB experiment.

    Parameters
    ----------
    group : CliffordGroup
        The group to draw from.
    lengths : sequence of int
        The sequence lengths (numbers of random Cliffords), each at least 1.
    samples : int
        Random sequences per length.
    seed : int, numpy.random.Generator or numpy.random.SeedSequence, optional
        Equal seeds give equal experiments.
    nested : bool, optional
        Draw one sequence of the longest length per sample and cut every shorter
        length from its start, so shorter sequences are prefixes of longer ones.
    progress : callable, optional
        Called as ``progress(done, total)`` after each sequence.

    Returns
    -------
    Experiment

    Raises
    ------
    ValueError
        For an empty or non-positive length list or a non-positive sample count.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> experiment = standard_rb(group, [1, 4], samples=2, seed=7)
    >>> [(s.length, len(s.elements)) for s in experiment.sequences]
    [(1, 1), (1, 1), (4, 4), (4, 4)]
    >>> standard_rb(group, [1, 4], 2, seed=7) == experiment
    True
    """
    rng = np.random.default_rng(seed)
    return _experiment("standard", group, lengths, samples, rng, seed, nested, None, progress)


def interleaved_rb(group, gate, lengths, samples, seed=None, nested=False, progress=None):
    """An interleaved RB experiment and its reference, drawn with the same lengths and samples.

    Parameters
    ----------
    group : CliffordGroup
        The group to draw from.
    gate : str, array_like or (str, array_like)
        The gate to interleave: a catalogue name or a Clifford matrix, played as
        the catalogue gates of its element's word; or a pair ``(name, matrix)``,
        a gate the hardware plays natively as one gate named `name` (an
        OpenQASM 3 standard gate such as ``"cx"`` is written as such, on the
        qubits where it performs `matrix`; any other name gets a definition).
    lengths, samples, seed, nested, progress
        As for `standard_rb`; the reference is drawn first from the seed's
        generator, then the interleaved experiment.

    Returns
    -------
    (Experiment, Experiment)
        The reference (standard RB) and the interleaved experiment.

    Raises
    ------
    ValueError
        When the gate is not a Clifford of the group's size, or a standard name
        does not match its matrix; and as for `standard_rb`.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> h = np.array([[1, 1], [1, -1]]) / np.sqrt(2)
    >>> reference, interleaved = interleaved_rb(group, ("h", h), [2], samples=1, seed=1)
    >>> [gate.qasm for gate in interleaved.sequences[0].gates][-1]
    'h q[0];'
    """
    if isinstance(gate, tuple) and len(gate) == 2 and isinstance(gate[0], str):
        name, matrix = gate
        element = group.index_of(matrix)
        slot = (element, (native_gate(name, matrix, group.word(element)),))
    else:
        element = group.index_of(gate)
        slot = (element, group.word(element))
    rng = np.random.default_rng(seed)
    reference = _experiment("reference", group, lengths, samples, rng, seed, nested, None,
                            progress)
    interleaved = _experiment("interleaved", group, lengths, samples, rng, seed, nested, slot,
                              progress)
    return reference, interleaved
