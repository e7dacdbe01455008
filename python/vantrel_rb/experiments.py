"""Randomized-benchmarking experiments: standard and interleaved, seeded, optionally nested.

A sequence of length m is m uniformly random Clifford elements (each followed by
the interleaved gate in an interleaved experiment), played first to last, then
the recovery word that returns the qubits to |0…0⟩. Every sequence is checked with
the module's checker, in the order it is played, before it is returned.
"""

import collections
import dataclasses
import operator
import weakref
from collections.abc import Callable, Iterable, Mapping
from typing import Any, SupportsIndex, TypeAlias

import numpy as np
import numpy.typing as npt

from .gates import Gate, native_gate
from .group import CliffordGroup
from .paulis import actions
from .tablefile import multiplication_table

__all__ = ["Sequence", "Experiment", "Site", "SimultaneousExperiment", "standard_rb",
           "interleaved_rb", "simultaneous_rb", "program_name", "MAX_LENGTH", "MAX_ELEMENTS"]

#: The longest sequence, in random Clifford elements.
MAX_LENGTH = 100_000
#: The most elements one experiment holds, random and interleaved together: beyond
#: this, drawing, checking and export take minutes and gigabytes.
MAX_ELEMENTS = 10_000_000

Progress = Callable[[int, int], object]
#: The gates of each element: a group's tuple of words, or a mapping of the elements used.
_Words = tuple[tuple[Gate, ...], ...] | Mapping[int, tuple[Gate, ...]]
#: What a seed may be: an int, a SeedSequence, a Generator, or None for fresh entropy.
SeedLike: TypeAlias = SupportsIndex | np.random.SeedSequence | np.random.Generator | None
#: A gate to interleave: a catalogue name or a matrix, or (name, matrix) of a native gate.
GateLike: TypeAlias = str | npt.ArrayLike | tuple[str, npt.ArrayLike]
#: One qubit label, or a site's labels.
_Physical: TypeAlias = SupportsIndex | Iterable[SupportsIndex]
#: A site of a simultaneous experiment: (group, physical qubits[, gate to interleave]).
SiteLike: TypeAlias = (tuple[CliffordGroup, _Physical]
                       | tuple[CliffordGroup, _Physical, GateLike])
#: (element, gates played in each slot) of an interleaved gate.
_Slot: TypeAlias = tuple[int, tuple[Gate, ...]]


class _Drawn:
    """The sequences of one experiment end to end, as its `Sequence` objects read them.

    Attributes
    ----------
    elements : numpy.ndarray
        Every sequence's element indices in the order played, sequence after sequence
        (read-only).
    starts : list of int
        Where each sequence starts in `elements`, with the end of the last appended.
    words : sequence of tuple of Gate
        The gates played for an element, indexed by the element (the group's tuples,
        shared by every sequence, so that one tuple stands for one element).
    slot : tuple of Gate or None
        The gates of the interleaved slot, played at every odd position.
    recoveries : list of tuple of Gate
        Each sequence's recovery gates.
    recovery_elements : numpy.ndarray or None
        Each sequence's recovery element, when known.
    """

    __slots__ = ("elements", "starts", "words", "slot", "recoveries", "recovery_elements")

    def __init__(self, elements: npt.NDArray[np.integer[Any]], starts: list[int],
                 words: _Words, slot: tuple[Gate, ...] | None,
                 recoveries: list[tuple[Gate, ...]],
                 recovery_elements: npt.NDArray[np.integer[Any]] | None = None) -> None:
        elements.setflags(write=False)
        self.elements, self.starts, self.words, self.slot = elements, starts, words, slot
        self.recoveries, self.recovery_elements = recoveries, recovery_elements

    def sequences(self, lengths: tuple[int, ...], samples: int, qubits: int,
                  progress: Progress | None = None) -> tuple["Sequence", ...]:
        """One `Sequence` per stored sequence, each reading its part on demand."""
        new = object.__new__
        # The slots' own setters: a frozen Sequence refuses plain assignment.
        length, sample, of, drawn, index, elements, cliffords = (
            getattr(Sequence, name).__set__ for name in Sequence.__slots__)
        count = len(self.starts) - 1
        result = []
        for i in range(count):
            sequence = new(Sequence)
            length(sequence, lengths[i // samples])
            sample(sequence, i % samples)
            of(sequence, qubits)
            drawn(sequence, self)
            index(sequence, i)
            elements(sequence, None)
            cliffords(sequence, None)
            result.append(sequence)
            if progress:
                progress(i + 1, count)
        return tuple(result)


class Sequence:
    """One RB sequence, in time order; immutable, compared and hashed by its attributes.

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

    A drawn sequence keeps its elements as part of its experiment's array and makes
    `elements` and `cliffords` on first access; each element's gates are then the
    group's own tuple, the same object wherever the element is played.
    """

    __slots__ = ("length", "sample", "qubits", "_drawn", "_index", "_elements", "_cliffords")
    __match_args__ = ("length", "sample", "elements", "cliffords", "recovery", "qubits")
    length: int
    sample: int
    qubits: int
    _drawn: _Drawn
    _index: int
    _elements: tuple[int, ...] | None
    _cliffords: tuple[tuple[Gate, ...], ...] | None

    def __init__(self, length: int, sample: int, elements: Iterable[int],
                 cliffords: Iterable[tuple[Gate, ...]], recovery: tuple[Gate, ...],
                 qubits: int) -> None:
        put = object.__setattr__
        put(self, "length", length)
        put(self, "sample", sample)
        put(self, "qubits", qubits)
        elements = tuple(elements)
        put(self, "_elements", elements)
        put(self, "_cliffords", tuple(cliffords))
        put(self, "_drawn", _Drawn(np.array(elements, dtype=np.int32),
                                   [0, len(elements)], (), None, [tuple(recovery)]))
        put(self, "_index", 0)

    @property
    def elements(self) -> tuple[int, ...]:
        if self._elements is None:
            object.__setattr__(self, "_elements", tuple(self._array().tolist()))
        assert self._elements is not None
        return self._elements

    def _array(self) -> npt.NDArray[np.integer[Any]]:
        """The elements as a read-only NumPy array, without a Python int per element."""
        drawn = self._drawn
        return drawn.elements[drawn.starts[self._index]:drawn.starts[self._index + 1]]

    @property
    def cliffords(self) -> tuple[tuple[Gate, ...], ...]:
        if self._cliffords is None:
            drawn = self._drawn
            if drawn.slot is None:
                cliffords = list(map(drawn.words.__getitem__, self.elements))
            else:  # the slot's element may have no word of its own in a read experiment
                cliffords = [drawn.slot] * len(self.elements)
                cliffords[0::2] = map(drawn.words.__getitem__, self.elements[0::2])
            object.__setattr__(self, "_cliffords", tuple(cliffords))
        assert self._cliffords is not None
        return self._cliffords

    @property
    def recovery(self) -> tuple[Gate, ...]:
        drawn = self._drawn
        return drawn.recoveries[self._index]

    @property
    def gates(self) -> tuple[Gate, ...]:
        """All gates before the recovery, in time order (a tuple of `Gate`)."""
        return tuple(gate for clifford in self.cliffords for gate in clifford)

    def _fields(self) -> tuple[Any, ...]:
        return (self.length, self.sample, self.elements, self.cliffords, self.recovery,
                self.qubits)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Sequence):
            return NotImplemented
        if (self.length, self.sample, self.qubits) != (other.length, other.sample,
                                                       other.qubits):
            return False
        mine, theirs = self._drawn, other._drawn
        if (self._cliffords is None and other._cliffords is None and mine.words is theirs.words
                and mine.slot is theirs.slot):
            # The same words and slot: equal elements play equal gates.
            return (np.array_equal(self._array(), other._array())
                    and self.recovery == other.recovery)
        return self._fields() == other._fields()

    def __hash__(self) -> int:
        return hash(self._fields())

    def __repr__(self) -> str:
        return ("Sequence(" + ", ".join(f"{name}={value!r}" for name, value in
                                       zip(self.__match_args__, self._fields())) + ")")

    def __setattr__(self, name: str, value: object) -> None:
        raise dataclasses.FrozenInstanceError(f"cannot assign to field {name!r}")

    def __delattr__(self, name: str) -> None:
        raise dataclasses.FrozenInstanceError(f"cannot delete field {name!r}")

    def __reduce__(self) -> tuple[type["Sequence"], tuple[Any, ...]]:
        return Sequence, self._fields()


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

    def programs(self) -> list[str]:
        """The program name of each sequence, in sequence order (see `program_name`)."""
        return [program_name(self.name, s.length, s.sample) for s in self.sequences]


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

    def programs(self) -> list[tuple[str, str, int, int]]:
        """``(name, round, length, sample)`` of every program, round after round, then
        length after length, then sample after sample: program k of round r plays
        sequence k of every site's experiment r."""
        return [(program_name(name, m, s), name, m, s) for name in self.rounds
                for m in self.lengths for s in range(self.samples)]


def program_name(name: str, length: int, sample: int) -> str:
    """The name of the program of sequence (`length`, `sample`) of experiment or round
    `name`: the file written for it, without ``.qasm``, and the key of its counts.

    >>> program_name("interleaved", 16, 3)
    'interleaved/m0016_s003'
    """
    return f"{name}/m{length:04d}_s{sample:03d}"


def validated(lengths: Iterable[SupportsIndex], samples: SupportsIndex,
              interleaved: bool = False) -> tuple[tuple[int, ...], int]:
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
        checked, count = tuple(operator.index(m) for m in lengths), operator.index(samples)
    except TypeError:
        raise TypeError(f"lengths and samples must be integers, got {lengths!r} and"
                        f" {samples!r}") from None
    if not checked or not 1 <= min(checked) <= max(checked) <= MAX_LENGTH:
        raise ValueError(f"lengths must be 1 to {MAX_LENGTH}, got {list(checked)}")
    twice = [m for m, times in collections.Counter(checked).items() if times > 1]
    if twice:
        raise ValueError(f"length {twice[0]} is given more than once: its sequences would"
                         " share one name")
    if count < 1:
        raise ValueError(f"samples must be positive, got {count}")
    total = sum(checked) * count * (2 if interleaved else 1)
    if total > MAX_ELEMENTS:
        raise ValueError(f"the experiment would hold {total} elements, more than"
                         f" {MAX_ELEMENTS}")
    return checked, count


def _seed_sequence(seed: SeedLike) -> np.random.SeedSequence:
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


def _recorded(seed: np.random.SeedSequence) -> tuple[int | tuple[int, ...], tuple[int, ...]]:
    """A SeedSequence as the experiment records it: (entropy, spawn key) of plain ints."""
    entropy = seed.entropy
    assert entropy is not None  # a SeedSequence made without entropy draws its own
    recorded = int(entropy) if isinstance(entropy, (int, np.integer)) else tuple(map(int, entropy))
    return recorded, tuple(int(x) for x in seed.spawn_key)


def _slot(group: CliffordGroup, element: int) -> tuple[Gate, ...]:
    """The interleaved slot's gates: the element's word, but a word that is an idle then
    one gate (the catalogue's CZ) plays the gate alone, so that the slot's error is the
    gate's own whether or not identities are kept."""
    word = group.word(element)
    return word[1:] if len(word) == 2 and word[0].is_identity else word


class _Products:
    """Products through the module's multiplication table of one group (mapped, not
    read): the route the recoveries take, apart from the Pauli actions that check them."""

    def __init__(self, group: CliffordGroup) -> None:
        table = multiplication_table(group.path, group.qubits)
        # A plain array over the mapped pages: a memmap's own indexing costs per call.
        self.table = np.array(table) if group.qubits == 1 else table.view(np.ndarray)
        self.inverse = group._blocks.inverse
        self.identity = int(group._blocks.specials[0])
        self.then: dict[int, npt.NDArray[np.int32]] = {}

    def then_slot(self, element: int) -> npt.NDArray[np.int32]:
        """Each element followed by `element`, one column of the table."""
        if element not in self.then:
            self.then[element] = np.ascontiguousarray(self.table[:, element])
        return self.then[element]

    def recoveries(self, elements: npt.NDArray[np.integer[Any]],
                   sizes: npt.NDArray[np.intp]) -> npt.NDArray[np.int32]:
        """The recovery element of each sequence, `elements` holding the sequences end to
        end and `sizes` their lengths. Neighbours merge pairwise, level by level, an odd
        sequence first padded with the identity: about one look-up per element."""
        while sizes.max() > 1:
            odd = sizes % 2 == 1
            if odd.any():
                elements = np.insert(elements, np.cumsum(sizes)[odd], self.identity)
                sizes = sizes + odd
            elements, sizes = self.table[elements[0::2], elements[1::2]], sizes // 2
        recovered: npt.NDArray[np.int32] = self.inverse[elements]
        return recovered


_PRODUCTS: weakref.WeakKeyDictionary[CliffordGroup, _Products] = weakref.WeakKeyDictionary()


def _products(group: CliffordGroup) -> _Products:
    found = _PRODUCTS.get(group)
    if found is None:
        found = _PRODUCTS[group] = _Products(group)
    return found


def _experiment(name: str, group: CliffordGroup, lengths: tuple[int, ...], samples: int,
                rng: np.random.Generator, seed: np.random.SeedSequence, nested: bool,
                slot: _Slot | None = None,
                progress: Progress | None = None) -> "Experiment":
    """Draws the sequences; `slot` is (element, gates) of the interleaved gate, `seed` the
    SeedSequence of `rng`.

    All random elements come from one ``rng.integers`` call: sample after sample of the
    longest length when nested, else length after length, sample after sample. The
    recoveries come from whole-experiment products through the module's multiplication
    table (an interleaved element merged into the random one before it), and every
    sequence is then played through the Pauli actions, element by element and recovery
    gate by gate, before any is returned: two routes that share nothing, so a wrong
    recovery cannot pass. No Python object is made per element.
    """
    tables = actions(group)
    products = _products(group)
    if nested:
        longest = rng.integers(group.order, size=(samples, max(lengths)))
        drawn = np.concatenate([longest[:, :m].ravel() for m in lengths])
    else:
        drawn = rng.integers(group.order, size=sum(lengths) * samples)
    drawn = drawn.astype(np.int16)  # 11520 elements fit; a quarter of the memory
    sizes = np.repeat(np.array(lengths, dtype=np.intp), samples)  # random elements per sequence
    if slot:
        recoveries = products.recoveries(products.then_slot(slot[0])[drawn], sizes)
        played = tables.returns(drawn, sizes, recoveries, then=slot[0])
        drawn = np.stack([drawn, np.full_like(drawn, slot[0])], axis=1).ravel()
        sizes = sizes * 2
    else:
        recoveries = products.recoveries(drawn, sizes)
        played = tables.returns(drawn, sizes, recoveries)
    starts = [0, *np.cumsum(sizes).tolist()]
    if not played.all():
        bad = int(np.argmin(played))
        raise RuntimeError(f"the recovery of elements {drawn[starts[bad]:starts[bad + 1]]}"
                           " does not return to the start state")
    words = group._word_gates
    stored = _Drawn(drawn, starts, words, None if slot is None else slot[1],
                    list(map(words.__getitem__, recoveries.tolist())), recoveries)
    element, interleaved = slot or (None, ())
    entropy, spawn_key = _recorded(seed)
    return Experiment(name, group.qubits, lengths, samples, entropy, nested, group.digest,
                      stored.sequences(lengths, samples, group.qubits, progress), interleaved,
                      element, spawn_key)


def _interleaved_slot(group: CliffordGroup, gate: GateLike) -> _Slot:
    """(element, gates played in each slot) of an interleaved gate, as `interleaved_rb`
    takes it."""
    if isinstance(gate, tuple) and len(gate) == 2 and isinstance(gate[0], str):
        name, matrix = gate
        element = group.index_of(matrix)
        return element, (native_gate(name, matrix, group.word(element)),)
    element = group.index_of(gate)
    return element, _slot(group, element)


def standard_rb(group: CliffordGroup, lengths: Iterable[SupportsIndex], samples: SupportsIndex,
                seed: SeedLike = None, nested: bool = False,
                progress: Progress | None = None) -> Experiment:
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
    checked, count = validated(lengths, samples)
    root = _seed_sequence(seed)
    return _experiment("standard", group, checked, count, np.random.default_rng(root), root,
                       nested, None, progress)


def interleaved_rb(group: CliffordGroup, gate: GateLike, lengths: Iterable[SupportsIndex],
                   samples: SupportsIndex, seed: SeedLike = None, nested: bool = False,
                   progress: Progress | None = None) -> tuple[Experiment, Experiment]:
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
    checked, count = validated(lengths, samples, interleaved=True)
    root = _seed_sequence(seed)
    slot = _interleaved_slot(group, gate)
    rng = np.random.default_rng(root)
    reference = _experiment("reference", group, checked, count, rng, root, nested, None,
                            progress)
    interleaved = _experiment("interleaved", group, checked, count, rng, root, nested, slot,
                              progress)
    return reference, interleaved


def _site(site: SiteLike, taken: set[int]
          ) -> tuple[CliffordGroup, tuple[int, ...], _Slot | None]:
    """(group, physical qubits, slot or None) of one site, checked; `taken` collects the
    physical qubits of the sites before it."""
    if not isinstance(site, tuple) or len(site) not in (2, 3):
        raise TypeError(f"a site is (group, physical_qubits) or (group, physical_qubits,"
                        f" gate), not {site!r}")
    group, physical = site[:2]
    qubits = getattr(group, "qubits", None)
    if qubits not in (1, 2) or not hasattr(group, "query"):
        raise TypeError(f"a site's group must be a CliffordGroup of 1 or 2 qubits, not {group!r}")
    given = (physical,) if isinstance(physical, SupportsIndex) else physical
    try:
        labels = tuple(operator.index(q) for q in given)
    except TypeError:
        raise TypeError(f"physical qubits must be integers, not {physical!r}") from None
    if len(labels) != qubits or len(set(labels)) != qubits or min(labels) < 0:
        raise ValueError(f"a site of {qubits} qubit(s) needs {qubits} distinct non-negative"
                         f" physical qubit(s), not {physical!r}")
    for q in labels:
        if q in taken:
            raise ValueError(f"physical qubit {q} is in two sites")
        taken.add(q)
    return group, labels, _interleaved_slot(group, site[2]) if len(site) == 3 else None


def simultaneous_rb(sites: Iterable[SiteLike], lengths: Iterable[SupportsIndex],
                    samples: SupportsIndex, seed: SeedLike = None, nested: bool = False,
                    progress: Progress | None = None) -> SimultaneousExperiment:
    """RB on many disjoint sites of a chip at once, each site with its own sequences.

    Parameters
    ----------
    sites : sequence of tuple
        ``(group, physical_qubits)`` for standard RB on a site, or ``(group,
        physical_qubits, gate)`` for interleaved RB of `gate` (as `interleaved_rb`
        takes it); `physical_qubits` is one label or a pair, as many as the group's
        qubits, no label in two sites.
    lengths, samples, nested, progress
        As for `standard_rb`, shared by every site; `progress` counts the
        sequences of all sites.
    seed : int, numpy.random.Generator or numpy.random.SeedSequence, optional
        The root seed: site k draws from the k-th of ``len(sites)`` SeedSequences
        spawned from it, and records that seed (so ``standard_rb`` or
        ``interleaved_rb`` with it remakes the site's first round).

    Returns
    -------
    SimultaneousExperiment
        With rounds ``("standard",)``, or ``("reference", "interleaved")`` when a
        site is interleaved; a standard site then plays two independent standard
        experiments, one per round.

    Raises
    ------
    TypeError
        For a site that is not such a tuple, a group that is not a
        `CliffordGroup`, a physical label that is not an integer, and as for
        `standard_rb`.
    ValueError
        For no sites, a wrong number of physical qubits, a negative one or one in
        two sites, a gate `interleaved_rb` refuses, and as for `standard_rb`.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> chip = simultaneous_rb([(group, 4), (group, [2], "X/2")], [1, 8, 32], 5, seed=1)
    >>> chip.rounds, chip.width, [site.physical for site in chip.sites]
    (('reference', 'interleaved'), 5, [(4,), (2,)])
    >>> chip.programs()[0]
    ('reference/m0001_s000', 'reference', 1, 0)
    """
    if isinstance(sites, (str, bytes)) or not hasattr(sites, "__iter__"):
        raise TypeError(f"sites must be a sequence of (group, physical_qubits[, gate]), not"
                        f" {sites!r}")
    taken: set[int] = set()
    checked = [_site(site, taken) for site in sites]
    if not checked:
        raise ValueError("a simultaneous experiment needs at least one site")
    interleaved = any(slot is not None for _, _, slot in checked)
    checked_lengths, count = validated(lengths, samples, interleaved)
    entropy, spawn_key = _recorded(_seed_sequence(seed))
    # Spawned from a fresh copy: a SeedSequence given may have spawned children already.
    children = np.random.SeedSequence(entropy, spawn_key=spawn_key).spawn(len(checked))
    rounds = ("reference", "interleaved") if interleaved else ("standard",)
    total = len(checked) * len(rounds) * len(checked_lengths) * count
    done = 0

    def counted(finished: int, _: int) -> None:
        if progress:
            progress(done + finished, total)

    built: list[Site] = []
    for (group, labels, slot), child in zip(checked, children):
        rng = np.random.default_rng(child)
        experiments: list[Experiment] = []
        for k, name in enumerate(rounds):
            name, kind = ("standard", None) if slot is None else (name, slot if k else None)
            experiments.append(_experiment(name, group, checked_lengths, count, rng, child,
                                           nested, kind, counted))
            done += len(checked_lengths) * count
        built.append(Site(labels, tuple(experiments)))
    return SimultaneousExperiment(rounds, checked_lengths, count, entropy, nested, tuple(built),
                                  max(max(site.physical) for site in built) + 1, spawn_key)
