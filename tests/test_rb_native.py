"""Native compilation: every element of both groups as rz, sx and an entangler, read
back from the OpenQASM 3 text alone, with the fewest gates the whole-group search finds."""

import doctest
import functools
import re

import numpy as np
import pytest

import vantrel_rb as rb
import vantrel_rb.native

R = np.sqrt(0.5)
SWAP = np.eye(4)[[0, 2, 1, 3]]
ECR = R * np.array([[0, 1, 0, 1j], [1, 0, -1j, 0], [0, 1j, 0, 1], [-1j, 0, 1, 0]])
CX10 = np.eye(4)[[0, 3, 2, 1]]  # control on qubit 1
ENTANGLERS = {"cz": np.diag([1, 1, 1, -1]), "cx": np.eye(4)[[0, 1, 3, 2]], "ecr": ECR}
ONE = {"sx": 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]]),
       **{f"rz({text})": np.diag([np.exp(-0.5j * a), np.exp(0.5j * a)])
          for text, a in [("pi/2", np.pi / 2), ("pi", np.pi), ("-pi/2", -np.pi / 2)]}}


@pytest.fixture(scope="module")
def groups(rb22_path, rb44_path):
    return {1: rb.CliffordGroup(1, rb22_path), 2: rb.CliffordGroup(2, rb44_path)}


@functools.cache
def played(statement, qubits):
    """The operation of one native statement, from its text."""
    name, wires = re.fullmatch(r"(\S+) (q\[\d\](?:, q\[\d\])?);", statement).groups()
    wires = [int(w) for w in re.findall(r"\d", wires)]
    if name in ENTANGLERS:
        return ENTANGLERS[name] if wires == [0, 1] else SWAP @ ENTANGLERS[name] @ SWAP
    if qubits == 1:
        return ONE[name]
    return np.kron(ONE[name], np.eye(2)) if wires == [0] else np.kron(np.eye(2), ONE[name])


@pytest.mark.parametrize("qubits, basis, entanglers, sx", [
    (1, "rz,sx", 0, 24),
    (2, "rz,sx,cz", 17280, 38400),
    (2, ("rz", "sx", "cx"), 17280, 29440),
    (2, ["rz", "sx", ("cx", CX10)], 17280, 29440),  # apart from the other cx in the cache
    (2, ["sx", ("ecr", ECR), "rz"], 17280, 29760),
])
def test_every_element_compiles_with_the_fewest_gates(groups, qubits, basis, entanglers, sx):
    group = groups[qubits]
    counts = rb.native_counts(group, basis)
    assert (counts.entanglers.sum(), counts.sx.sum()) == (entanglers, sx)
    circuits = [group.native(i, basis) for i in range(group.order)]
    entangler = rb.native_basis(basis, group).entangler
    for gate in {gate for gates in circuits for gate in gates}:
        assert gate.code is None and np.allclose(gate.matrix, played(gate.qasm, qubits))
        assert gate.name in ("rz", "sx") or gate == entangler
    for i, gates in enumerate(circuits):
        u = np.eye(2**qubits)
        for gate in gates:
            u = played(gate.qasm, qubits) @ u
        assert rb.gates.equal_up_to_phase(u, group.unitary(i))
        names = [gate.name for gate in gates]
        assert (names.count("sx"), names.count("rz"), len(names)) == (
            counts.sx[i], counts.rz[i], counts.entanglers[i] + counts.sx[i] + counts.rz[i])


def test_an_entangler_of_its_own_name_is_defined_by_its_matrix(groups):
    ecr = rb.native_basis(("rz", "sx", ("ecr", ECR)), groups[2]).entangler
    assert ecr.qasm == "ecr q[0], q[1];"
    statements = {gate.qasm: gate.matrix for gate in rb.catalogue(2)}
    body = re.fullmatch(r"gate ecr a, b \{ (.*) \}", ecr.definition).group(1)
    u = np.eye(4)
    for statement in re.findall(r"[^;]+;", body.replace("a", "q[0]").replace("b", "q[1]")):
        u = statements[statement.strip()] @ u
    assert rb.gates.equal_up_to_phase(u, ECR)


ISWAP = np.array([[1, 0, 0, 0], [0, 0, 1j, 0], [0, 1j, 0, 0], [0, 0, 0, 1]])


@pytest.mark.parametrize("qubits, basis, message", [
    (2, ("rz", "sx", ("sw", SWAP)), r"'sw' is not locally equivalent to CNOT .*rank is 4"),
    (2, ("rz", "sx", ("isw", ISWAP)), r"'isw' is not locally .*rank is 4"),
    (2, ("rz", "sx", ("idle", np.eye(4))), r"'idle' is not locally .*rank is 1"),
    (2, ("rz", "sx", ("e", np.ones((4, 4)))), r"entangler 'e': the matrix is not unitary"),
    (2, ("rz", "sx", ("t", np.diag([1, 1, 1, np.exp(0.25j * np.pi)]))), r"'t': .*not a two-qubit"),
    (2, ("rz", "sx", ("cz", ENTANGLERS["cx"])), r"'cz'"),
    (2, ("rz", "sx", ("rz", ECR)), r"may not be named 'rz'"),
    (2, "rz,sx,ecr", r"unknown native gate 'ecr'"),
    (2, "rz,sx", r"exactly one entangler, not 'rz,sx'"),
    (2, "rz,rz,sx,cz", r"rz and sx once each, not 'rz,rz,sx,cz'"),
    (1, "rz,sx,cz", r"one-qubit basis is rz and sx alone, not 'rz,sx,cz'"),
    (1, ["rz", "sx", 3], r"basis entry 3 is neither"),
])
def test_bad_bases_are_refused(groups, qubits, basis, message):
    with pytest.raises(ValueError, match=message):
        groups[qubits].native(0, basis)


def test_examples_run(rb22_path, monkeypatch):
    monkeypatch.chdir(rb22_path.parent)
    found = doctest.testmod(vantrel_rb.native, extraglobs={**vars(rb), "np": np},
                            optionflags=doctest.ELLIPSIS)
    assert found.failed == 0 and found.attempted > 0
