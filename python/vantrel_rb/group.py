"""The Clifford group of one or two qubits, loaded from a table file, in circuit order.

The module's words multiply left to right: ``get_matrix(i)`` is G0·G1·…·Gn. Played
first gate first, the same word performs Gn·…·G1·G0. `CliffordGroup.unitary` is the
played operation, and `CliffordGroup.index_of` finds the element whose word, played,
performs a given operation. Mapping each element to the module index of its played
operation reverses products (the played operation of a·b is that of b times that of
a), so the module's recovery word of a list of elements is also the recovery of
their words played one after the other.
"""

import functools
import operator
import os
import sys
import tempfile
import time
import weakref
from collections.abc import Callable, Sequence
from typing import SupportsIndex

import numpy as np
import numpy.typing as npt

import Vantrel

from .gates import Gate, catalogue, equal_up_to_phase
from .native import BasisLike, compiled
from .tablefile import read_small_blocks

__all__ = ["CliffordGroup", "make_table"]

_Path = str | os.PathLike[str]

# The groups alive in this process, by digest, so that an experiment (which records
# its table's digest) finds its group without being handed it.
_LOADED: weakref.WeakValueDictionary[str, CliffordGroup] = weakref.WeakValueDictionary()


def loaded(digest: str | None = None, qubits: int | None = None) -> list[CliffordGroup]:
    """The loaded groups of a table digest, or of a number of qubits, one per digest."""
    if digest is not None:
        group = _LOADED.get(digest)
        return [] if group is None else [group]
    return [group for group in list(_LOADED.values()) if group.qubits == qubits]


def _keys(matrices: npt.NDArray[np.complex128]) -> list[bytes]:
    """Hashable keys, equal for Clifford matrices that differ by a global phase.

    The phase is fixed by the first entry of modulus above 0.1: Clifford entries
    have modulus 0, 1/2, 1/√2 or 1, so the choice is stable under rounding noise.
    """
    flat = matrices.reshape(len(matrices), -1)
    pivot = flat[np.arange(len(flat)), np.argmax(np.abs(flat) > 0.1, axis=1)]
    flat = flat * (np.abs(pivot) / pivot)[:, None]
    rounded = np.concatenate([np.round(flat.real, 6), np.round(flat.imag, 6)], axis=1) + 0.0
    return [row.tobytes() for row in rounded]


def make_table(qubits: int, path: _Path) -> float:
    """Writes the table file of one or two qubits with the module, printing nothing.

    The module's generation prints its progress (some 330 lines for two qubits)
    on the process's standard output and writes its listing into the working
    directory. Here the lines are caught at file descriptor 1 and dropped, and
    the listing (``readable_group22.txt`` or ``readable_group44.txt``) is written
    beside the table instead. For the call's duration file descriptor 1 and the
    working directory are the generation's; both are restored when it returns or
    raises, so call it from one thread only.

    Parameters
    ----------
    qubits : int
        1 or 2.
    path : str or os.PathLike
        Where to write the table file; a file already there is replaced once the
        new one is complete.

    Returns
    -------
    float
        The seconds the generation took.

    Raises
    ------
    ValueError
        For a number of qubits other than 1 or 2.
    RuntimeError
        When the module could not write the table or the listing, with its last
        console lines; or as the module raises.

    Examples
    --------
    >>> seconds = make_table(1, "rb22.dat")  # and readable_group22.txt beside it
    >>> CliffordGroup(1, "rb22.dat").order
    24
    """
    generate = {1: Vantrel.generate_table22, 2: Vantrel.generate_table44}.get(
        operator.index(qubits))
    if generate is None:
        raise ValueError(f"qubits must be 1 or 2, not {qubits!r}")
    folder, name = os.path.split(os.path.abspath(path))
    _flush_stdout()  # what was printed before belongs on the console
    with tempfile.TemporaryFile() as console:
        cwd, saved = os.getcwd(), os.dup(1)
        start = time.perf_counter()
        try:
            os.chdir(folder)
            os.dup2(console.fileno(), 1)
            result = generate(name)
        finally:
            seconds = time.perf_counter() - start
            _flush_stdout()  # and what the run left in a buffer, to the capture
            os.dup2(saved, 1)
            os.close(saved)
            os.chdir(cwd)
        if result != 0:
            console.seek(0)
            last = console.read().decode(errors="replace").splitlines()[-4:]
            raise RuntimeError(f"could not write the table file {os.fspath(path)!r}: "
                               + " / ".join(last))
    return seconds


def _flush_stdout() -> None:
    """Flushes Python's and the C library's standard output (the module's C++ stream
    writes through the latter), so that what they hold reaches the current fd 1."""
    import ctypes  # only when a table is made

    if sys.stdout is not None:
        sys.stdout.flush()
    ctypes.CDLL(None).fflush(None)


class CliffordGroup:
    """The one- or two-qubit Clifford group of a table file, in circuit order.

    Parameters
    ----------
    qubits : int
        1 or 2.
    table_path : str or os.PathLike
        A table file written by ``Vantrel.generate_table22`` (one qubit) or
        ``Vantrel.generate_table44`` (two qubits).

    Attributes
    ----------
    qubits, dimension, order : int
        Number of qubits, 2**qubits, number of elements (24 or 11520).
    gates : tuple of Gate
        The gate catalogue, in code order.
    words : tuple of tuple of int
        Each element's word, the gate codes in time order.
    query : Vantrel.RB22 or Vantrel.RB44
        The loaded query object of the module.
    digest : str
        SHA-256 of the table file without its multiplication table: the blocks
        that fix every index and word.

    Raises
    ------
    TypeError
        For a number of qubits that is not an integer.
    ValueError
        For a number of qubits other than 1 or 2.
    RuntimeError
        When the module cannot load the file (missing, damaged, other size).

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> group.order, [gate.name for gate in group.word(group.index_of("X/2"))]
    (24, ['X/2'])
    """

    def __init__(self, qubits: int, table_path: _Path) -> None:
        qubits = operator.index(qubits)
        self.gates: tuple[Gate, ...] = catalogue(qubits)
        self.qubits, self.dimension = qubits, 2**qubits
        self.path = os.fspath(table_path)
        self.query: Vantrel.RB22 | Vantrel.RB44 = Vantrel.RB22() if qubits == 1 else Vantrel.RB44()
        self.query.load_from_file(self.path)
        self.order = self.query.N
        self.checker: Callable[[Sequence[SupportsIndex], Sequence[SupportsIndex]], bool] = (
            Vantrel.rb22_checker if qubits == 1 else Vantrel.rb44_checker)
        # Read straight after the module proved the file. Everything else is made on
        # first use: a first sequence needs only the digest and a few words.
        self._blocks = read_small_blocks(self.path, qubits)
        self.digest = self._blocks.digest
        self._by_name = {gate.name: gate for gate in self.gates}
        _LOADED[self.digest] = self

    def __len__(self) -> int:
        return self.order

    def __repr__(self) -> str:
        return f"CliffordGroup({self.qubits}, {self.path!r})"

    @functools.cached_property
    def words(self) -> tuple[tuple[int, ...], ...]:
        """Each element's word, the gate codes in time order."""
        return self._blocks.words

    @functools.cached_property
    def _word_gates(self) -> tuple[tuple[Gate, ...], ...]:
        return tuple(tuple(map(self.gates.__getitem__, word)) for word in self.words)

    @functools.cached_property
    def _unitaries(self) -> npt.NDArray[np.complex128]:
        """Every element's played operation, its gates applied first to last (read-only)."""
        records = self._blocks.records
        codes = np.maximum(records["buffer"][:, :records["size"].max()], 0)  # -1 pads: identity
        matrices = np.array([gate.matrix for gate in self.gates])
        product = np.broadcast_to(np.eye(self.dimension, dtype=complex),
                                  (self.order, self.dimension, self.dimension))
        for column in codes.T:
            product = matrices[column] @ product
        product.setflags(write=False)
        return product

    @functools.cached_property
    def _index(self) -> dict[bytes, int]:
        return {key: i for i, key in enumerate(_keys(self._unitaries))}

    def _checked_index(self, index: SupportsIndex) -> int:
        index = operator.index(index)
        if not 0 <= index < self.order:
            raise IndexError(f"element index {index} is outside 0..{self.order - 1}")
        return index

    def unitary(self, index: SupportsIndex) -> npt.NDArray[np.complex128]:
        """The operation performed by playing element `index`'s word, first gate first.

        Parameters
        ----------
        index : int
            An element index, 0 to ``order - 1``.

        Returns
        -------
        numpy.ndarray
            The product of the word's gate matrices, last gate leftmost (a new
            array; the catalogue's phases, not normalised).

        Raises
        ------
        TypeError
            For an index that is not an integer (``1.7``, ``"3"``).
        IndexError
            For an index outside the group.

        Examples
        --------
        >>> group = CliffordGroup(1, "rb22.dat")
        >>> bool(np.allclose(group.unitary(group.index_of("Y")), [[0, -1j], [1j, 0]]))
        True
        """
        matrix: npt.NDArray[np.complex128] = self._unitaries[self._checked_index(index)]
        return matrix.copy()

    def word(self, index: SupportsIndex) -> tuple[Gate, ...]:
        """The gates of element `index`'s word, in time order (a tuple of `Gate`)."""
        return self._word_gates[self._checked_index(index)]

    def index_of(self, gate: str | npt.ArrayLike) -> int:
        """The element whose word, played, performs `gate` up to a global phase.

        Parameters
        ----------
        gate : str or array_like
            A catalogue name (``"X/2"``, ``"CZ"``, ...) or a unitary matrix of
            the group's size, as the operation on the state.

        Returns
        -------
        int
            The element index.

        Raises
        ------
        ValueError
            For an unknown name, a matrix of the wrong shape, a matrix that is
            not unitary, or a unitary that is not a Clifford.

        Examples
        --------
        >>> group = CliffordGroup(1, "rb22.dat")
        >>> h = np.array([[1, 1], [1, -1]]) / np.sqrt(2)
        >>> i = group.index_of(h)
        >>> [gate.name for gate in group.word(i)]
        ['X', '-Y/2']
        >>> group.index_of(np.diag([1, np.exp(0.25j * np.pi)]))
        Traceback (most recent call last):
        ...
        ValueError: the matrix is not a one-qubit Clifford
        """
        if isinstance(gate, str):
            if gate not in self._by_name:
                raise ValueError(f"no gate named {gate!r} in the catalogue: "
                                 f"{', '.join(self._by_name)}")
            gate = self._by_name[gate].matrix
        matrix = np.asarray(gate, dtype=complex)
        size = self.dimension
        if matrix.shape != (size, size):
            raise ValueError(f"expected a {size}x{size} matrix for {self.qubits} qubit(s),"
                             f" got shape {matrix.shape}")
        deviation = np.abs(matrix.conj().T @ matrix - np.eye(size)).max()
        if not deviation < 1e-6:
            raise ValueError(f"the matrix is not unitary (U†U differs from I by {deviation:.3g})")
        index = self._index.get(_keys(matrix[None])[0])
        if index is None or not equal_up_to_phase(self._unitaries[index], matrix, 1e-8):
            raise ValueError(f"the matrix is not a {['one', 'two'][self.qubits - 1]}-qubit "
                             "Clifford")
        return index

    def check(self, gates: Sequence[Gate]) -> bool:
        """Whether playing `gates` (time order) performs the identity, as the module's
        checker finds it.

        A native gate (code None) is checked as the word of the element its matrix
        performs.

        Raises
        ------
        ValueError
            For a native gate whose matrix is not a Clifford of the group's size.
        """
        natives: dict[int, tuple[Gate, ...]] = {}  # by identity: equal Gates may differ
        for gate in gates:
            if gate.code is None and id(gate) not in natives:
                natives[id(gate)] = self.word(self.index_of(gate.matrix))
        codes = [coded.code for gate in gates for coded in natives.get(id(gate), (gate,))]
        return self.checker([code for code in reversed(codes) if code is not None], [])

    def native(self, index: SupportsIndex, basis: BasisLike) -> tuple[Gate, ...]:
        """The native gates that perform element `index`, fewest first, in time order.

        Each element is compiled by a search of the whole group (once per basis,
        kept on the group), so its circuit provably has the fewest entanglers of
        any circuit in the basis, then the fewest ``sx``, then the fewest ``rz``;
        ties are broken the same way every time.

        Parameters
        ----------
        index : int
            An element index, 0 to ``order - 1``.
        basis : str, sequence or NativeBasis
            ``"rz,sx"`` on one qubit; ``"rz,sx,cz"``, ``"rz,sx,cx"`` or
            ``("rz", "sx", (name, matrix))`` with an entangler locally equivalent
            to CNOT on two (see `native_basis`; a `NativeBasis` or a string is
            proven once, a pair with a matrix on every call).

        Returns
        -------
        tuple of Gate
            Played first to last, they perform ``unitary(index)`` up to a global
            phase; ``rz`` turns are multiples of π/2. Empty for the identity.

        Raises
        ------
        IndexError
            For an index outside the group.
        ValueError
            For a basis `native_basis` refuses.

        Examples
        --------
        >>> group = CliffordGroup(1, "rb22.dat")
        >>> [gate.qasm for gate in group.native(group.index_of("Y/2"), "rz,sx")]
        ['rz(-pi/2) q[0];', 'sx q[0];', 'rz(pi/2) q[0];']
        """
        return compiled(self, basis).circuit(self._checked_index(index))
