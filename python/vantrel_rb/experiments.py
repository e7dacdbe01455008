"""Randomized-benchmarking experiments: standard and interleaved, seeded, optionally nested.

A sequence of length m is m uniformly random Clifford elements (each followed by
the interleaved gate in an interleaved experiment), played first to last, then
the recovery word that returns the qubits to |0…0⟩. Every sequence is checked with
the module's checker, in the order it is played, before it is returned.
"""

import collections
import dataclasses
import operator

import numpy as np

from .gates import Gate, native_gate

__all__ = ["Sequence", "Experiment", "Site", "SimultaneousExperiment", "standard_rb",
           "interleaved_rb", "MAX_LENGTH",
           "MAX_ELEMENTS"]

#: The longest sequence, in random Clifford elements.
MAX_LENGTH = 100_000
#: The most elements one experiment holds, random and interleaved together: beyond
#: this, drawing, checking and export take minutes and gigabytes.
MAX_ELEMENTS = 10_000_000


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
    seed : int or tuple of int
        The entropy of the ``numpy.random.SeedSequence`` the experiment was
        drawn from: the int given, the entropy of the SeedSequence given, 128
        bits drawn from the Generator given, or fresh entropy when no seed was
        given. ``SeedSequence(seed, spawn_key=spawn_key)`` as the seed remakes
        the experiment (and its reference or interleaved partner).
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
    spawn_key : tuple of int
        The spawn key of the SeedSequence; empty unless one spawned was given.
    """

    name: str
    qubits: int
    lengths: tuple[int, ...]
    samples: int
    seed: int | tuple[int, ...]
    nested: bool
    table: str
    sequences: tuple[Sequence, ...]
    interleaved: tuple[Gate, ...] = ()
    interleaved_element: int | None = None
    spawn_key: tuple[int, ...] = ()


@dataclasses.dataclass(frozen=True)
class Site:
    """One site of a simultaneous experiment: a qubit or a pair of the chip, with its
    own independently drawn sequences.

    Attributes
    ----------
    physical : tuple of int
        The physical qubits: ``physical[j]`` plays qubit j of the site's sequences.
    experiments : tuple of Experiment
        One per round of the simultaneous experiment, in round order: a standard
        site plays standard RB in every round; an interleaved site plays the
        reference in round ``"reference"`` and the interleaved sequences in round
        ``"interleaved"``.
    """

    physical: tuple[int, ...]
    experiments: tuple["Experiment", ...]


@dataclasses.dataclass(frozen=True)
class SimultaneousExperiment:
    """RB on many disjoint sites at once: one program per (round, length, sample)
    plays, on every site, that site's sequence of the same round, length and sample,
    each site's last gate right before the common measurement.

    Attributes
    ----------
    rounds : tuple of str
        ``("standard",)``, or ``("reference", "interleaved")`` when a site is
        interleaved.
    lengths, samples, nested
        As for `Experiment`, shared by every site.
    seed, spawn_key
        The root seed's entropy and spawn key, as `Experiment` records them; site k
        draws from ``SeedSequence(seed, spawn_key=spawn_key).spawn(len(sites))[k]``.
    sites : tuple of Site
        In the order given; no physical qubit in two sites.
    width : int
        The register width: the largest physical label plus one.
    """

    rounds: tuple[str, ...]
    lengths: tuple[int, ...]
    samples: int
    seed: int | tuple[int, ...]
    nested: bool
    sites: tuple[Site, ...]
    width: int
    spawn_key: tuple[int, ...] = ()


def validated(lengths, samples, interleaved=False):
    """The lengths and the sample count as ints, checked as the experiments check them.

    Raises
    ------
    TypeError
        For a length or sample count that is not an integer (``2.7``, ``"14"``).
    ValueError
        For no lengths, a length below 1 or above `MAX_LENGTH`, a length given
        twice, a sample count below 1, or more than `MAX_ELEMENTS` elements in
        all (twice the Cliffords when `interleaved`).
    """
    if isinstance(lengths, (str, bytes)):
        raise TypeError(f"lengths must be a sequence of integers, not {lengths!r}")
    try:
        lengths, samples = tuple(operator.index(m) for m in lengths), operator.index(samples)
    except TypeError:
        raise TypeError(f"lengths and samples must be integers, got {lengths!r} and"
                        f" {samples!r}") from None
    if not lengths or not 1 <= min(lengths) <= max(lengths) <= MAX_LENGTH:
        raise ValueError(f"lengths must be 1 to {MAX_LENGTH}, got {list(lengths)}")
    twice = [m for m, count in collections.Counter(lengths).items() if count > 1]
    if twice:
        raise ValueError(f"length {twice[0]} is given more than once: its sequences would"
                         " share one name")
    if samples < 1:
        raise ValueError(f"samples must be positive, got {samples}")
    total = sum(lengths) * samples * (2 if interleaved else 1)
    if total > MAX_ELEMENTS:
        raise ValueError(f"the experiment would hold {total} elements, more than"
                         f" {MAX_ELEMENTS}")
    return lengths, samples


def _seed_sequence(seed):
    """The SeedSequence to draw from, whose entropy and spawn key the experiment records.

    A Generator's state is not recorded; 128 bits drawn from it seed the experiment
    instead, so equal Generators still give equal experiments.
    """
    if seed is None:
        return np.random.SeedSequence()
    if isinstance(seed, np.random.Generator):
        return np.random.SeedSequence(int.from_bytes(seed.bytes(16), "little"))
    if isinstance(seed, np.random.SeedSequence):
        if seed.pool_size != np.random.SeedSequence().pool_size:
            raise ValueError(f"a SeedSequence of pool size {seed.pool_size} cannot be recorded")
        return seed
    if not hasattr(seed, "__index__"):
        raise TypeError(f"seed must be an int, a SeedSequence, a Generator or None, not {seed!r}")
    if operator.index(seed) < 0:
        raise ValueError(f"seed must be non-negative, not {seed!r}")
    return np.random.SeedSequence(operator.index(seed))


def _recorded(seed):
    """A SeedSequence as the experiment records it: (entropy, spawn key) of plain ints."""
    entropy = seed.entropy
    entropy = int(entropy) if isinstance(entropy, (int, np.integer)) else tuple(map(int, entropy))
    return entropy, tuple(int(x) for x in seed.spawn_key)


def _slot(group, element):
    """The interleaved slot's gates: the element's word, but a word that is an idle then
    one gate (the catalogue's CZ) plays the gate alone, so that the slot's error is the
    gate's own whether or not identities are kept."""
    word = group.word(element)
    return word[1:] if len(word) == 2 and word[0].is_identity else word


def _experiment(name, group, lengths, samples, rng, seed, nested, slot=None, progress=None):
    """Draws the sequences; `slot` is (element, gates) of the interleaved gate, `seed` the
    SeedSequence of `rng`."""
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
            played = [gate for clifford in cliffords for gate in clifford] + list(recovery)
            if not group.check(played):
                raise RuntimeError(f"the recovery of elements {elements} does not return to the"
                                   " start state")
            sequences.append(Sequence(m, s, tuple(elements), tuple(cliffords), recovery,
                                      group.qubits))
            if progress:
                progress(len(sequences), len(lengths) * samples)
    element, interleaved = slot or (None, ())
    entropy, spawn_key = _recorded(seed)
    return Experiment(name, group.qubits, lengths, samples, entropy, nested, group.digest,
                      tuple(sequences), interleaved, element, spawn_key)


def standard_rb(group, lengths, samples, seed=None, nested=False, progress=None):
    """A standard RB experiment.

    Parameters
    ----------
    group : CliffordGroup
        The group to draw from.
    lengths : sequence of int
        The sequence lengths (numbers of random Cliffords), distinct, each 1 to
        `MAX_LENGTH`.
    samples : int
        Random sequences per length.
    seed : int, numpy.random.Generator or numpy.random.SeedSequence, optional
        Equal seeds give equal experiments; what the experiment records of it
        remakes it (see `Experiment.seed`).
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
    TypeError
        For a length or sample count that is not an integer, or a seed of
        another kind.
    ValueError
        For no lengths, a length out of range or given twice, a non-positive
        sample count, more than `MAX_ELEMENTS` elements in all, or a
        SeedSequence of a pool size other than the default.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> experiment = standard_rb(group, [1, 4], samples=2, seed=7)
    >>> [(s.length, len(s.elements)) for s in experiment.sequences]
    [(1, 1), (1, 1), (4, 4), (4, 4)]
    >>> standard_rb(group, [1, 4], 2, seed=7) == experiment
    True
    """
    lengths, samples = validated(lengths, samples)
    seed = _seed_sequence(seed)
    return _experiment("standard", group, lengths, samples, np.random.default_rng(seed), seed,
                       nested, None, progress)


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
        When the gate is not a Clifford of the group's size, or its name cannot
        be a native gate's (see `native_gate`); and as for `standard_rb`.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> h = np.array([[1, 1], [1, -1]]) / np.sqrt(2)
    >>> reference, interleaved = interleaved_rb(group, ("h", h), [2], samples=1, seed=1)
    >>> [gate.qasm for gate in interleaved.sequences[0].gates][-1]
    'h q[0];'
    """
    lengths, samples = validated(lengths, samples, interleaved=True)
    seed = _seed_sequence(seed)
    if isinstance(gate, tuple) and len(gate) == 2 and isinstance(gate[0], str):
        name, matrix = gate
        element = group.index_of(matrix)
        slot = (element, (native_gate(name, matrix, group.word(element)),))
    else:
        element = group.index_of(gate)
        slot = (element, _slot(group, element))
    rng = np.random.default_rng(seed)
    reference = _experiment("reference", group, lengths, samples, rng, seed, nested, None,
                            progress)
    interleaved = _experiment("interleaved", group, lengths, samples, rng, seed, nested, slot,
                              progress)
    return reference, interleaved
