"""The table file's layout: the one place in the package that knows its bytes.

A table file is four little-endian blocks with no header:

1. the special element indices, int32: 7 for one qubit ("I", "X", "Y", "X/2",
   "Y/2", "-X/2", "-Y/2"), 2 for two ("I", "CZ");
2. the N·N multiplication table, int32, row-major;
3. the N inverse indices, int32;
4. N element records: the phase-normalised d×d matrix as complex128 column by
   column (``arr``), the word's gate codes in int32 slots padded with -1
   (``buffer``) and the word length (int32 ``size``); a two-qubit record ends
   with 4 reserved bytes. One qubit: N = 24, 80-byte records; two qubits:
   N = 11520, 320-byte records.

Everything here reads a file the module has already loaded, which proves it is
the table generation writes; nothing here checks the bytes again.
"""

import dataclasses
import hashlib
import os
import struct

import numpy as np
import numpy.typing as npt

__all__ = ["ORDER", "SPECIALS", "WORD_SLOTS", "Layout", "layout", "record_dtype", "SmallBlocks",
           "read_small_blocks"]

ORDER = {1: 24, 2: 11520}
SPECIALS = {1: 7, 2: 2}
WORD_SLOTS = {1: 3, 2: 14}
_RECORD_BYTES = {1: 80, 2: 320}


def record_dtype(qubits: int) -> np.dtype[np.void]:
    """The NumPy dtype of one element record, field names as the module's records."""
    d = 2**qubits
    fields = [("arr", "<c16", d * d), ("buffer", "<i4", WORD_SLOTS[qubits]), ("size", "<i4")]
    if qubits == 2:
        fields.append(("reserved", "<i4"))
    dtype = np.dtype(fields)
    assert dtype.itemsize == _RECORD_BYTES[qubits]
    return dtype


@dataclasses.dataclass(frozen=True)
class Layout:
    """Where each block of a table file starts, in bytes, and the file's size."""

    table: int
    inverse: int
    records: int
    size: int


def layout(qubits: int) -> Layout:
    """The byte offsets of the blocks of a table file of one or two qubits.

    Examples
    --------
    >>> layout(2).size
    534574088
    """
    n = ORDER[qubits]
    table = 4 * SPECIALS[qubits]
    inverse = table + 4 * n * n
    records = inverse + 4 * n
    return Layout(table, inverse, records, records + n * _RECORD_BYTES[qubits])


@dataclasses.dataclass(frozen=True)
class SmallBlocks:
    """Every block of a table file but the multiplication table.

    Attributes
    ----------
    specials : numpy.ndarray
        The special element indices, int32.
    inverse : numpy.ndarray
        The inverse of each element, int32, shape (N,).
    records : numpy.ndarray
        The element records, shape (N,), of `record_dtype`.
    digest : str
        SHA-256 of the special indices, N as a little-endian int64, the inverse
        block and the records: the bytes that fix every index and word.
    """

    specials: npt.NDArray[np.int32]
    inverse: npt.NDArray[np.int32]
    records: npt.NDArray[np.void]
    digest: str

    @property
    def words(self) -> tuple[tuple[int, ...], ...]:
        """Each element's word, its gate codes in the order the module stores them."""
        return tuple(tuple(slots[:size]) for slots, size in
                     zip(self.records["buffer"].tolist(), self.records["size"].tolist()))


def read_small_blocks(path: str | bytes | os.PathLike[str] | os.PathLike[bytes],
                      qubits: int) -> SmallBlocks:
    """Reads the blocks around the multiplication table (a few MiB), skipping the table.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        A table file of `qubits` qubits that the module has loaded.
    qubits : int
        1 or 2.

    Returns
    -------
    SmallBlocks
    """
    n, blocks = ORDER[qubits], layout(qubits)
    with open(path, "rb") as file:
        specials = file.read(blocks.table)
        file.seek(blocks.inverse)
        tail = file.read()
    digest = hashlib.sha256(specials + struct.pack("<q", n) + tail).hexdigest()
    inverse = np.frombuffer(tail, "<i4", n)
    records = np.frombuffer(tail, record_dtype(qubits), n, offset=4 * n)
    return SmallBlocks(np.frombuffer(specials, "<i4"), inverse, records, digest)


def multiplication_table(path: str | os.PathLike[str], qubits: int) -> npt.NDArray[np.int32]:
    """The N·N multiplication table of a loaded table file, mapped read-only: entry
    (i, j) is the index of M_i·M_j, the words multiplied left to right. The pages are
    read as they are touched (the two-qubit table is some 510 MiB)."""
    n = ORDER[qubits]
    table: npt.NDArray[np.int32] = np.memmap(path, "<i4", "r", 4 * SPECIALS[qubits], (n, n))
    return table
