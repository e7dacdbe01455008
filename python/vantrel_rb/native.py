"""Clifford elements as a device's native gates: ``rz``, ``sx`` and one entangler.

A native basis is ``rz`` (quarter, half and three-quarter turns, which a device
plays as a frame change and so for free), ``sx`` and, on two qubits, one entangler
locally equivalent to CNOT: ``cz``, ``cx`` or any such Clifford under its own name,
an echoed cross-resonance gate for example. Every element of the group is compiled
once per group and basis by an exhaustive shortest-path search, so each circuit
uses the fewest entanglers, then the fewest ``sx``, then the fewest ``rz`` of any
circuit in that basis.
"""

from __future__ import annotations

import dataclasses
from collections.abc import Sequence
from typing import TYPE_CHECKING, TypeAlias

import numpy as np
import numpy.typing as npt

from .gates import STANDARD_GATES, Gate, native_gate

if TYPE_CHECKING:
    from .group import CliffordGroup

__all__ = ["NativeBasis", "NativeCounts", "native_basis", "native_counts"]

# A circuit's cost packed into one integer, entanglers, sx and rz as digits of base
# _DIGIT: sums of packed costs compare as the lexicographic (entanglers, sx, rz)
# because no circuit in the search comes near _DIGIT gates of one kind.
_DIGIT = 1 << 20
_ENTANGLER, _SX, _RZ = _DIGIT**2, _DIGIT, 1
_UNREACHED = 1 << 62

_ONE_QUBIT_GATES = ("rz", "sx")
_RZ_TURNS = (("pi/2", np.pi / 2), ("pi", np.pi), ("-pi/2", -np.pi / 2))


@dataclasses.dataclass(frozen=True)
class NativeBasis:
    """A validated native basis of one or two qubits.

    Attributes
    ----------
    name : str
        ``"rz,sx"``, or ``"rz,sx,"`` and the entangler's name.
    qubits : int
        1 or 2.
    entangler : Gate or None
        The two-qubit gate, with its OpenQASM 3 statement on ``q[0]``, ``q[1]``
        and, for a name that is not a standard gate, its ``gate`` definition;
        None on one qubit.
    """

    name: str
    qubits: int
    entangler: Gate | None = None


#: What `native_basis` takes: a comma-separated string, a `NativeBasis`, or entries that
#: are gate names or (name, matrix) pairs.
BasisLike: TypeAlias = "str | NativeBasis | Sequence[str | tuple[str, npt.ArrayLike]]"


@dataclasses.dataclass(frozen=True, eq=False)
class NativeCounts:
    """Per element, the gates of its fewest-gate native circuit (read-only int arrays).

    Attributes
    ----------
    entanglers, sx, rz : numpy.ndarray
        Indexed by element.
    """

    entanglers: npt.NDArray[np.int64]
    sx: npt.NDArray[np.int64]
    rz: npt.NDArray[np.int64]


def native_basis(given: BasisLike, group: CliffordGroup) -> NativeBasis:
    """Parses and validates a native basis for a group.

    Parameters
    ----------
    given : str, sequence or NativeBasis
        ``"rz,sx"`` / ``("rz", "sx")`` on one qubit; on two, ``rz``, ``sx`` and one
        entangler: ``"cz"``, ``"cx"`` (control on qubit 0) or a ``(name, matrix)``
        pair, the matrix being the operation on the state with qubit 0 as its
        first Kronecker factor. In a string, entries are separated by commas.
    group : CliffordGroup
        The group whose elements will be compiled.

    Returns
    -------
    NativeBasis

    Raises
    ------
    ValueError
        For an unknown gate name, ``rz`` or ``sx`` missing or repeated, an
        entangler on one qubit or none or several on two, or an entangler matrix
        that is not a two-qubit Clifford locally equivalent to CNOT (swap, iswap,
        a local gate, a non-unitary), or whose standard name says another gate.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> native_basis(["sx", "rz"], group).name
    'rz,sx'
    >>> native_basis("rz,sx,cz", group)
    Traceback (most recent call last):
    ...
    ValueError: a one-qubit basis is rz and sx alone, not 'rz,sx,cz'
    >>> native_basis("rz,sx,swap", group)
    Traceback (most recent call last):
    ...
    ValueError: unknown native gate 'swap': a basis is rz, sx and, on two qubits, cz, cx or a (name, matrix) pair

    On two qubits, with ``cnot10 = np.eye(4)[[0, 3, 2, 1]]`` (control on qubit 1),
    ``native_basis(["rz", "sx", ("cx", cnot10)], group).entangler.qasm`` is
    ``'cx q[1], q[0];'``.
    """
    items: list[str | tuple[str, npt.ArrayLike]]
    if isinstance(given, NativeBasis):  # proven again: it may come from another group
        entangler = given.entangler
        items = [*_ONE_QUBIT_GATES, *([] if entangler is None else [(entangler.name,
                                                                    entangler.matrix)])]
    elif isinstance(given, str):
        items = [part.strip() for part in given.split(",")]
    else:
        items = list(given)
    singles: list[str] = []
    pairs: list[tuple[str, npt.ArrayLike]] = []
    for item in items:
        if isinstance(item, str) and item in _ONE_QUBIT_GATES:
            singles.append(item)
        elif isinstance(item, str) and item in ("cz", "cx"):
            pairs.append((item, STANDARD_GATES[item]))
        elif isinstance(item, str):
            raise ValueError(f"unknown native gate {item!r}: a basis is rz, sx and, on two "
                             "qubits, cz, cx or a (name, matrix) pair")
        elif isinstance(item, (tuple, list)) and len(item) == 2 and isinstance(item[0], str):
            pairs.append((item[0], item[1]))
        else:
            raise ValueError(f"basis entry {item!r} is neither a gate name nor a "
                             "(name, matrix) pair")
    if sorted(singles) != list(_ONE_QUBIT_GATES):
        raise ValueError(f"a native basis has rz and sx once each, not {given!r}")
    if group.qubits == 1:
        if pairs:
            raise ValueError(f"a one-qubit basis is rz and sx alone, not {given!r}")
        return NativeBasis("rz,sx", 1)
    if len(pairs) != 1:
        raise ValueError(f"a two-qubit basis has exactly one entangler, not {given!r}")
    entangler = _entangler(*pairs[0], group)
    return NativeBasis(f"rz,sx,{entangler.name}", 2, entangler)


def _entangler(name: str, matrix: npt.ArrayLike, group: CliffordGroup) -> Gate:
    if name in _ONE_QUBIT_GATES:
        raise ValueError(f"the entangler may not be named {name!r}, a one-qubit native gate")
    try:
        index = group.index_of(matrix)
    except ValueError as error:
        raise ValueError(f"entangler {name!r}: {error}") from None
    # Two-qubit Cliffords fall in four local classes, told apart by the operator
    # Schmidt rank: 1 for local gates, 2 for the CNOT class, 4 for iswap and swap.
    realigned = np.asarray(matrix, dtype=complex).reshape(2, 2, 2, 2).transpose(0, 2, 1, 3)
    rank = int(np.sum(np.linalg.svd(realigned.reshape(4, 4), compute_uv=False) > 1e-6))
    if rank != 2:
        raise ValueError(f"entangler {name!r} is not locally equivalent to CNOT "
                         f"(its operator Schmidt rank is {rank}, not 2)")
    gate: Gate = native_gate(name, matrix, group.word(index))
    return gate


def _one_qubit_gates(qubits: int) -> list[tuple[Gate, int]]:
    """rz's three turns and sx on each qubit, with their packed costs."""
    gates = []
    for qubit in range(qubits):
        gates.append((Gate("sx", f"sx q[{qubit}];", _on(STANDARD_GATES["sx"], qubit, qubits)),
                      _SX))
        for text, angle in _RZ_TURNS:
            rz = np.diag([np.exp(-0.5j * angle), np.exp(0.5j * angle)])
            gates.append((Gate("rz", f"rz({text}) q[{qubit}];", _on(rz, qubit, qubits)), _RZ))
    return gates


def _on(matrix: npt.NDArray[np.complexfloating], qubit: int,
        qubits: int) -> npt.NDArray[np.complex128]:
    """A one-qubit matrix acting on one qubit of `qubits`, read-only."""
    if qubits == 2:
        matrix = np.kron(matrix, np.eye(2)) if qubit == 0 else np.kron(np.eye(2), matrix)
    placed = np.array(matrix, dtype=complex)
    placed.setflags(write=False)
    return placed


@dataclasses.dataclass(frozen=True, eq=False)
class _Compiled:
    """The shortest-path tree of one group and basis, rooted at the identity.

    Element x's circuit begins with ``gates[first[x]]`` and goes on as the circuit
    of ``after[x]``; ``first`` is -1 at the identity, whose circuit is empty.
    """

    gates: tuple[Gate, ...]
    first: npt.NDArray[np.intp]
    after: npt.NDArray[np.intp]
    counts: NativeCounts

    def circuit(self, index: int) -> tuple[Gate, ...]:
        gates = []
        while self.first[index] >= 0:
            gates.append(self.gates[self.first[index]])
            index = int(self.after[index])
        return tuple(gates)


def _compile(group: CliffordGroup, basis: NativeBasis) -> _Compiled:
    """Every element's cheapest circuit in `basis`, found by a search of the whole group.

    The search is Bellman-Ford on the group's Cayley graph, relaxing all elements
    at once: a circuit that starts with gate g and performs U goes on with a circuit
    that performs U·g⁻¹, so an element's cost is the least over g of g's cost plus
    that element's. Costs are positive, so the relaxation settles after as many
    rounds as the longest cheapest circuit has gates, at the exact minimum of every
    element: no circuit in the basis is cheaper.
    """
    moves = _one_qubit_gates(group.qubits)
    if basis.entangler is not None:
        moves.insert(0, (basis.entangler, _ENTANGLER))
    gates = tuple(gate for gate, _ in moves)
    cost = np.array([c for _, c in moves], dtype=np.int64)
    product = group.query.get_multiplication_table_elem
    # The table's entry (a, b) plays a's word then b's: it performs U_b·U_a.
    undone = [group.index_of(gate.matrix.conj().T) for gate in gates]
    rest = np.array([[product(u, x) for x in range(group.order)] for u in undone], dtype=np.intp)
    best = np.full(group.order, _UNREACHED, dtype=np.int64)
    best[group.index_of(np.eye(group.dimension))] = 0
    while True:
        through = best[rest] + cost[:, None]
        settled = np.minimum(best, through.min(axis=0))
        if np.array_equal(settled, best):
            break
        best = settled
    first = np.where(best == 0, -1, through.argmin(axis=0))
    after = rest[first, np.arange(group.order)]
    fields = []
    for packed in (best // _ENTANGLER, best // _SX % _DIGIT, best % _DIGIT):
        packed.setflags(write=False)
        fields.append(packed)
    return _Compiled(gates, first, after, NativeCounts(*fields))


def compiled(group: CliffordGroup, given: BasisLike) -> _Compiled:
    """The compilation of `group` in the basis `given`, made on first use and kept on
    the group.

    A compilation is keyed by the basis's name and its entangler's element, so that
    two orientations of ``cx`` (one name) or two matrices under one name stay apart.
    A string, or a `NativeBasis` that proves to be itself (its entangler's text says
    its matrix), is also a key once proven, so that compiling element after element
    does not prove the basis again.
    """
    cache: dict[str | NativeBasis | tuple[str, int | None], _Compiled] = (
        group.__dict__.setdefault("_native_compiled", {}))
    spoken = given if isinstance(given, (str, NativeBasis)) else None
    if spoken in cache:
        return cache[spoken]
    basis = native_basis(given, group)
    entangler = None if basis.entangler is None else group.index_of(basis.entangler.matrix)
    key = (basis.name, entangler)
    if key not in cache:
        cache[key] = _compile(group, basis)
    if isinstance(spoken, str) or spoken == basis:
        cache[spoken] = cache[key]
    return cache[key]


def native_counts(group: CliffordGroup, basis: BasisLike) -> NativeCounts:
    """Entanglers, sx and rz in each element's fewest-gate circuit in a native basis.

    Parameters
    ----------
    group : CliffordGroup
    basis : str, sequence or NativeBasis
        As `native_basis` takes it.

    Returns
    -------
    NativeCounts
        Three read-only arrays indexed by element; their means are the native gates
        per uniformly random Clifford.

    Raises
    ------
    ValueError
        For a basis `native_basis` refuses.

    Examples
    --------
    >>> counts = native_counts(CliffordGroup(1, "rb22.dat"), "rz,sx")
    >>> float(counts.sx.mean()), int(counts.entanglers.sum())
    (1.0, 0)
    """
    return compiled(group, basis).counts
