"""vantrel_rb in circuit order: element look-up, and exported sequences played on an
independent state-vector simulation built from the OpenQASM 3 standard gate definitions."""

import dataclasses
import json
import pickle
import re
import subprocess
import sys

import numpy as np
import pytest

import vantrel_rb as rb

R = np.sqrt(0.5)
QASM = {  # stdgates.inc, with qubit 0 as the first Kronecker factor
    "id": np.eye(2), "x": np.array([[0, 1], [1, 0]]), "y": np.array([[0, -1j], [1j, 0]]),
    "h": R * np.array([[1, 1], [1, -1]]), "s": np.diag([1, 1j]), "cz": np.diag([1, 1, 1, -1]),
    "cx": np.eye(4)[[0, 1, 3, 2]], "swap": np.eye(4)[[0, 2, 1, 3]],
}
ISWAP = np.array([[1, 0, 0, 0], [0, 0, 1j, 0], [0, 1j, 0, 0], [0, 0, 0, 1]])


def rotation(axis, angle):
    return np.cos(angle / 2) * np.eye(2) - 1j * np.sin(angle / 2) * QASM[axis]


def play_qasm(text, n, start=0):
    """The state after running the program's gates on basis state `start`."""
    definitions = {name: (args.replace(" ", "").split(","), body)
                   for name, args, body in re.findall(r"gate (\w+) ([\w, ]+) \{(.*)\}", text)}
    state = np.eye(2**n)[start]

    def play(statements, env):
        nonlocal state
        for statement in filter(str.strip, statements.split(";")):
            name, angle, operands = re.fullmatch(r"\s*(\w+)(?:\((-?pi)/2\))?(?:\[\d\])?\s+(.*?)\s*",
                                                 statement).groups()
            if name in ("qubit", "bit", "barrier", "c", "include", "OPENQASM"):
                continue
            operands = [env.get(o, o) for o in operands.replace(" ", "").split(",")]
            if name in definitions:
                play(definitions[name][1], dict(zip(definitions[name][0], operands)))
                continue
            gate = rotation(name[1], eval(angle, {"pi": np.pi}) / 2) if angle else QASM[name]
            qubits = [int(o[2]) for o in operands]
            if len(qubits) < n:
                gate = np.kron(gate, np.eye(2)) if qubits == [0] else np.kron(np.eye(2), gate)
            elif qubits == [1, 0]:
                gate = QASM["swap"] @ gate @ QASM["swap"]
            state = gate @ state

    play(re.sub(r"gate .*\}|//.*", "", text), {})
    return state


def survival(text, n):
    return abs(play_qasm(text, n)[0]) ** 2


def random_clifford(qubits, seed):
    rng, u = np.random.default_rng(seed), np.eye(2**qubits)
    pool = [QASM["h"], QASM["s"]] if qubits == 1 else [
        np.kron(QASM["h"], np.eye(2)), np.kron(np.eye(2), QASM["s"]), QASM["cx"], QASM["swap"]]
    for k in rng.integers(len(pool), size=30):
        u = pool[k] @ u
    return u


@pytest.fixture(scope="module")
def groups(rb22_path, rb44_path):
    return {1: rb.CliffordGroup(1, rb22_path), 2: rb.CliffordGroup(2, rb44_path)}


@pytest.mark.parametrize("qubits, trapped", [(1, 14), (2, 11144)])
def test_index_of_finds_the_played_operation(groups, qubits, trapped):
    group = groups[qubits]
    assert [group.index_of(group.unitary(i)) for i in range(group.order)] == list(range(group.order))
    # The module's matrix is the word multiplied left to right: another element for most.
    matrices = [np.reshape(group.query.get_matrix(i), (2**qubits,) * 2).T for i in range(group.order)]
    assert sum(group.index_of(m) != i for i, m in enumerate(matrices)) == trapped


@pytest.mark.parametrize("qubits, gate, message", [
    (1, np.eye(4), r"expected a 2x2 matrix for 1 qubit\(s\), got shape \(4, 4\)"),
    (2, QASM["h"], r"expected a 4x4 matrix for 2 qubit\(s\), got shape \(2, 2\)"),
    (1, [[1, 0], [0, 2]], "the matrix is not unitary"),
    (1, np.diag([1, np.exp(0.25j * np.pi)]), "not a one-qubit Clifford"),
    (2, np.kron(rotation("x", 0.3), np.eye(2)), "not a two-qubit Clifford"),
    (2, "H", "no gate named 'H' in the catalogue"),
])
def test_index_of_refuses(groups, qubits, gate, message):
    with pytest.raises(ValueError, match=message):
        groups[qubits].index_of(gate)


NAMED = {"X/2": rotation("x", np.pi / 2), "CZ": QASM["cz"]}
CASES = [(1, ("h", QASM["h"])), (1, ("s", QASM["s"])), (1, "X/2"), (1, QASM["h"]),
         (1, random_clifford(1, 1)), (1, random_clifford(1, 2)),
         (2, ("cx", QASM["cx"])), (2, ("cx", QASM["swap"] @ QASM["cx"] @ QASM["swap"])),
         (2, ("iswap", ISWAP)), (2, ("swap", QASM["swap"])), (2, ("cz", QASM["cz"])), (2, "CZ"),
         (2, ISWAP), (2, random_clifford(2, 3)), (2, random_clifford(2, 4))]


@pytest.mark.parametrize("case", range(len(CASES)))
def test_exported_sequences_return_to_zero(groups, case):
    qubits, gate = CASES[case]
    pair = rb.interleaved_rb(groups[qubits], gate, [1, 3, 8], 3, seed=case, nested=case % 2)
    programs = [rb.to_qasm3(s, keep_identity=case % 3 == 0) for e in pair for s in e.sequences]
    assert all(survival(p, qubits) == pytest.approx(1, abs=1e-9) for p in programs)
    slot = "\n".join(g.definition or "" for g in pair[1].interleaved[:1]) + "\n" + "\n".join(
        g.qasm for g in pair[1].interleaved)  # the interleaved gate is the one asked for
    played = np.array([play_qasm(slot, qubits, k) for k in range(2**qubits)]).T
    wanted = gate[1] if isinstance(gate, tuple) else NAMED[gate] if isinstance(gate, str) else gate
    assert abs(np.vdot(wanted, played)) / 2**qubits == pytest.approx(1, abs=1e-9)
    if isinstance(gate, tuple) and gate[0] != "cz":  # played natively after each random Clifford
        assert all(p.count(f"\n{gate[0]} q[") == int(re.search(r"length (\d+)", p)[1])
                   for p in programs[9:])


@pytest.mark.parametrize("qubits", [1, 2])
def test_seeds_and_nesting(groups, qubits):
    group = groups[qubits]
    draw = lambda seed, nested=False: rb.to_json(rb.standard_rb(group, [2, 5, 9], 4, seed, nested))
    assert draw(7) == draw(np.random.SeedSequence(7)) != draw(8)
    reference, interleaved = rb.interleaved_rb(group, "X0" if qubits == 2 else "X", [2, 5, 9], 4,
                                               np.random.default_rng(3), nested=True)
    for experiment in (reference, interleaved):
        longest = {s.sample: s for s in experiment.sequences if s.length == 9}
        for s in experiment.sequences:
            assert s.elements == longest[s.sample].elements[:len(s.elements)]
            assert s.gates == longest[s.sample].gates[:len(s.gates)]


def test_command_line_writes_an_experiment(rb22_path, tmp_path):
    run = subprocess.run([sys.executable, "-m", "vantrel_rb", "--qubits", "1", "--table",
                          rb22_path, "--lengths", "1,4", "--samples", "3", "--seed", "5",
                          "--interleave", "h", "--out", tmp_path], capture_output=True, text=True)
    assert run.returncode == 0 and run.stderr == "", run.stderr
    assert run.stdout.count(" 6 sequences on 1 qubit(s) in ") == 2
    document = json.loads((tmp_path / "experiment.json").read_text())["experiments"][1]
    assert document["seed"] == 5 and document["gates"]["h"]["qasm"] == "h q[0];"
    programs = sorted((tmp_path / "interleaved").iterdir())
    assert [p.name for p in programs[:2]] == ["m0001_s000.qasm", "m0001_s001.qasm"]
    assert all(survival(p.read_text(), 1) == pytest.approx(1) for p in programs)


@pytest.mark.parametrize("name", ["measure", "reset", "barrier", "U", "gphase", "pi", "sin", "let",
                                  "t", "rx", "u3", "CX", "q", "c", "a", "X", "π", "h\n"])
def test_native_names_that_a_program_would_misread_are_refused(groups, name):
    with pytest.raises(ValueError, match="reserved|stdgates|used|identifier|not the OpenQASM"):
        rb.interleaved_rb(groups[1], (name, QASM["h"]), [1], 1, seed=1)


def test_one_name_is_declared_for_one_gate_only(groups):
    """Two gates of one name would be two declarations: a program declares a name once."""
    one, two = groups[1], groups[2]
    chip = rb.simultaneous_rb([(one, 0, ("foo", QASM["x"])), (one, 1, ("foo", QASM["h"]))], [1], 1)
    pair = rb.interleaved_rb(two, ("ecr", QASM["cx"]), [1], 1, seed=1)
    ecr = ("rz", "sx", ("ecr", QASM["swap"] @ QASM["cx"] @ QASM["swap"]))
    for experiment, basis in [(chip, None), (pair, ecr)]:
        with pytest.raises(ValueError, match="two different gates are named"):
            rb.to_json(experiment, basis=basis)
    same = rb.simultaneous_rb([(one, 0, ("foo", QASM["x"])), (one, 1, ("foo", QASM["x"]))], [1], 1)
    assert rb.to_qasm3(same, program="interleaved/m0001_s000").count("gate foo a") == 1


@pytest.mark.parametrize("qubits, gate", [(1, ("h", QASM["h"])), (2, ("iswap", ISWAP))])
def test_check_plays_native_gates_by_their_matrix(groups, qubits, gate):
    native = rb.interleaved_rb(groups[qubits], gate, [1], 1, seed=1)[1].interleaved[0]
    assert groups[qubits].check([native] * 4) and not groups[qubits].check([native] * 3)
    with pytest.raises(ValueError, match="not a .*Clifford"):
        groups[qubits].check([rb.Gate("t", "t q[0];", np.diag([1, 1j**0.5] * qubits))])


@pytest.mark.parametrize("gate", ["CZ", QASM["cz"]])
def test_the_cz_slot_plays_cz_alone(groups, gate):
    interleaved = rb.interleaved_rb(groups[2], gate, [3], 2, seed=1)[1]
    assert [g.name for g in interleaved.interleaved] == ["CZ"]
    assert all(rb.to_qasm3(s, keep_identity=True).split("barrier q;")[1::2][:3]
               == ["\ncz q[0], q[1];\n"] * 3 for s in interleaved.sequences)
    assert rb.injected_gate_error(interleaved, 0.01, keep_identity=True) == pytest.approx(0.0075)


@pytest.mark.parametrize("seed", [np.random.SeedSequence(9).spawn(3)[2], None, 5,
                                  np.random.default_rng(4), np.random.SeedSequence([1, 2])])
def test_the_recorded_seed_remakes_the_experiment(groups, seed):
    draw = lambda seed: json.loads(rb.to_json(rb.standard_rb(groups[1], [1, 5], 2,
                                                             seed)))["experiments"][0]
    record = draw(seed)
    assert draw(np.random.SeedSequence(record["seed"], spawn_key=record["spawn_key"])) == record


@pytest.mark.parametrize("qubits, gate, nested", [(1, None, False), (1, "X/2", True),
                                                  (2, "CZ", False), (2, "cx", True)])
def test_sequences_made_on_access_equal_sequences_made_whole(groups, qubits, gate, nested):
    group = groups[qubits]
    if gate is None:
        experiments = [rb.standard_rb(group, [1, 3, 6], 3, seed=2, nested=nested)]
    else:
        gate = (gate, rb.STANDARD_GATES[gate]) if gate in rb.STANDARD_GATES else gate
        experiments = rb.interleaved_rb(group, gate, [1, 3, 6], 3, seed=2, nested=nested)
    for experiment in experiments:
        slot = experiment.interleaved or None
        for s in experiment.sequences:
            words = [group.word(e) for e in s.elements]
            if slot:
                words[1::2] = [slot] * s.length
            whole = rb.Sequence(s.length, s.sample, s.elements, words, s.recovery, qubits)
            assert (s.cliffords, s.gates) == (whole.cliffords, whole.gates)
            assert s == whole and hash(s) == hash(whole) and repr(s) == repr(whole)
            assert group.check(s.gates + s.recovery)
            assert pickle.loads(pickle.dumps(s)) == s
        assert experiment.sequences[0] != experiment.sequences[1]
    with pytest.raises(dataclasses.FrozenInstanceError, match="cannot assign to field 'length'"):
        s.length = 2
