"""The gate catalogue: every gate code of the module's words, with its name, matrix
and OpenQASM 3 statement, and the OpenQASM 3 standard gates that are Cliffords.

Sign convention of the quarter turns. ``X/2`` is ``rx(pi/2)`` = exp(-iπX/4) =
(I - iX)/√2, the right-handed quarter turn about +x: it takes |0⟩ to
(|0⟩ - i|1⟩)/√2, the -y axis of the Bloch sphere. ``-X/2`` is ``rx(-pi/2)`` =
(I + iX)/√2, its inverse. ``Y/2`` is ``ry(pi/2)`` = (I - iY)/√2, taking |0⟩ to |+⟩;
``-Y/2`` is ``ry(-pi/2)``. The standard ``sx`` gate is ``X/2`` times the global
phase e^{iπ/4}. The matrices here are exactly the rotations, with no extra phase.

On two qubits the first Kronecker factor acts on qubit 0 (the high bit of a basis
index): ``X0`` is X ⊗ I and is written ``x q[0];``.
"""

import dataclasses
import itertools
import re
from collections.abc import Iterable

import numpy as np
import numpy.typing as npt

__all__ = ["Gate", "ONE_QUBIT", "TWO_QUBIT", "STANDARD_GATES", "catalogue", "native_gate",
           "equal_up_to_phase"]


@dataclasses.dataclass(frozen=True)
class Gate:
    """A gate as it is played: its name, its OpenQASM 3 statement and its matrix.

    Attributes
    ----------
    name : str
        The catalogue name (``"X/2"``, ``"CZ"``, ...) or the name of a native gate.
    qasm : str
        The OpenQASM 3 statement(s) that play it on the register ``q``.
    matrix : numpy.ndarray
        The operation on the state (2×2 or 4×4, read-only).
    code : int or None
        The module's gate code; None for a native gate given by the user.
    definition : str or None
        The OpenQASM 3 ``gate`` definition that `qasm` needs, when its name is
        not a standard gate.
    """

    name: str
    qasm: str
    matrix: npt.NDArray[np.complex128] = dataclasses.field(compare=False, repr=False)
    code: int | None = None
    definition: str | None = dataclasses.field(default=None, repr=False)

    @property
    def is_identity(self) -> bool:
        """Whether this is the identity code, an idle that export drops by default."""
        return self.code == 0


def _frozen(matrix: npt.ArrayLike) -> npt.NDArray[np.complex128]:
    matrix = np.array(matrix, dtype=complex)
    matrix.setflags(write=False)
    return matrix


_R = np.sqrt(0.5)
_I = np.eye(2)
_X = np.array([[0, 1], [1, 0]])
_Y = np.array([[0, -1j], [1j, 0]])
_Z = np.diag([1, -1])
_RX = _R * np.array([[1, -1j], [-1j, 1]])  # rx(pi/2) = (I - iX)/sqrt(2)
_RY = _R * np.array([[1, -1], [1, 1]])  # ry(pi/2) = (I - iY)/sqrt(2)

#: The one-qubit gate codes 0 to 6, in code order; names as the module labels them.
ONE_QUBIT = tuple(
    Gate(name, qasm, _frozen(matrix), code) for code, (name, qasm, matrix) in enumerate([
        ("I", "id q[0];", _I),
        ("X", "x q[0];", _X),
        ("Y", "y q[0];", _Y),
        ("X/2", "rx(pi/2) q[0];", _RX),
        ("Y/2", "ry(pi/2) q[0];", _RY),
        ("-X/2", "rx(-pi/2) q[0];", _RX.conj().T),
        ("-Y/2", "ry(-pi/2) q[0];", _RY.T),
    ]))


def _on(code: int, name: str, qubit: int) -> tuple[str, str, npt.NDArray[np.complexfloating]]:
    """A one-qubit catalogue gate on one qubit of two."""
    gate = ONE_QUBIT[code]
    matrix = np.kron(gate.matrix, _I) if qubit == 0 else np.kron(_I, gate.matrix)
    return name, gate.qasm.replace("q[0]", f"q[{qubit}]"), matrix


#: The two-qubit gate codes 0 to 13, in code order.
TWO_QUBIT = tuple(
    Gate(name, qasm, _frozen(matrix), code) for code, (name, qasm, matrix) in enumerate([
        ("I", "id q[0]; id q[1];", np.eye(4)),
        _on(1, "X0", 0), _on(1, "X1", 1), _on(2, "Y0", 0), _on(2, "Y1", 1),
        _on(3, "SX0", 0), _on(5, "SXdag0", 0), _on(3, "SX1", 1), _on(5, "SXdag1", 1),
        _on(4, "SY0", 0), _on(6, "SYdag0", 0), _on(4, "SY1", 1), _on(6, "SYdag1", 1),
        ("CZ", "cz q[0], q[1];", np.diag([1, 1, 1, -1])),
    ]))

_CX = np.array([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, 1], [0, 0, 1, 0]])  # control first

#: The OpenQASM 3 standard gates (stdgates.inc) that are Cliffords, with their own
#: phases; a two-qubit gate's first operand is the first Kronecker factor.
STANDARD_GATES: dict[str, npt.NDArray[np.complex128]] = {name: _frozen(matrix) for name, matrix in {
    "id": _I, "x": _X, "y": _Y, "z": _Z,
    "h": _R * np.array([[1, 1], [1, -1]]),
    "s": np.diag([1, 1j]), "sdg": np.diag([1, -1j]),
    "sx": 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]]),
    "cx": _CX, "CX": _CX, "cy": np.block([[_I, 0 * _I], [0 * _I, _Y]]),
    "cz": np.diag([1, 1, 1, -1]), "swap": np.eye(4)[[0, 2, 1, 3]],
}.items()}

#: Every gate of stdgates.inc; those outside STANDARD_GATES take parameters or are no
#: Cliffords, so a native gate may not borrow their names.
_STDGATES = frozenset("p x y z h s sdg t tdg sx rx ry rz cx cy cz cp crx cry crz ch swap ccx"
                      " cswap cu CX phase cphase id u1 u2 u3".split())

#: Names an OpenQASM 3 reader gives a meaning of its own: keywords, types, built-in
#: gates and operations, constants and built-in functions.
_RESERVED = frozenset("""
    OPENQASM include defcalgrammar def cal defcal gate opaque extern box let break continue
    if else end return for while in switch case default nop pragma input output const
    readonly mutable qreg qubit creg bool bit int uint float angle complex array void
    duration stretch port frame waveform U gphase inv pow ctrl negctrl dim durationof delay
    reset measure barrier true false im pi tau euler arccos arcsin arctan ceiling cos exp
    floor log mod popcount rotl rotr sin sqrt tan real imag sizeof""".split())

#: Identifiers the exported program itself declares: the registers and the arguments
#: of a native gate's definition.
_PROGRAM_NAMES = frozenset({"q", "c", "a", "b"})


def catalogue(qubits: int) -> tuple[Gate, ...]:
    """The gate catalogue of one or two qubits.

    Parameters
    ----------
    qubits : int
        1 or 2.

    Returns
    -------
    tuple of Gate
        The gates in code order, so that ``catalogue(q)[code].code == code``.

    Raises
    ------
    ValueError
        For any other number of qubits.

    Examples
    --------
    >>> [gate.name for gate in catalogue(1)]
    ['I', 'X', 'Y', 'X/2', 'Y/2', '-X/2', '-Y/2']
    >>> catalogue(2)[13].qasm
    'cz q[0], q[1];'
    """
    if qubits not in (1, 2):
        raise ValueError(f"qubits must be 1 or 2, not {qubits!r}")
    return ONE_QUBIT if qubits == 1 else TWO_QUBIT


def equal_up_to_phase(a: npt.ArrayLike, b: npt.ArrayLike, tolerance: float = 1e-9) -> bool:
    """Whether two unitaries of the same size differ by a global phase only."""
    a, b = np.asarray(a), np.asarray(b)
    return a.shape == b.shape and abs(abs(np.vdot(a, b)) / len(a) - 1) < tolerance


def _placed(matrix: npt.NDArray[np.complex128], operands: tuple[int, ...],
            qubits: int) -> npt.NDArray[np.complexfloating]:
    """A standard gate's matrix on the given qubits of a register of that size."""
    if len(operands) < qubits:
        return np.kron(matrix, _I) if operands == (0,) else np.kron(_I, matrix)
    if operands == (1, 0):
        swap = STANDARD_GATES["swap"]
        return swap @ matrix @ swap
    return matrix


def native_gate(name: str, matrix: npt.ArrayLike, word: Iterable[Gate]) -> Gate:
    """A gate that the hardware plays natively under its own name.

    A standard OpenQASM 3 name is written as that gate, on the qubits where its
    definition gives ``matrix``; any other name gets a ``gate`` definition built
    from `word`, the catalogue gates that perform the same operation.

    Parameters
    ----------
    name : str
        An OpenQASM 3 identifier: ``"cx"``, ``"iswap"``, ...
    matrix : array_like
        The operation the gate performs, 2×2 or 4×4.
    word : sequence of Gate
        Catalogue gates whose played product equals `matrix` up to a phase.

    Returns
    -------
    Gate
        With ``code`` None.

    Raises
    ------
    ValueError
        When `name` is not an ASCII identifier; is reserved in OpenQASM 3 (a
        keyword, type, built-in gate, constant or function); is a name the
        exported program uses (``q``, ``c``, ``a``, ``b``, a catalogue name); is
        a gate of ``stdgates.inc`` outside `STANDARD_GATES`; or is a standard
        gate whose definition is not `matrix` on any choice of qubits.

    Examples
    --------
    >>> cx = np.eye(4)[[0, 1, 3, 2]]
    >>> native_gate("cx", cx, []).qasm
    'cx q[0], q[1];'
    >>> native_gate("cx", np.eye(4)[[0, 3, 2, 1]], []).qasm  # control on qubit 1
    'cx q[1], q[0];'
    """
    if not isinstance(name, str) or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name):
        raise ValueError(f"gate name {name!r} is not an OpenQASM 3 identifier")
    matrix = _frozen(matrix)
    qubits = len(matrix).bit_length() - 1
    # A gate declared under any of these names would be read as something else, or
    # would redefine what the rest of the program relies on.
    if name in _RESERVED:
        raise ValueError(f"gate name {name!r} is reserved in OpenQASM 3")
    if name in _PROGRAM_NAMES or any(name == gate.name for gate in catalogue(qubits)):
        raise ValueError(f"gate name {name!r} is already used by the exported programs")
    if name in _STDGATES and name not in STANDARD_GATES:
        raise ValueError(f"gate name {name!r} is a gate of stdgates.inc that is not a"
                         " fixed Clifford")
    if name in STANDARD_GATES:
        standard = STANDARD_GATES[name]
        arity = len(standard).bit_length() - 1
        for operands in itertools.permutations(range(qubits), arity):
            if equal_up_to_phase(_placed(standard, operands, qubits), matrix):
                return Gate(name, f"{name} {', '.join(f'q[{k}]' for k in operands)};", matrix)
        raise ValueError(f"the matrix given for {name!r} is not the OpenQASM 3 gate {name}"
                         f" on any of the {qubits} qubit(s)")
    arguments = ["a", "b"][:qubits]
    body = " ".join(gate.qasm.replace("q[0]", "a").replace("q[1]", "b")
                    for gate in word if not gate.is_identity)
    definition = f"gate {name} {', '.join(arguments)} {{ {body} }}"
    return Gate(name, f"{name} {', '.join(f'q[{k}]' for k in range(qubits))};", matrix,
                definition=definition)
