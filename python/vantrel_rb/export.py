"""Export of experiments as OpenQASM 3 programs and JSON, and reading them back.

Qubit 0 of every export is the first Kronecker factor of the two-qubit gates. The
identity code is an idle on hardware, so it is dropped unless asked for.

Three kinds of experiment are exported: an `Experiment`, a ``(reference,
interleaved)`` pair from `interleaved_rb`, and a `SimultaneousExperiment`. Each
program has a name: ``"<experiment>/m<length:04d>_s<sample:03d>"`` for the sequence
of an experiment, ``"<round>/m…_s…"`` for a simultaneous program. A program plays
every Clifford as its own block, a barrier between blocks, so that no compiler
merges gates (not even a virtual ``rz``) across Cliffords; with a native basis each
element, the recovery included, is played as its fewest-gate native circuit
(`CliffordGroup.native`), while an interleaved gate given as ``(name, matrix)``
stays that one gate.

The JSON document (``experiment.json``) holds ``"format"`` (``"vantrel_rb
experiment"``), ``"version"`` (2), ``"kind"`` (``"experiment"``, ``"interleaved
pair"`` or ``"simultaneous"``), the export's ``"basis"``, ``"keep_identity"``,
``"layout"``, and a ``"programs"`` list naming every program (``"program"``,
``"round"``, ``"length"``, ``"sample"``; its OpenQASM 3 text as ``"qasm"`` in the
single-file layout). An experiment record holds what remakes the `Experiment`:
name, qubits, lengths, samples, seed, spawn key, nesting, table digest, the
interleaved element and gate names, ``"words"`` (each used element's catalogue
word, once), ``"gates"`` (each gate name's OpenQASM 3 text, with the matrix of a
native gate) and per sequence its program, length, sample, elements and recovery
gate names. The kinds ``"experiment"`` and ``"interleaved pair"`` list their
experiment records under ``"experiments"`` with the register (``"physical"``,
``"width"``); a simultaneous document holds its rounds, lengths, samples, seed,
spawn key, nesting and width, and per site its ``"physical"`` qubits and
``"experiments"`` (one record per round).
"""

import collections
import errno
import functools
import itertools
import json
import operator
import os
import pathlib
import shutil
import tempfile
import weakref
from collections.abc import Callable, Iterable, Iterator
from typing import Any, SupportsIndex, TypeAlias, TypeVar

import numpy as np
import numpy.typing as npt

from .experiments import (Experiment, Progress, Sequence, SimultaneousExperiment, Site, _Drawn,
                          _Words, program_name)
from .gates import Gate, catalogue, equal_up_to_phase
from .group import CliffordGroup, loaded
from .native import BasisLike, NativeBasis, _Compiled, compiled
from .tablefile import ORDER

__all__ = ["to_qasm3", "to_json", "write_experiment", "read_experiment", "programs"]

FORMAT, VERSION = "vantrel_rb experiment", 2
DOCUMENT = "experiment.json"
LAYOUTS = ("files", "single")
_T = TypeVar("_T")
_C = TypeVar("_C")
#: What is exported: one experiment, a (reference, interleaved) pair or a simultaneous one.
_Exported: TypeAlias = Experiment | tuple[Experiment, Experiment] | SimultaneousExperiment
#: A basis to compile to, or None for the catalogue words (a string, as BasisLike is).
_Basis: TypeAlias = "BasisLike | None"
#: Physical qubit labels, as the caller gives them.
_Physical: TypeAlias = Iterable[SupportsIndex]
#: (name, round, length, sample, make) of one program, `make()` giving its text.
_Listed: TypeAlias = tuple[str, str, int, int, Callable[[], str]]


# --- Where the qubits go --------------------------------------------------------------


class _Register:
    """The register a program declares and how a site's qubits sit in it.

    Without physical labels the program declares the site's own qubits and measures
    them with ``c = measure q;``, as it always did; with labels ``physical[j]`` plays
    sequence qubit j and is measured into ``c[j]``.
    """

    def __init__(self, qubits: int, physical: _Physical | None = None,
                 width: SupportsIndex | None = None) -> None:
        if physical is None and width is not None:  # the first qubits of a wider register
            physical = range(qubits)
        self.labels: tuple[int, ...] | None = None
        if physical is None:
            self.width = qubits
            self.barrier, self.measure = "barrier q;\n", "c = measure q;\n"
            self.declare = f"qubit[{qubits}] q;\nbit[{qubits}] c;\n"
            return
        self.labels, self.width = _labels(physical, qubits, width)
        self.barrier = f"barrier {', '.join(f'q[{k}]' for k in self.labels)};\n"
        self.measure = "".join(f"c[{j}] = measure q[{k}];\n" for j, k in enumerate(self.labels))
        self.declare = f"qubit[{self.width}] q;\nbit[{qubits}] c;\n"


def _template(text: str) -> str:
    """`text` with q[0] and q[1] written as q[\1] and q[\2], which no text holds."""
    return text.replace("q[0]", "q[\1]").replace("q[1]", "q[\2]")


def _put(template: str, labels: tuple[int, ...]) -> str:
    """A template's qubits given their physical labels."""
    for k, label in enumerate(labels):
        template = template.replace(chr(1 + k), str(label))
    return template


def _place(text: str, labels: tuple[int, ...] | None) -> str:
    """`text`, written on q[0], q[1], moved onto the physical qubits `labels`."""
    if labels is None or labels == tuple(range(len(labels))):
        return text
    return _put(_template(text), labels)


# The texts of every element placed on a register, the most recent first used: a
# chip's export places each block set once per site, in one pass over all its texts.
_PLACED: "collections.OrderedDict[tuple[int, tuple[int, ...]], tuple[list[str], list[str]]]" = (
    collections.OrderedDict())
_PLACED_KEPT = 16


# By the identity of a list of element texts (kept alive here): the template of the
# texts joined by NUL, which no block holds.
_TEMPLATES: dict[int, tuple[object, str]] = {}


def _placed_all(texts: list[str], labels: tuple[int, ...] | None) -> list[str]:
    """Every text of `texts` placed on `labels`, made once and kept for the next export."""
    if labels is None or labels == tuple(range(len(labels))):
        return texts
    key = (id(texts), labels)
    found = _PLACED.get(key)
    if found is not None and found[0] is texts:
        _PLACED.move_to_end(key)
        return found[1]
    # Each register replaces two characters of a template made once per text list.
    template = _by_identity(_TEMPLATES, texts, lambda texts: _template("\0".join(texts)))
    _PLACED[key] = (texts, _put(template, labels).split("\0"))
    while len(_PLACED) > _PLACED_KEPT:
        _PLACED.popitem(last=False)
    return _PLACED[key][1]


def _labels(physical: _Physical, qubits: int,
            width: SupportsIndex | None = None) -> tuple[tuple[int, ...], int]:
    """Physical labels and register width, checked: (tuple of int, int)."""
    if isinstance(physical, (str, bytes)) or not hasattr(physical, "__iter__"):
        raise TypeError(f"physical must be a sequence of qubit labels, not {physical!r}")
    try:
        labels = tuple(operator.index(k) for k in physical)
    except TypeError:
        raise TypeError(f"physical qubit labels must be integers, got {physical!r}") from None
    if len(labels) != qubits:
        raise ValueError(f"{len(labels)} physical label(s) {list(labels)} for {qubits} qubit(s)")
    if min(labels) < 0:
        raise ValueError(f"physical qubit labels must be non-negative, got {list(labels)}")
    if len(set(labels)) < len(labels):
        raise ValueError(f"physical qubit label repeated in {list(labels)}")
    needed = max(labels) + 1
    if width is None:
        return labels, needed
    width = operator.index(width)
    if width < needed:
        raise ValueError(f"a register of width {width} has no qubit {needed - 1}")
    return labels, width


# --- Clifford blocks, each made once ----------------------------------------------------

_GROUP_DATA: weakref.WeakKeyDictionary[CliffordGroup, dict[tuple[int, ...], int]] = (
    weakref.WeakKeyDictionary())  # group -> its element of each word
_NATIVE_TEXT: weakref.WeakKeyDictionary[_Compiled, dict[bool, list[str]]] = (
    weakref.WeakKeyDictionary())  # compilation -> {keep_identity: texts by element}


def _group_for(table: str | None = None, qubits: int | None = None,
               group: CliffordGroup | None = None) -> CliffordGroup:
    """The loaded group an experiment or sequence was drawn from."""
    if group is not None:
        if table is not None and group.digest != table:
            raise ValueError(f"the experiment was drawn from table {table[:12]}…, not from"
                             f" {group.path} ({group.digest[:12]}…)")
        if qubits is not None and group.qubits != qubits:
            raise ValueError(f"a {group.qubits}-qubit group for a {qubits}-qubit sequence")
        return group
    found = loaded(digest=table) if table is not None else loaded(qubits=qubits)
    if len(found) != 1:
        what = f"table {table[:12]}…" if table is not None else f"{qubits} qubit(s)"
        raise ValueError(f"{'no' if not found else 'more than one'} CliffordGroup of {what} is"
                         " loaded: pass group= to compile to a native basis")
    return found[0]


def _element_of_word(group: CliffordGroup) -> dict[tuple[int, ...], int]:
    """Each element by its word's codes (a recovery is the stored word of an element)."""
    if group not in _GROUP_DATA:
        _GROUP_DATA[group] = {word: i for i, word in enumerate(group.words)}
    return _GROUP_DATA[group]


def _basis_of_size(basis: BasisLike, qubits: int) -> BasisLike:
    """The basis as one group of `qubits` takes it: on one qubit only rz and sx count, so
    that one basis serves the qubits and the pairs of a chip."""
    if qubits == 2 or isinstance(basis, NativeBasis):
        return basis
    items = basis.split(",") if isinstance(basis, str) else list(basis)
    return ",".join(item.strip() for item in items
                    if isinstance(item, str) and item.strip() in ("rz", "sx")) or basis


def _gates_text(gates: Iterable[Gate], keep_identity: bool) -> str:
    return "".join(f"{gate.qasm}\n" for gate in gates if keep_identity or not gate.is_identity)


# Each element's index as text, for the element lists of the programs and the JSON.
_NUMBERS = [str(k) for k in range(max(ORDER.values()))]
# By the identity of a words container (kept alive here): each element's catalogue
# text per keep_identity, and its gate names as JSON.
_WORD_TEXTS: dict[int, tuple[object, dict[bool, list[str]]]] = {}
_WORD_NAMES: dict[int, tuple[object, tuple[list[str], list[str]]]] = {}
_WORD_CODES: dict[int, tuple[object, npt.NDArray[np.int64]]] = {}
# By the identity of a list of element texts (kept alive here): the texts escaped.
_ESCAPED_TEXTS: dict[int, tuple[object, list[str]]] = {}


def _by_identity(cache: dict[int, tuple[object, _T]], container: _C,
                 make: Callable[[_C], _T]) -> _T:
    """`make(container)`, once per container object; the containers of read experiments
    are dropped after a few."""
    found = cache.get(id(container))
    if found is None or found[0] is not container:
        if len(cache) > 8:
            cache.clear()
        found = cache[id(container)] = (container, make(container))
    return found[1]


_QUOTED = json.encoder.encode_basestring_ascii


def _escaped(text: str) -> str:
    """`text` as json.dumps writes it inside a string, without the quotes. Escaping maps
    each character on its own, so the escape of joined texts is the join of their
    escapes; and it leaves ``q[0]`` as it is, so placing escaped text on physical qubits
    escapes the placed text."""
    return _QUOTED(text)[1:-1]


def _escaped_all(texts: list[str]) -> list[str]:
    """Every text of `texts` escaped, made once per list."""
    return _by_identity(_ESCAPED_TEXTS, texts, lambda texts: list(map(_escaped, texts)))


def _word_texts(words: _Words, qubits: int, keep_identity: bool) -> list[str]:
    """Each element's catalogue word as text on q[0], q[1] (empty where `words` has none)."""
    def make(words: _Words) -> dict[bool, list[str]]:
        return {}
    texts = _by_identity(_WORD_TEXTS, words, make)
    if keep_identity not in texts:
        found = [""] * ORDER[qubits]
        for e in (range(len(words)) if isinstance(words, tuple) else words):
            found[e] = _gates_text(words[e], keep_identity)
        texts[keep_identity] = found
    return texts[keep_identity]


def _word_names(words: _Words, qubits: int) -> tuple[list[str], list[str]]:
    """Each element's gate names as a JSON list, as the recoveries of the JSON write
    them, and its ``"element": [gate names]`` entry of the JSON ``"words"``."""
    def make(words: _Words) -> tuple[list[str], list[str]]:
        names, entries = [""] * ORDER[qubits], [""] * ORDER[qubits]
        for e in (range(len(words)) if isinstance(words, tuple) else words):
            names[e] = json.dumps([gate.name for gate in words[e]])
            entries[e] = f'"{e}": {names[e]}'
        return names, entries
    return _by_identity(_WORD_NAMES, words, make)


def _word_codes(words: tuple[tuple[Gate, ...], ...], qubits: int) -> npt.NDArray[np.int64]:
    """Each element's catalogue codes as bits of one integer (bit c for code c)."""
    def make(words: tuple[tuple[Gate, ...], ...]) -> npt.NDArray[np.int64]:
        return np.array([sum(1 << (gate.code or 0) for gate in set(word)) for word in words],
                        dtype=np.int64)
    return _by_identity(_WORD_CODES, words, make)


@functools.cache
def _ascii_numbers() -> tuple[npt.NDArray[np.bytes_], npt.NDArray[np.intp]]:
    """Each element's ``b"k, "``, NUL-padded to one width; and its length."""
    numbers = [f"{n}, ".encode() for n in _NUMBERS]
    return np.array(numbers), np.array(list(map(len, numbers)), dtype=np.intp)


# By the identity of a drawn store (kept alive here): all its elements as one ASCII list.
_ELEMENT_TEXTS: dict[int, tuple[object, tuple[bytes, npt.NDArray[np.intp]]]] = {}


def _element_texts(drawn: _Drawn) -> tuple[bytes, npt.NDArray[np.intp]]:
    """Every element of the store as ``b"3, 17, 9, "`` and where each element's text
    starts, made at once for all its sequences: no text holds a NUL but the padding."""
    numbers, widths = _ascii_numbers()
    text = numbers[drawn.elements].tobytes().replace(b"\0", b"")
    return text, np.concatenate(([0], np.cumsum(widths[drawn.elements])))


def _whole_store(sequences: tuple[Sequence, ...]) -> _Drawn | None:
    """The drawn store that holds exactly these sequences, in their order; None for
    sequences made one by one."""
    drawn = sequences[0]._drawn
    if drawn.words and len(sequences) == len(drawn.starts) - 1 and all(
            s._drawn is drawn and s._index == i for i, s in enumerate(sequences)):
        return drawn
    return None


def _element_list(sequence: Sequence) -> str:
    """The sequence's elements as the JSON and the program header write them."""
    drawn, i = sequence._drawn, sequence._index
    if not drawn.words:  # made by hand: its elements may be any int
        return ", ".join(map(str, sequence._array().tolist()))
    # A drawn or read sequence's elements are the group's.
    text, at = _by_identity(_ELEMENT_TEXTS, drawn, _element_texts)
    begin, end = int(at[drawn.starts[i]]), int(at[drawn.starts[i + 1]])
    return text[begin:max(begin, end - 2)].decode()


# By the identity of a list of element texts (kept alive here): the texts as an array,
# and which of them play a gate.
_TEXT_ARRAYS: dict[int, tuple[object, tuple[npt.NDArray[np.object_], npt.NDArray[np.bool_]]]] = {}


def _text_array(texts: list[str]) -> tuple[npt.NDArray[np.object_], npt.NDArray[np.bool_]]:
    table = np.empty(len(texts), dtype=object)
    table[:] = texts
    return table, np.array(list(map(bool, texts)), dtype=bool)


class _Blocks:
    """The text of every Clifford block of one group, basis and keep_identity, placed on
    one register's physical qubits.

    A drawn sequence's blocks are looked up by element in texts made once per group,
    basis and keep_identity and placed once per register; the interleaved slot and a
    recovery not known by element are made per sequence. A block is one or more
    complete lines; an empty block is dropped from the program, barrier and all.
    `escaped` blocks are JSON-escaped (see `_escaped`), each text escaped once before
    it is placed, so that a program inside a JSON document is joined from them.
    """

    def __init__(self, qubits: int, keep_identity: bool, basis: _Basis = None,
                 group: CliffordGroup | None = None, labels: tuple[int, ...] | None = None,
                 escaped: bool = False) -> None:
        self.qubits, self.keep_identity, self.labels = qubits, keep_identity, labels
        self.escaped = escaped
        self.compiled: _Compiled | None = None
        self.by_gates: dict[int, tuple[tuple[Gate, ...], str]] = {}  # id -> (gates, text)
        # id of a drawn store -> (store, every element's block, where a block plays a gate)
        self.by_drawn: dict[int, tuple[_Drawn, npt.NDArray[np.object_],
                                       npt.NDArray[np.bool_]]] = {}
        if basis is not None:
            assert group is not None, "a basis compiles with a group"
            self.compiled = compiled(group, _basis_of_size(basis, qubits))
            self.native = _placed_all(
                self._own(_native_texts(self.compiled, keep_identity, group)), labels)
            self.element_of_word = _element_of_word(group)
            self.entangler = self.compiled.gates[0]

    def _own(self, texts: list[str]) -> list[str]:
        """Texts of every element, escaped when the blocks are."""
        return _escaped_all(texts) if self.escaped else texts

    def _of_gates(self, gates: tuple[Gate, ...]) -> str:
        found = self.by_gates.get(id(gates))
        if found is None or found[0] is not gates:
            text = _place(_gates_text(gates, self.keep_identity), self.labels)
            found = self.by_gates[id(gates)] = (gates, _escaped(text) if self.escaped else text)
        return found[1]

    def _element(self, gates: tuple[Gate, ...], sequence: Sequence) -> int:
        """The element a recovery's gates are the word of."""
        element = self.element_of_word.get(tuple(-1 if gate.code is None else gate.code
                                                 for gate in gates))
        if element is None:
            raise ValueError(f"the recovery of sequence (length {sequence.length}, sample"
                             f" {sequence.sample}) is no element's word of this group")
        return element

    def _drawn_blocks(self, drawn: _Drawn) -> tuple[npt.NDArray[np.object_],
                                                     npt.NDArray[np.bool_]]:
        """Every element's block of a drawn store, its interleaved slots in place, and
        where a block plays a gate: made at once for all the store's sequences."""
        found = self.by_drawn.get(id(drawn))
        if found is not None and found[0] is drawn:
            return found[1], found[2]
        texts = self.native if self.compiled is not None else _placed_all(
            self._own(_word_texts(drawn.words, self.qubits, self.keep_identity)), self.labels)
        table, playing = _by_identity(_TEXT_ARRAYS, texts, _text_array)
        blocks, plays = table[drawn.elements], playing[drawn.elements]
        if drawn.slot is not None:  # every sequence starts at an even place
            # With a basis only a gate given natively is played as it is.
            slot = (self._of_gates(drawn.slot) if self.compiled is None
                    or drawn.slot[0].code is None else self.native[int(drawn.elements[1])])
            blocks[1::2], plays[1::2] = slot, bool(slot)
        self.by_drawn[id(drawn)] = (drawn, blocks, plays)
        return blocks, plays

    def _recovery(self, sequence: Sequence) -> str:
        drawn, i = sequence._drawn, sequence._index
        recovery = drawn.recoveries[i]
        if self.compiled is None:
            return self._of_gates(recovery)
        if drawn.recovery_elements is not None:
            return self.native[int(drawn.recovery_elements[i])]
        return self.native[self._element(recovery, sequence)]

    def row(self, sequence: Sequence) -> tuple[npt.NDArray[np.object_], npt.NDArray[np.bool_]]:
        """Every block of the sequence before its recovery, in time order, and where a
        block plays a gate."""
        drawn, i = sequence._drawn, sequence._index
        if drawn.words:
            every, plays = self._drawn_blocks(drawn)
            begin, end = drawn.starts[i], drawn.starts[i + 1]
            return every[begin:end], plays[begin:end]
        # Made from gates, not drawn: block by block.
        texts = [self._of_gates(gates) if self.compiled is None or gates[:1]
                 and gates[0].code is None else self.native[e]
                 for e, gates in zip(sequence._array().tolist(), sequence.cliffords)]
        return _text_array(texts)

    def of_sequence(self, sequence: Sequence) -> list[str]:
        """The sequence's blocks that play a gate, in time order, the recovery last."""
        every, plays = self.row(sequence)
        blocks: list[str] = every[plays].tolist()
        last = self._recovery(sequence)
        return blocks + [last] if last else blocks

    def gates(self) -> list[Gate]:
        """The gates of its own these blocks play that a program may need to define."""
        return [self.entangler] if self.compiled is not None else []

    def definitions(self, gates: Iterable[Gate]) -> list[str]:
        """The gate definitions a program of these blocks and of `gates` (its native
        interleaved gates) needs, in order."""
        return _declarations([*self.gates(), *gates])


def _declarations(gates: Iterable[Gate]) -> list[str]:
    """The definitions of the gates that need one, each name declared once; ValueError
    when two gates of one name perform different operations, which no program can
    declare both."""
    named: dict[str, Gate] = {}
    for gate in gates:
        if gate.definition is not None:
            first = named.setdefault(gate.name, gate)
            if not equal_up_to_phase(first.matrix, gate.matrix):
                raise ValueError(f"two different gates are named {gate.name!r}: a program"
                                 " declares a gate once")
    return [gate.definition for gate in named.values() if gate.definition]


def _native_texts(compilation: _Compiled, keep_identity: bool, group: CliffordGroup) -> list[str]:
    """Every element's native circuit as text, made once per compilation."""
    texts = _NATIVE_TEXT.setdefault(compilation, {})
    if keep_identity not in texts:
        idle = "".join(f"id q[{k}];\n" for k in range(group.qubits)) if keep_identity else ""
        texts[keep_identity] = [_gates_text(compilation.circuit(i), True) or idle
                                for i in range(group.order)]
    return texts[keep_identity]


_HEAD = 'OPENQASM 3.0;\ninclude "stdgates.inc";\n'


def _sequence_program(sequence: Sequence, blocks: _Blocks, register: _Register,
                      definitions: list[str], barriers: bool = True) -> str:
    """The sequence's program, JSON-escaped when `blocks` are."""
    lines = "".join(f"{d}\n" for d in definitions)
    head = (f"{_HEAD}// RB sequence: length {sequence.length}, sample {sequence.sample},"
            f" elements [{_element_list(sequence)}]\n{lines}{register.declare}")
    barrier, measure = register.barrier if barriers else "", register.measure
    if blocks.escaped:
        head, barrier, measure = _escaped(head), _escaped(barrier), _escaped(measure)
    return head + barrier.join(blocks.of_sequence(sequence)) + measure


class _Round:
    """The blocks of every site of one round of a simultaneous experiment, stacked: the
    drawn sites whose sequences have the same numbers of blocks (standard or
    interleaved) share arrays of sites × blocks, so that a program takes its blocks of
    all of them in one slice. Sites whose sequences were made one by one are taken
    sequence by sequence."""

    def __init__(self, simultaneous: SimultaneousExperiment, round_index: int,
                 site_blocks: list[_Blocks]) -> None:
        by_shape: dict[tuple[int, ...], list[int]] = {}
        self.alone: list[int] = []
        for k, site in enumerate(simultaneous.sites):
            drawn = _whole_store(site.experiments[round_index].sequences)
            if drawn is not None:
                by_shape.setdefault(tuple(drawn.starts), []).append(k)
            else:
                self.alone.append(k)
        # (rows, starts, blocks, plays, recoveries, whether each recovery plays)
        self.stacks = []
        for starts, rows in by_shape.items():
            made = [site_blocks[k]._drawn_blocks(
                simultaneous.sites[k].experiments[round_index].sequences[0]._drawn)
                for k in rows]
            last = np.array([[site_blocks[k]._recovery(s) for s in simultaneous.sites[k]
                              .experiments[round_index].sequences] for k in rows], dtype=object)
            self.stacks.append((np.array(rows), starts, np.stack([b for b, _ in made]),
                                np.stack([p for _, p in made]), last, last.astype(bool)))


def _simultaneous_program(simultaneous: SimultaneousExperiment, round_index: int, index: int,
                          site_blocks: list[_Blocks], definitions: list[str],
                          barriers: bool = True,
                          rounds: dict[int, _Round] | None = None) -> str:
    """Program `index` of round `round_index`, JSON-escaped when the sites' blocks are;
    `rounds` keeps each round's stacked blocks for the next program."""
    length, sample = divmod(index, simultaneous.samples)
    rounds = {} if rounds is None else rounds
    if round_index not in rounds:
        rounds[round_index] = _Round(simultaneous, round_index, site_blocks)
    stacked = rounds[round_index]
    alone = [(k, simultaneous.sites[k].experiments[round_index].sequences[index])
             for k in stacked.alone]
    rows = [(k, sequence, site_blocks[k].row(sequence)) for k, sequence in alone]
    # A layer per column, the sites' blocks in its rows and a barrier below them: each
    # site right-aligned, so that a site with fewer blocks starts later and every
    # recovery (the last column) ends at the common measurement. A site idles through
    # the layer of an element it plays no gate for, so its other elements keep their
    # layers; a layer where no site plays is left out.
    depth = 1 + max([starts[index + 1] - starts[index] for _, starts, *_ in stacked.stacks]
                    + [len(texts) for _, _, (texts, _) in rows])
    grid = np.full((len(simultaneous.sites) + 1, depth), "", dtype=object)
    played = np.zeros(depth, dtype=bool)
    for sites, starts, blocks, plays, last, last_plays in stacked.stacks:
        begin, end = starts[index], starts[index + 1]
        grid[sites, depth - 1 - end + begin:-1] = blocks[:, begin:end]
        grid[sites, -1] = last[:, index]
        played[depth - 1 - end + begin:-1] |= plays[:, begin:end].any(axis=0)
        played[-1] |= last_plays[:, index].any()
    for k, sequence, (texts, plays) in rows:
        grid[k, depth - 1 - len(texts):-1] = texts
        grid[k, -1] = recovery = site_blocks[k]._recovery(sequence)
        played[depth - 1 - len(texts):-1] |= plays
        played[-1] |= bool(recovery)
    width = simultaneous.width
    lines = "".join(f"{d}\n" for d in definitions)
    head = (f"{_HEAD}// simultaneous RB: round {simultaneous.rounds[round_index]}, length"
            f" {simultaneous.lengths[length]}, sample {sample}, {len(simultaneous.sites)}"
            f" sites\n{lines}qubit[{width}] q;\nbit[{width}] c;\n")
    barrier, measure = "barrier q;\n" if barriers else "", "c = measure q;\n"
    if site_blocks[0].escaped:
        head, barrier, measure = _escaped(head), _escaped(barrier), _escaped(measure)
    layers = grid[:, played]
    if not layers.size:
        return head + measure
    layers[-1] = barrier
    layers[-1, -1] = measure  # after the last layer
    return head + "".join(layers.T.ravel().tolist())


# --- The three kinds --------------------------------------------------------------------


def _kind(experiment: _Exported) -> tuple[str, tuple[Experiment, ...]]:
    """('experiment' | 'interleaved pair' | 'simultaneous', its experiments): a
    simultaneous experiment lists none here, its experiments being its sites'."""
    if isinstance(experiment, Experiment):
        return "experiment", (experiment,)
    if isinstance(experiment, SimultaneousExperiment):
        return "simultaneous", ()
    if (isinstance(experiment, tuple) and len(experiment) == 2
            and all(isinstance(e, Experiment) for e in experiment)
            and [e.name for e in experiment] == ["reference", "interleaved"]):
        return "interleaved pair", experiment
    raise TypeError("expected an Experiment, a (reference, interleaved) pair or a"
                    f" SimultaneousExperiment, not {type(experiment).__name__}")


def _layout(layout: str) -> str:
    if layout not in LAYOUTS:
        raise ValueError(f"layout must be one of {', '.join(LAYOUTS)}, not {layout!r}")
    return layout


def _program_list(experiment: _Exported, basis: _Basis, physical: _Physical | None,
                  width: SupportsIndex | None, keep_identity: bool, group: CliffordGroup | None,
                  barriers: bool = True, escaped: bool = False) -> list[_Listed]:
    """[(name, round, length, sample, make)]: every program of an export, `make()` giving
    its text (JSON-escaped if `escaped`); the blocks are shared by all programs of the
    export."""
    _, experiments = _kind(experiment)
    if isinstance(experiment, SimultaneousExperiment):
        if physical is not None or width is not None:
            raise ValueError("a simultaneous experiment places its sites itself: no physical="
                             " or width=")
        site_blocks: list[_Blocks] = []
        for site in experiment.sites:
            first = site.experiments[0]
            own = group if group is not None and group.digest == first.table else None
            found = None if basis is None else _group_for(first.table, first.qubits, own)
            register = _Register(first.qubits, site.physical, experiment.width)
            site_blocks.append(_Blocks(first.qubits, keep_identity, basis, found,
                                       register.labels, escaped))
        gates = [g for site in experiment.sites for e in site.experiments for g in e.interleaved]
        definitions = _declarations([*(g for blocks in site_blocks for g in blocks.gates()),
                                     *gates])
        count = len(experiment.lengths) * experiment.samples
        rounds: dict[int, _Round] = {}  # made by the round's first program, then shared
        return [(program_name(round_, experiment.lengths[i // experiment.samples],
                              i % experiment.samples), round_,
                 experiment.lengths[i // experiment.samples], i % experiment.samples,
                 functools.partial(_simultaneous_program, experiment, r, i, site_blocks,
                                   definitions, barriers, rounds))
                for r, round_ in enumerate(experiment.rounds) for i in range(count)]
    first = experiments[0]
    found = None if basis is None else _group_for(first.table, first.qubits, group)
    register = _Register(first.qubits, physical, width)
    blocks = _Blocks(first.qubits, keep_identity, basis, found, register.labels, escaped)
    listed: list[_Listed] = []
    for e in experiments:
        definitions = blocks.definitions(e.interleaved)
        listed.extend((program_name(e.name, s.length, s.sample), e.name, s.length, s.sample,
                       functools.partial(_sequence_program, s, blocks, register, definitions,
                                         barriers))
                      for s in e.sequences)
    return listed


def programs(experiment: _Exported, *, basis: _Basis = None,
             physical: _Physical | None = None, width: SupportsIndex | None = None,
             keep_identity: bool = False,
             group: CliffordGroup | None = None) -> Iterator[tuple[str, str]]:
    """Every program of an experiment, as ``(name, OpenQASM 3 text)`` pairs in order.

    Parameters
    ----------
    experiment : Experiment, (Experiment, Experiment) or SimultaneousExperiment
    basis, physical, width, keep_identity, group
        As for `to_qasm3`.

    Yields
    ------
    (str, str)
        The program's name (``"standard/m0004_s002"``) and text, made one at a time
        from blocks made once per element.
    """
    for name, _, _, _, make in _program_list(experiment, basis, physical, width, keep_identity,
                                              group):
        yield name, make()


def to_qasm3(sequence: Sequence | _Exported, keep_identity: bool = False,
             barriers: bool = True, *, basis: _Basis = None,
             physical: _Physical | None = None, width: SupportsIndex | None = None,
             group: CliffordGroup | None = None, program: str | None = None) -> str:
    """An OpenQASM 3 program playing one sequence on ``|0…0⟩`` and measuring its qubits.

    Parameters
    ----------
    sequence : Sequence, Experiment, (Experiment, Experiment) or SimultaneousExperiment
        A sequence; or an experiment of any kind with `program`, the name of one of
        its programs.
    keep_identity : bool, optional
        Write the identity code (with a basis: a Clifford of no native gate) as
        ``id`` instead of dropping it.
    barriers : bool, optional
        Put a barrier between Cliffords, so a compiler does not merge them.
    basis : str, sequence or NativeBasis, optional
        Play every element as its native circuit in this basis (see `native_basis`;
        on one qubit only its ``rz`` and ``sx`` count). The OpenQASM 3 uses the
        standard ``rz``, ``sx``, ``cz`` and ``cx`` and defines any other entangler
        by its name. None: the catalogue words.
    physical : sequence of int, optional
        Play qubit j of the sequence on ``q[physical[j]]`` and measure it into
        ``c[j]``; barriers cover the sequence's qubits only.
    width : int, optional
        The register's width; by default the largest label plus one (without
        `physical`, the sequence's qubits are the first of the register).
    group : CliffordGroup, optional
        The group to compile with; by default the loaded group of the
        experiment's table (of the sequence's number of qubits).
    program : str, optional
        Which program of an experiment. A simultaneous program plays every site at
        once, in layers of one Clifford per site, a barrier over the whole register
        between layers; each site's blocks are aligned to the end, so a site with
        fewer blocks starts later and every site's recovery ends right before the
        common measurement of all qubits (``c = measure q;``).

    Returns
    -------
    str
        The program, using the standard gates of ``stdgates.inc``.

    Raises
    ------
    TypeError
        For physical labels or a width that are not integers.
    ValueError
        For repeated or negative labels, a label count other than the sequence's
        qubits, a width too small, an unknown program, a basis `native_basis`
        refuses, or, with a basis, no loaded group to compile with.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> sequence = standard_rb(group, [1], 1, seed=3).sequences[0]
    >>> print(to_qasm3(sequence), end="")
    OPENQASM 3.0;
    include "stdgates.inc";
    // RB sequence: length 1, sample 0, elements [19]
    qubit[1] q;
    bit[1] c;
    x q[0];
    ry(pi/2) q[0];
    barrier q;
    x q[0];
    ry(pi/2) q[0];
    c = measure q;
    >>> print(to_qasm3(sequence, basis="rz,sx", physical=[2]), end="")
    OPENQASM 3.0;
    include "stdgates.inc";
    // RB sequence: length 1, sample 0, elements [19]
    qubit[3] q;
    bit[1] c;
    rz(-pi/2) q[2];
    sx q[2];
    rz(-pi/2) q[2];
    barrier q[2];
    rz(-pi/2) q[2];
    sx q[2];
    rz(-pi/2) q[2];
    c[0] = measure q[2];
    """
    if isinstance(sequence, Sequence):
        if program is not None:
            raise ValueError("program= names a program of an experiment, not of a sequence")
        found = None if basis is None else _group_for(None, sequence.qubits, group)
        register = _Register(sequence.qubits, physical, width)
        blocks = _Blocks(sequence.qubits, keep_identity, basis, found, register.labels)
        gates = {id(g): g for gates in sequence.cliffords if gates and gates[0].code is None
                 for g in gates}
        return _sequence_program(sequence, blocks, register, blocks.definitions(gates.values()),
                                 barriers)
    listed = _program_list(sequence, basis, physical, width, keep_identity, group, barriers)
    for name, _, _, _, make in listed:
        if name == program or f"{name}.qasm" == program:
            return make()
    raise ValueError(f"no program named {program!r}: the programs are {listed[0][0]!r} to"
                     f" {listed[-1][0]!r}")


# --- JSON ---------------------------------------------------------------------------------


def _matrix_record(matrix: npt.ArrayLike) -> list[list[list[float]]]:
    return [[[float(z.real), float(z.imag)] for z in row] for row in np.asarray(matrix)]


class _Raw:
    """JSON text spliced into a document where json.dumps writes a marker string: the
    large lists are written by joining texts made once per element, not value by value."""

    MARK = "\0raw\0"

    def __init__(self) -> None:
        self.pieces: list[str] = []

    def __call__(self, text: str) -> str:
        self.pieces.append(text)
        return f"{self.MARK}{len(self.pieces) - 1}"

    def dumps(self, document: Any) -> str:
        parts = json.dumps(document).split(json.dumps(self.MARK)[:-1])
        out = [parts[0]]
        for part in parts[1:]:
            number, rest = part.split('"', 1)
            out += [self.pieces[int(number)], rest]
        return "".join(out)


def _experiment_record(experiment: Experiment, prefix: str | None, raw: _Raw) -> dict[str, Any]:
    """`experiment` as JSON values, its words and sequences as `raw` text; its sequences'
    programs are named after `prefix` (the round of a simultaneous experiment) or the
    experiment's name."""
    step = 2 if experiment.interleaved_element is not None else 1
    sequences = experiment.sequences
    drawn = _whole_store(sequences)
    if (drawn is not None and isinstance(drawn.words, tuple)
            and drawn.recovery_elements is not None):
        # Drawn from a group: its words are catalogue gates, found by code in bulk, and
        # the recoveries are its elements' words.
        named, entry = _word_names(drawn.words, experiment.qubits)
        codes_of = _word_codes(drawn.words, experiment.qubits)
        random = np.flatnonzero(np.bincount(drawn.elements[::step], minlength=len(named)))
        entries = list(map(entry.__getitem__, random.tolist()))
        codes = np.bitwise_or.reduce(codes_of[random]) | np.bitwise_or.reduce(
            codes_of[drawn.recovery_elements])
        played = [gate for gate in catalogue(experiment.qubits) if codes >> gate.code & 1]
        recoveries = list(map(named.__getitem__, drawn.recovery_elements.tolist()))
    else:  # read back or made by hand: their own gates
        found: dict[int, tuple[Gate, ...]] = {}
        for s in sequences:
            found.update(zip(s.elements[::step], s.cliffords[::step]))
        words = dict(sorted(found.items()))
        entries = [f'"{e}": {json.dumps([gate.name for gate in word])}'
                   for e, word in words.items()]
        played = list(itertools.chain(*{id(w): w for w in words.values()}.values()))
        by_id = {id(s.recovery): s.recovery for s in sequences}
        played += itertools.chain(*by_id.values())
        names = {key: json.dumps([gate.name for gate in gates]) for key, gates in by_id.items()}
        recoveries = [names[id(s.recovery)] for s in sequences]
    played += experiment.interleaved
    used = {gate.name: gate for gate in dict(zip(map(id, played), played)).values()}
    name = json.dumps(prefix or experiment.name)[1:-1]
    rows = [f'{{"program": "{name}/m{s.length:04d}_s{s.sample:03d}", "length": {s.length},'
            f' "sample": {s.sample}, "elements": [{_element_list(s)}], "recovery":'
            f' {recovery}}}' for s, recovery in zip(sequences, recoveries)]
    interleaved: dict[str, Any] | None = None
    if experiment.interleaved_element is not None:
        interleaved = {"element": experiment.interleaved_element,
                       "gates": [gate.name for gate in experiment.interleaved]}
    gates: dict[str, dict[str, Any]] = {}
    for gate_name, gate in sorted(used.items()):
        gates[gate_name] = {"qasm": gate.qasm}
        if gate.definition:
            gates[gate_name]["definition"] = gate.definition
        if gate.code is None:
            gates[gate_name]["matrix"] = _matrix_record(gate.matrix)
    return {"experiment": experiment.name, "qubits": experiment.qubits,
            "lengths": list(experiment.lengths), "samples": experiment.samples,
            "seed": experiment.seed, "spawn_key": list(experiment.spawn_key),
            "nested": experiment.nested, "table": experiment.table, "interleaved": interleaved,
            "words": raw("{" + ", ".join(entries) + "}"), "gates": gates,
            "sequences": raw("[" + ", ".join(rows) + "]")}


def _basis_record(basis: _Basis) -> str | None:
    if basis is None:
        return None
    if isinstance(basis, NativeBasis):
        return basis.name
    if isinstance(basis, str):
        return ",".join(part.strip() for part in basis.split(","))
    return ",".join(item if isinstance(item, str) else str(item[0]) for item in basis)


def _document(experiment: _Exported, listed: list[_Listed], basis: _Basis,
              physical: _Physical | None, width: SupportsIndex | None, keep_identity: bool,
              layout: str) -> str:
    """The JSON text of the document; for the single layout, `listed` makes each program
    JSON-escaped (``_program_list(..., escaped=True)``), spliced in as it is."""
    kind, experiments = _kind(experiment)
    raw = _Raw()
    document: dict[str, Any] = {"format": FORMAT, "version": VERSION, "kind": kind,
                                "basis": _basis_record(basis), "keep_identity": keep_identity,
                                "layout": layout}
    if isinstance(experiment, SimultaneousExperiment):
        s = experiment
        document.update({
            "rounds": list(s.rounds), "lengths": list(s.lengths), "samples": s.samples,
            "seed": s.seed, "spawn_key": list(s.spawn_key), "nested": s.nested,
            "width": s.width,
            "sites": [{"physical": list(site.physical),
                       "experiments": [_experiment_record(e, round_, raw) for e, round_ in
                                       zip(site.experiments, s.rounds)]}
                      for site in s.sites]})
    else:
        register = None if physical is None else _labels(physical, experiments[0].qubits, width)
        document.update({"physical": None if register is None else list(register[0]),
                         "width": None if register is None else register[1],
                         "experiments": [_experiment_record(e, None, raw) for e in experiments]})
    document["programs"] = [
        {"program": name, "round": round_, "length": length, "sample": sample,
         **({"qasm": raw(f'"{make()}"')} if layout == "single" else {})}
        for name, round_, length, sample, make in listed]
    return raw.dumps(document)


def to_json(experiment: _Exported, keep_identity: bool = False, *,
            basis: _Basis = None, physical: _Physical | None = None,
            width: SupportsIndex | None = None, layout: str = "files",
            group: CliffordGroup | None = None) -> str:
    """The whole experiment as a JSON document, as `write_experiment` writes it.

    Parameters
    ----------
    experiment : Experiment, (Experiment, Experiment) or SimultaneousExperiment
    keep_identity, basis, physical, width, group
        As for `to_qasm3`; recorded, and used for the programs of the single layout.
    layout : {"files", "single"}, optional
        ``"single"`` puts every program's OpenQASM 3 text into the document.

    Returns
    -------
    str
        See the module's description of the document; `read_experiment` reads it.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> document = json.loads(to_json(standard_rb(group, [2, 8], 3, seed=5)))
    >>> record = document["experiments"][0]
    >>> record["lengths"], len(record["sequences"]), record["seed"]
    ([2, 8], 6, 5)
    >>> document["programs"][0]["program"]
    'standard/m0002_s000'
    """
    listed = _program_list(experiment, basis, physical, width, keep_identity, group,
                           escaped=layout == "single")
    return _document(experiment, listed, basis, physical, width, keep_identity, _layout(layout))


# --- Files ------------------------------------------------------------------------------


def _write_file(path: str | pathlib.Path, data: bytes) -> None:
    """One file in one write: no temporary, no fsync (the folder is renamed into place)."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        view = memoryview(data)
        while view:
            view = view[os.write(fd, view):]
    finally:
        os.close(fd)


def _tops(names: Iterable[str]) -> list[str]:
    """The top-level entries of a folder that programs of these names use."""
    return list(dict.fromkeys(name.split("/")[0] for name in names))


def _previous_tops(folder: pathlib.Path) -> list[str]:
    """The program folders of the experiment already in `folder`, as its JSON lists them."""
    try:
        document = json.loads((folder / DOCUMENT).read_bytes())
        names = [program["program"] for program in document["programs"]]
    except (OSError, ValueError, KeyError, TypeError):
        return []
    return [top for top in _tops(n for n in names if isinstance(n, str))
            if top not in ("", ".", "..", DOCUMENT) and os.sep not in top
            and (folder / top).is_dir()]


def write_experiment(experiment: _Exported, folder: str | os.PathLike[str], *,
                     basis: _Basis = None, physical: _Physical | None = None,
                     width: SupportsIndex | None = None, layout: str = "files",
                     replace: bool = False, keep_identity: bool = False,
                     progress: Progress | None = None,
                     group: CliffordGroup | None = None) -> pathlib.Path:
    """Writes an experiment into `folder`: ``experiment.json``, and with the files layout
    one ``<program>.qasm`` per program (``standard/m0004_s002.qasm``).

    The files are written into a temporary folder inside `folder` and renamed into
    place only when all are written: `folder` never holds a mix of two experiments'
    files, and a failure leaves it as it was. Files are written whole in one call
    each and not flushed to the disk one by one.

    Parameters
    ----------
    experiment : Experiment, (Experiment, Experiment) or SimultaneousExperiment
    folder : str or os.PathLike
        Created when missing.
    basis, physical, width, keep_identity, group
        As for `to_qasm3`.
    layout : {"files", "single"}, optional
        ``"single"`` writes ``experiment.json`` alone, the programs inside, for disks
        where creating many files is the cost.
    replace : bool, optional
        Replace the experiment in `folder`, all its files.
    progress : callable, optional
        Called as ``progress(done, total)`` after each program.

    Returns
    -------
    pathlib.Path
        The JSON file.

    Raises
    ------
    FileExistsError
        When `folder` already holds ``experiment.json`` or a program folder of this
        experiment and `replace` is false.
    OSError
        When `folder` cannot be made or a file cannot be written.
    TypeError, ValueError
        As for `to_qasm3`, and for an unknown layout.
    """
    layout = _layout(layout)
    listed = _program_list(experiment, basis, physical, width, keep_identity, group,
                           escaped=layout == "single")
    folder = pathlib.Path(folder)
    if os.path.lexists(folder) and not folder.is_dir():  # a file, or a link to nothing
        raise NotADirectoryError(errno.ENOTDIR, "not a folder", str(folder))
    tops = _tops(name for name, *_ in listed) if layout == "files" else []
    entries = [DOCUMENT, *tops]
    present = [folder / entry for entry in entries if os.path.lexists(folder / entry)]
    if present and not replace:
        raise FileExistsError(errno.EEXIST, "an experiment is already there"
                              " (replace=True replaces it)", str(present[0]))
    # The folders made here, deepest first: a failure takes them away again if empty.
    made = [f for f in (folder, *folder.parents) if not os.path.lexists(f)]
    try:
        folder.mkdir(parents=True, exist_ok=True)
        staging = pathlib.Path(tempfile.mkdtemp(prefix=".vantrel_rb-", dir=folder))
    except BaseException:
        _remove_empty(made)
        raise
    leaving = list(dict.fromkeys([*entries, *_previous_tops(folder)]))
    new, old = staging / "new", staging / "old"
    # Renames done, undone last first when a later step fails.
    moved: list[tuple[pathlib.Path, pathlib.Path]] = []
    keep = False
    try:
        new.mkdir()
        for top in tops:
            (new / top).mkdir()
        if layout == "files":
            under = f"{new}{os.sep}"  # a string: a path object per program costs more
            for done, (name, _, _, _, make) in enumerate(listed, 1):
                _write_file(f"{under}{name}.qasm", make().encode())
                if progress:
                    progress(done, len(listed))
        document = _document(experiment, listed, basis, physical, width, keep_identity, layout)
        _write_file(new / DOCUMENT, document.encode())
        if progress and layout == "single":
            progress(len(listed), len(listed))
        old.mkdir()
        # Every old entry leaves before any new one arrives, and the JSON last, so that
        # a JSON in the folder always lists programs that are all there.
        for entry in leaving:
            if os.path.lexists(folder / entry):
                os.rename(folder / entry, old / entry)
                moved.append((folder / entry, old / entry))
        for entry in [*tops, DOCUMENT]:
            os.rename(new / entry, folder / entry)
            moved.append((new / entry, folder / entry))
    except BaseException as error:
        try:
            for source, target in reversed(moved):
                os.rename(target, source)
        except OSError:
            keep = True  # the old files may still be in staging: never delete them
            error.add_note(f"the previous files are in {old}")
        if not keep:
            shutil.rmtree(staging, ignore_errors=True)
            _remove_empty(made)
        raise
    shutil.rmtree(staging, ignore_errors=True)
    return folder / DOCUMENT


def _remove_empty(folders: list[pathlib.Path]) -> None:
    """Removes the folders, deepest first, as far as they are empty."""
    for folder in folders:
        try:
            folder.rmdir()
        except OSError:
            return


# --- Reading back -----------------------------------------------------------------------


class _Damaged(ValueError):
    pass


def _get(record: object, key: str, kind: type[_T], where: str) -> _T:
    """`record[key]`, a `kind` (an int that is no bool), from a JSON object."""
    if not isinstance(record, dict) or key not in record:
        raise _Damaged(f"{where} has no {key!r}")
    value = record[key]
    if isinstance(value, kind) and not (kind is int and isinstance(value, bool)):
        return value
    raise _Damaged(f"{where}[{key!r}] is {value!r:.60}, not a {kind.__name__}")


def _ints(values: object, where: str, low: int = 0, high: int | None = None) -> tuple[int, ...]:
    if not isinstance(values, list) or not all(
            isinstance(v, int) and not isinstance(v, bool) for v in values):
        raise _Damaged(f"{where} is not a list of integers")
    if values and (min(values) < low or (high is not None and max(values) >= high)):
        bad = next(v for v in values if v < low or (high is not None and v >= high))
        raise _Damaged(f"{where} holds {bad}, outside {low}..{'' if high is None else high - 1}")
    return tuple(values)


def _read_gates(record: object, qubits: int, where: str
                ) -> tuple[dict[str, Gate], dict[str, Gate]]:
    by_name = {gate.name: gate for gate in catalogue(qubits)}
    gates: dict[str, Gate] = {}
    for name, entry in _get(record, "gates", dict, where).items():
        if "matrix" not in entry:
            continue
        here = f"{where}['gates'][{name!r}]"
        try:
            matrix = np.array(entry["matrix"], dtype=float)
            matrix = matrix[..., 0] + 1j * matrix[..., 1]
        except (ValueError, TypeError, IndexError):
            raise _Damaged(f"{here}['matrix'] is not a matrix of [re, im] pairs") from None
        if matrix.shape != (2**qubits, 2**qubits):
            raise _Damaged(f"{here}['matrix'] has shape {matrix.shape}")
        matrix.setflags(write=False)
        definition = entry.get("definition")
        gates[name] = Gate(name, _get(entry, "qasm", str, here), matrix, None, definition)
    return by_name, gates


def _read_experiment_record(record: object, where: str) -> Experiment:
    name = _get(record, "experiment", str, where)
    assert isinstance(record, dict)  # as _get found it
    qubits = _get(record, "qubits", int, where)
    if qubits not in ORDER:
        raise _Damaged(f"{where}['qubits'] is {qubits}, not 1 or 2")
    order = ORDER[qubits]
    lengths = _ints(_get(record, "lengths", list, where), f"{where}['lengths']", 1)
    samples = _get(record, "samples", int, where)
    seed = record.get("seed")
    if isinstance(seed, list):
        seed = _ints(seed, f"{where}['seed']")
    elif not (isinstance(seed, int) and not isinstance(seed, bool) and seed >= 0):
        raise _Damaged(f"{where}['seed'] is {seed!r}, not an entropy")
    spawn_key = _ints(_get(record, "spawn_key", list, where), f"{where}['spawn_key']")
    nested = _get(record, "nested", bool, where)
    table = _get(record, "table", str, where)
    catalogue_gates, natives = _read_gates(record, qubits, where)

    def gate(name: str, here: str) -> Gate:
        found = natives.get(name) or catalogue_gates.get(name)
        if found is None:
            raise _Damaged(f"{here} names gate {name!r}, neither a catalogue gate nor defined")
        return found

    words: dict[int, tuple[Gate, ...]] = {}
    for key, names in _get(record, "words", dict, where).items():
        here = f"{where}['words'][{key!r}]"
        if not isinstance(names, list) or not key.isdigit() or not int(key) < order:
            raise _Damaged(f"{here} is not an element's word")
        words[int(key)] = tuple(catalogue_gates.get(n) or gate(n, here) for n in names)
    interleaved_record = record.get("interleaved")
    interleaved: tuple[Gate, ...] = ()
    element: int | None = None
    if interleaved_record is not None:
        here = f"{where}['interleaved']"
        element = _ints([_get(interleaved_record, "element", int, here)], here, 0, order)[0]
        interleaved = tuple(gate(n, here) for n in _get(interleaved_record, "gates", list, here))
    step = 2 if element is not None else 1
    records = _get(record, "sequences", list, where)
    if len(records) != len(lengths) * samples:
        raise _Damaged(f"{where} has {len(records)} sequences, not {len(lengths)} lengths"
                       f" × {samples} samples")
    parts: list[tuple[int, ...]] = []
    recoveries: list[tuple[Gate, ...]] = []
    for i, s in enumerate(records):
        here = f"{where}['sequences'][{i}]"
        length, sample = _get(s, "length", int, here), _get(s, "sample", int, here)
        if (length, sample) != (lengths[i // samples], i % samples):
            raise _Damaged(f"{here} is length {length}, sample {sample}: out of order")
        elements = _ints(_get(s, "elements", list, here), f"{here}['elements']", 0, order)
        if len(elements) != length * step or step == 2 and any(e != element
                                                              for e in elements[1::2]):
            raise _Damaged(f"{here}['elements'] are not {length} elements"
                           f"{' each followed by the interleaved one' if step == 2 else ''}")
        missing = next((e for e in elements[::step] if e not in words), None)
        if missing is not None:
            raise _Damaged(f"{where}['words'] lacks element {missing}")
        parts.append(elements)
        recoveries.append(tuple(catalogue_gates.get(n) or gate(n, here)
                                for n in _get(s, "recovery", list, here)))
    sizes = [len(p) for p in parts]
    stored = _Drawn(np.array(list(itertools.chain.from_iterable(parts)), dtype=np.int16),
                    [0, *itertools.accumulate(sizes)], words,
                    interleaved if step == 2 else None, recoveries)
    sequences = stored.sequences(lengths, samples, qubits)
    return Experiment(name, qubits, lengths, samples, seed, nested, table, tuple(sequences),
                      interleaved, element, spawn_key)


def read_experiment(path: str | os.PathLike[str]) -> _Exported:
    """The experiment that `write_experiment` wrote, equal to it in every sequence,
    element, gate, seed and length.

    Parameters
    ----------
    path : str or os.PathLike
        The folder written, or its ``experiment.json``.

    Returns
    -------
    Experiment, (Experiment, Experiment) or SimultaneousExperiment
        The kind that was written.

    Raises
    ------
    OSError
        When the file cannot be read.
    ValueError
        For a file that is not JSON, not an experiment of this format and version,
        or damaged: the message names the first field that is wrong.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> experiment = standard_rb(group, [1, 4], 2, seed=1)
    >>> folder = tempfile.mkdtemp()
    >>> read_experiment(write_experiment(experiment, folder, basis="rz,sx")) == experiment
    True
    """
    path = pathlib.Path(path)
    if path.is_dir():
        path = path / DOCUMENT
    try:
        document = json.loads(path.read_bytes())
    except (ValueError, UnicodeDecodeError) as error:
        raise ValueError(f"{path} is not JSON: {error}") from None
    try:
        if not isinstance(document, dict) or document.get("format") != FORMAT:
            raise _Damaged("it is not an experiment written by vantrel_rb (no format"
                           f" {FORMAT!r})")
        if document.get("version") != VERSION:
            raise _Damaged(f"format version {document.get('version')!r}, this version reads"
                           f" {VERSION}")
        kind = document.get("kind")
        if kind == "simultaneous":
            return _read_simultaneous(document)
        if kind not in ("experiment", "interleaved pair"):
            raise _Damaged(f"unknown kind {kind!r}")
        experiments = tuple(_read_experiment_record(record, f"['experiments'][{i}]")
                            for i, record in enumerate(_get(document, "experiments", list,
                                                            "the document")))
        names = [e.name for e in experiments]
        if kind == "experiment" and len(experiments) != 1 or kind == "interleaved pair" and (
                names != ["reference", "interleaved"]):
            raise _Damaged(f"a {kind} of experiments {names}")
        return experiments[0] if kind == "experiment" else (experiments[0], experiments[1])
    except _Damaged as error:
        raise ValueError(f"{path}: {error}") from None


def _read_simultaneous(document: dict[str, Any]) -> SimultaneousExperiment:
    where = "the document"
    rounds = tuple(_get(document, "rounds", list, where))
    width = _get(document, "width", int, where)
    sites: list[Site] = []
    for k, site in enumerate(_get(document, "sites", list, where)):
        here = f"['sites'][{k}]"
        records = _get(site, "experiments", list, here)
        experiments = tuple(_read_experiment_record(r, f"{here}['experiments'][{i}]")
                            for i, r in enumerate(records))
        physical = _ints(_get(site, "physical", list, here), f"{here}['physical']", 0, width)
        if len(experiments) != len(rounds) or any(len(physical) != e.qubits
                                                  for e in experiments):
            raise _Damaged(f"{here} does not play one experiment per round on its qubits")
        sites.append(Site(physical, experiments))
    seed = document.get("seed")
    seed = _ints(seed, "['seed']") if isinstance(seed, list) else seed
    if not isinstance(seed, int) and not isinstance(seed, tuple):
        raise _Damaged(f"['seed'] is {seed!r}, not an entropy")
    return SimultaneousExperiment(
        rounds, _ints(_get(document, "lengths", list, where), "['lengths']", 1),
        _get(document, "samples", int, where), seed, _get(document, "nested", bool, where),
        tuple(sites), width, _ints(_get(document, "spawn_key", list, where), "['spawn_key']"))
