"""Clifford elements as signed permutations of the Pauli operators: whole experiments'
products and checks in a few NumPy operations per sequence position.

A Clifford U maps each Pauli P to ±P' by conjugation (U P U†), and the images of the
generators X_j, Z_j fix U up to a global phase. A signed Pauli is coded as
``2·v + sign`` (v the Pauli's index, its x bits then its z bits); an element's action
on every signed Pauli is one row of a small table, so composing two elements is a
look-up per generator and no matrix is multiplied. The tables are built once per
group from the catalogue's gate matrices and the elements' words played in time
order (the operations `CliffordGroup.unitary` multiplies out), so they speak circuit
order and owe nothing to the module's multiplication table.
"""

import weakref
from typing import Any

import numpy as np
import numpy.typing as npt

_I2, _X2, _Z2 = np.eye(2), np.array([[0, 1], [1, 0]]), np.diag([1, -1])
_TABLES: "weakref.WeakKeyDictionary[object, Actions]" = weakref.WeakKeyDictionary()


def _paulis(qubits: int) -> npt.NDArray[np.complex128]:
    """The Hermitian Paulis of `qubits` qubits, index bit j (from the top) an X on qubit
    j and bit qubits + j a Z on qubit j; qubit 0 is the first Kronecker factor."""
    result = []
    for v in range(4**qubits):
        matrix: npt.NDArray[np.complex128] = np.eye(1, dtype=complex)
        for j in range(qubits):
            x, z = v >> (2 * qubits - 1 - j) & 1, v >> (qubits - 1 - j) & 1
            factor = (_X2 if x else _I2) @ (_Z2 if z else _I2)
            matrix = np.kron(matrix, factor * (1j if x and z else 1)).astype(complex)  # iXZ = Y
        result.append(matrix)
    return np.array(result)


def _actions(unitaries: npt.NDArray[np.complex128],
             paulis: npt.NDArray[np.complex128]) -> npt.NDArray[np.int32]:
    """Per unitary and signed Pauli code, the signed code of its image U P U†."""
    d = paulis.shape[-1]
    images = unitaries[:, None] @ paulis[None] @ unitaries.conj().transpose(0, 2, 1)[:, None]
    # tr(P_w Q)/d, ±1 at the image's Pauli and 0 elsewhere, as one matrix product
    overlap = (images.reshape(-1, d * d) @ paulis.transpose(0, 2, 1).reshape(-1, d * d).T)
    overlap = overlap.real.reshape(len(unitaries), len(paulis), len(paulis)) / d
    index = np.argmax(np.abs(overlap), axis=2)
    sign = np.take_along_axis(overlap, index[..., None], 2)[..., 0] < 0
    signed = 2 * index + sign
    return np.stack([signed, signed ^ 1], axis=2).reshape(len(unitaries), -1).astype(np.int32)


class Actions:
    """A group's action tables.

    Attributes
    ----------
    elements : numpy.ndarray
        ``elements[e, s]``: the code of element e's image of signed Pauli s.
    gates : numpy.ndarray
        The same for each catalogue gate code.
    generators : numpy.ndarray
        The signed codes of X_0, …, Z_{n-1}, each with a + sign.
    identity : int
        The identity element's index.
    inverse : numpy.ndarray
        Each element's inverse.
    """

    def __init__(self, group: Any) -> None:
        paulis = _paulis(group.qubits)
        n = group.qubits
        self.width = 2 * len(paulis)  # signed codes per element
        self.gates = _actions(np.array([gate.matrix for gate in group.gates]), paulis)
        # An element's action is its word's gate actions composed in time order: the
        # played operation, as `CliffordGroup.unitary` multiplies it out, one gate
        # table look-up per word position instead of a matrix product per element.
        # The words come from the records, longest first, so that each position is
        # one look-up for the words that reach it.
        records = group._blocks.records
        order = np.argsort(-records["size"], kind="stable")
        sizes, codes = records["size"][order], records["buffer"][order]
        flat = self.gates.ravel()
        elements = np.tile(np.arange(self.width, dtype=np.int32), (group.order, 1))
        for k in range(int(sizes[0])):
            reach = int(np.count_nonzero(sizes > k))
            elements[:reach] = flat.take(codes[:reach, k, None] * self.width + elements[:reach])
        self.elements = np.empty_like(elements)
        self.elements[order] = elements
        self.generators = np.array([2 * (1 << (2 * n - 1 - j)) for j in range(2 * n)])
        self.bits = (self.width - 1).bit_length()
        keys = self._key(self.elements[:, self.generators])
        self._by_key = np.full(1 << (self.bits * 2 * n), -1, dtype=np.int32)
        self._by_key[keys] = np.arange(group.order)
        # The images fix each element: no key was written over by another's.
        assert (self._by_key[keys] == np.arange(group.order)).all()
        self.identity = int(self._by_key[self._key(self.generators[None])[0]])
        undone = np.empty_like(self.elements)  # each row's inverse permutation
        np.put_along_axis(undone, self.elements, np.arange(self.width)[None], axis=1)
        self.inverse = self._by_key[self._key(undone[:, self.generators])]
        self._flats: dict[int | None, npt.NDArray[np.intp]] = {}

    def _key(self, images: npt.NDArray[np.integer[Any]]) -> npt.NDArray[np.int64]:
        shifts = self.bits * np.arange(images.shape[-1], dtype=np.int64)
        keys: npt.NDArray[np.int64] = (images.astype(np.int64) << shifts).sum(axis=-1)
        return keys

    def products(self, elements: npt.ArrayLike, sizes: npt.ArrayLike) -> npt.NDArray[np.int32]:
        """The element each sequence performs: `elements` holds the sequences end to end
        in time order, `sizes` their lengths. Pairs of neighbours merge level by level
        (the earlier element's generator images mapped by the later element), an odd
        sequence first padded with the identity, so the work is twice the elements."""
        merged: npt.NDArray[np.int32] = np.asarray(elements, dtype=np.int32)
        counts: npt.NDArray[np.intp] = np.asarray(sizes, dtype=np.intp)
        while counts.max() > 1:
            odd = counts % 2 == 1
            if odd.any():
                merged = np.insert(merged, np.cumsum(counts)[odd], self.identity)
                counts = counts + odd
            first, then = merged[0::2], merged[1::2]
            images = self.elements[then[:, None], self.elements[first[:, None], self.generators]]
            merged, counts = self._by_key[self._key(images)], counts // 2
        return merged

    def returns(self, elements: npt.ArrayLike, sizes: npt.ArrayLike, recoveries: npt.ArrayLike,
                then: int | None = None) -> npt.NDArray[np.bool_]:
        """Whether each sequence plays the identity: its `sizes[r]` elements (stored as
        `products` takes them) in time order, each followed by element `then` when one
        is given, then element `recoveries[r]`'s word: its catalogue gates' actions,
        composed in time order.

        Each generator is carried through the sequence position by position, a path
        that shares nothing with `products` nor with the module's multiplication table:
        a wrong recovery cannot pass. The sequences are laid out position by position,
        longest first, so that each step is one look-up for every sequence still playing."""
        flat = self._flat(then)
        sizes = np.asarray(sizes, dtype=np.intp)
        order = np.argsort(-sizes, kind="stable")
        lengths = sizes[order]
        starts = (np.cumsum(sizes) - sizes)[order]
        # rows[k, i]: where the k-th element of the i-th longest sequence's row starts in
        # `flat` (past its end, the sequence's last element again: never read).
        steps = np.arange(int(lengths[0]), dtype=np.intp)[:, None]
        at = starts + np.minimum(steps, lengths - 1)
        rows = np.asarray(elements, dtype=np.intp)[at] * self.width
        # How many sequences still play at each step: the longest come first.
        playing = (len(lengths) - np.searchsorted(lengths[::-1], steps[:, 0], "right")).tolist()
        state = np.tile(self.generators.astype(np.intp), (len(order), 1))
        index = np.empty_like(state)
        for k, active in enumerate(playing):
            now = state[:active]
            np.add(rows[k, :active, None], now, out=index[:active])
            flat.take(index[:active], out=now, mode="clip")  # in range: no clip happens
        # The recovery's word, its catalogue gates composed in time order: one step.
        word = self._flat(None)
        state = word[np.asarray(recoveries, dtype=np.intp)[order, None] * self.width + state]
        ok = np.empty(len(order), dtype=bool)
        ok[order] = (state == self.generators).all(axis=1)
        return ok

    def _flat(self, then: int | None) -> npt.NDArray[np.intp]:
        """The actions of the elements (each followed by `then`) as one flat index array."""
        if then not in self._flats:
            table = self.elements if then is None else self.elements[then][self.elements]
            self._flats[then] = table.astype(np.intp).ravel()
        return self._flats[then]



def actions(group: Any) -> Actions:
    """The group's action tables, built on first use (a few tens of ms on two qubits)."""
    tables = _TABLES.get(group)
    if tables is None:
        tables = _TABLES[group] = Actions(group)
    return tables
