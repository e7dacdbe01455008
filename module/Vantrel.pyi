# Types of the Vantrel extension module. Parameters before "/" are positional
# only; `path` of the two generation functions is the only keyword parameter.
"""One- and two-qubit Clifford groups for randomized benchmarking.

An element index is an element's position in the group's fixed key order: 0 to 23
for one qubit, 0 to 11519 for two. The same index names the element in the table
files, the multiplication and inverse tables and every query method.

A word is a list of gate codes that makes an element. Its gates multiply from left
to right: the element's matrix is G0·G1·…·Gn. Played on a device first gate first,
the word performs Gn·…·G1·G0 instead; the package vantrel_rb speaks that circuit
order and finds the element whose word, played, performs a given gate.

Failures a caller causes raise RuntimeError with the message given under each
name; arguments that do not convert raise TypeError. The module imports in the
main interpreter only (ImportError in a subinterpreter).
"""

import os
from collections.abc import Sequence
from typing import ClassVar, SupportsIndex, TypeAlias

# A file-system path: str (encoded like open() encodes it), bytes, or an os.PathLike giving either.
_Path: TypeAlias = str | bytes | os.PathLike[str] | os.PathLike[bytes]

class Generator22Enum:
    """Codes of the one-qubit generator gates; equal to plain ints of the same code.

    0 I; 1 X; 2 Y; 3 X/2 = (I - iX)/√2; 4 Y/2 = (I - iY)/√2; 5 -X/2 = (I + iX)/√2;
    6 -Y/2 = (I + iY)/√2.
    """

    Generator_I22: ClassVar[Generator22Enum]  # 0, "I"
    Generator_X: ClassVar[Generator22Enum]  # 1, "X"
    Generator_Y: ClassVar[Generator22Enum]  # 2, "Y"
    Generator_SX: ClassVar[Generator22Enum]  # 3, "X/2"
    Generator_SY: ClassVar[Generator22Enum]  # 4, "Y/2"
    Generator_SXdag: ClassVar[Generator22Enum]  # 5, "-X/2"
    Generator_SYdag: ClassVar[Generator22Enum]  # 6, "-Y/2"
    __members__: ClassVar[dict[str, Generator22Enum]]
    def __init__(self, value: SupportsIndex) -> None:
        """The member of code `value`."""
    def __eq__(self, other: object, /) -> bool:
        """Equal to the same member or to an int of the same code."""
    def __ne__(self, other: object, /) -> bool:
        """The negation of __eq__."""
    def __hash__(self, /) -> int:
        """The hash of the code."""
    def __int__(self, /) -> int:
        """The code, 0 to 6."""
    def __index__(self, /) -> int:
        """The code, so a member stands wherever an int is taken."""
    @property
    def name(self) -> str:
        """The member's name, e.g. "Generator_SX"."""
    @property
    def value(self) -> int:
        """The code, 0 to 6."""

Generator_I22: Generator22Enum
Generator_X: Generator22Enum
Generator_Y: Generator22Enum
Generator_SX: Generator22Enum
Generator_SY: Generator22Enum
Generator_SXdag: Generator22Enum
Generator_SYdag: Generator22Enum

class KeyValueClifford22:
    """One element of the one-qubit Clifford group; made only by RB22.get_group_elements()."""

    @property
    def arr(self) -> list[complex]:
        """The phase-normalised matrix, column by column: m00, m10, m01, m11."""
    @property
    def buffer(self) -> list[int]:
        """The generator word: 3 gate codes, slots past `size` hold -1."""
    @property
    def size(self) -> int:
        """The word length, 1 to 3."""

class RB22:
    """The one-qubit tables, loaded from a file written by generate_table22.

    Element indices run from 0 to 23. Every method but `N`, `load_from_file` and
    `get_special_operations_str` raises RuntimeError "Load data before using RB
    classes!" until a table is loaded; an element index outside 0..23 raises
    RuntimeError "element index 24 is outside 0..23" (quoting the index).
    """

    def __init__(self) -> None:
        """An empty object; load a table with load_from_file before any query."""
    @property
    def N(self) -> int:
        """The group order, 24."""
    def load_from_file(self, path: _Path, /) -> bool:
        """Loads and checks a one-qubit table file; returns True.

        The file is accepted only if it is exactly the table generation writes:
        every block is compared with the group enumerated again. Raises
        RuntimeError "File not found." when the path cannot be opened, and
        RuntimeError naming the block and entry for a damaged file, or saying what
        is wrong for one that is not a regular file or of the other size. Never
        waits on a FIFO. A failed load leaves the earlier table in place.
        """
    def get_multiplication_table_elem(self, row: SupportsIndex, col: SupportsIndex, /) -> int:
        """The index of M_row·M_col, the row element's matrix on the left."""
    def get_inverse(self, index: SupportsIndex, /) -> int:
        """The index of the inverse of element `index`."""
    def get_group_elements(self) -> list[KeyValueClifford22]:
        """Every element's record, in index order."""
    def get_table(self) -> list[int]:
        """The multiplication table, row-major: item 24·i + j is the index of M_i·M_j."""
    def get_inverse_table(self) -> list[int]:
        """Item i is the index of the inverse of element i."""
    def get_matrix(self, index: SupportsIndex, /) -> list[complex]:
        """The element's phase-normalised matrix, column by column (m00, m10, m01, m11).

        It is the word's gate matrices multiplied left to right, G0·G1·…, not the
        operation the word performs when played first gate first.
        """
    def get_generator(self, index: SupportsIndex, /) -> list[int]:
        """The element's word: 3 gate code slots, -1 past the word."""
    def get_generator_size(self, index: SupportsIndex, /) -> int:
        """The length of the element's word, 1 to 3."""
    def get_full_sequence_and_inverse_sequence(
        self, sequence: Sequence[SupportsIndex], /
    ) -> tuple[list[int], list[int]]:
        """The gates of a sequence of elements and the recovery word that undoes them.

        Returns (gates, recovery): the elements' words end to end, and the word of
        the inverse of M_e1·M_e2·…, so that gates followed by recovery multiply to
        the identity (and, for these gates, also when played first gate first).
        Raises RuntimeError "the element sequence is empty" for an empty sequence.
        """
    def get_special_operations(self) -> list[int]:
        """The indices of the 7 named elements, in the order of get_special_operations_str."""
    def get_special_operations_str(self) -> list[str]:
        """The names "I", "X", "Y", "X/2", "Y/2", "-X/2", "-Y/2"; needs no table."""

class KeyValueClifford44:
    """One element of the two-qubit Clifford group; made only by RB44.get_group_elements()."""

    @property
    def arr(self) -> list[complex]:
        """The phase-normalised 4x4 matrix, column by column."""
    @property
    def buffer(self) -> list[int]:
        """The generator word: 14 gate codes, slots past `size` hold -1."""
    @property
    def size(self) -> int:
        """The word length, 1 to 14."""

class RB44:
    """The two-qubit tables, loaded from a file written by generate_table44.

    Element indices run from 0 to 11519; gate codes are 0 I, 1 X⊗I, 2 I⊗X, 3 Y⊗I,
    4 I⊗Y, 5 SX⊗I, 6 SXdag⊗I, 7 I⊗SX, 8 I⊗SXdag, 9 SY⊗I, 10 SYdag⊗I, 11 I⊗SY,
    12 I⊗SYdag, 13 CZ, the first Kronecker factor acting on the first qubit (the
    high bit of a basis index). Guards and index errors as for RB22.
    """

    def __init__(self) -> None:
        """An empty object; load a table with load_from_file before any query."""
    @property
    def N(self) -> int:
        """The group order, 11520."""
    def load_from_file(self, path: _Path, /) -> bool:
        """Loads and checks a two-qubit table file (about 510 MiB); returns True.

        The file is accepted only if it is exactly the table generation writes:
        every block is compared with the group enumerated again. Raises
        RuntimeError "File not found." when the path cannot be opened, and
        RuntimeError naming the block and entry for a damaged file, or saying what
        is wrong for one that is not a regular file or of the other size. Never
        waits on a FIFO. A failed load leaves the earlier table in place.
        """
    def get_multiplication_table_elem(self, row: SupportsIndex, col: SupportsIndex, /) -> int:
        """The index of M_row·M_col, the row element's matrix on the left."""
    def get_inverse(self, index: SupportsIndex, /) -> int:
        """The index of the inverse of element `index`."""
    def get_group_elements(self) -> list[KeyValueClifford44]:
        """Every element's record, in index order."""
    def get_table(self) -> list[int]:
        """The multiplication table, row-major (132,710,400 items): prefer the single look-up."""
    def get_inverse_table(self) -> list[int]:
        """Item i is the index of the inverse of element i."""
    def get_matrix(self, index: SupportsIndex, /) -> list[complex]:
        """The element's phase-normalised 4x4 matrix, column by column.

        It is the word's gate matrices multiplied left to right, G0·G1·…, not the
        operation the word performs when played first gate first.
        """
    def get_generator(self, index: SupportsIndex, /) -> list[int]:
        """The element's word: 14 gate code slots, -1 past the word."""
    def get_generator_size(self, index: SupportsIndex, /) -> int:
        """The length of the element's word, 1 to 14."""
    def get_full_sequence_and_inverse_sequence(
        self, sequence: Sequence[SupportsIndex], /
    ) -> tuple[list[int], list[int]]:
        """The gates of a sequence of elements and the recovery word that undoes them.

        As for RB22: (gates, recovery), the words end to end and the word of the
        inverse of their product. Raises RuntimeError for an empty sequence.
        """
    def get_special_operations(self) -> list[int]:
        """The indices of "I" and "CZ"."""
    def get_special_operations_str(self) -> list[str]:
        """The names "I", "CZ"; needs no table."""

def rb22_checker(sequence: Sequence[SupportsIndex], inv_sequence: Sequence[SupportsIndex], /) -> bool:
    """Whether the one-qubit gates of `sequence` then `inv_sequence`, multiplied left to
    right, give the identity up to a global phase. Raises RuntimeError "Bad gate in
    sequence" or "Bad gate in inv_sequence" for a code outside 0..6."""

def rb44_checker(sequence: Sequence[SupportsIndex], inv_sequence: Sequence[SupportsIndex], /) -> bool:
    """Whether the two-qubit gates of `sequence` then `inv_sequence`, multiplied left to
    right, give the identity up to a global phase. Raises RuntimeError "Bad gate in
    sequence" for a code outside 0..13 in either list."""

def generate_table22(path: _Path = "rb22.dat") -> int:
    """Generate Clifford-22 multiplication table and write to path

    Also writes readable_group22.txt in the working directory and prints progress on
    the process's standard output. Both files are written beside their names and
    renamed over them when both are complete, so a failed run leaves the old ones.
    Returns 0, or -1 when a file could not be written (or the path is the listing's,
    or standard output's file or pipe).
    """

def generate_table44(path: _Path = "rb44.dat") -> int:
    """Generate Clifford-44 multiplication table and write to path

    Also writes readable_group44.txt in the working directory and prints progress on
    the process's standard output. Both files are written beside their names and
    renamed over them when both are complete, so a failed run leaves the old ones.
    Returns 0, or -1 when a file could not be written (or the path is the listing's,
    or standard output's file or pipe).
    """
