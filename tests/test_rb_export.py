"""vantrel_rb's files: written whole or not at all, never over others unasked."""

import hashlib
import itertools
import json
import re
import resource
import signal
import subprocess
import sys

import numpy as np
import pytest

import vantrel_rb as rb
from vantrel_rb.experiments import SimultaneousExperiment, Site


def contents(folder):
    return {str(p.relative_to(folder)): p.is_file() and p.read_bytes() for p in folder.rglob("*")}


@pytest.fixture
def written(rb22_path, tmp_path):
    group = rb.CliffordGroup(1, rb22_path)
    rb.write_experiment(rb.standard_rb(group, [1, 4, 8], 2, seed=1), tmp_path / "out")
    (tmp_path / "afile").write_text("mine")
    (tmp_path / "dangling").symlink_to(tmp_path / "nowhere")
    return tmp_path, group


def test_experiments_are_replaced_only_when_asked_and_whole(written, monkeypatch):
    folder, group = written
    before, second = contents(folder), rb.standard_rb(group, [2, 5], 2, seed=2)
    with pytest.raises(FileExistsError, match="replace=True replaces it"):
        rb.write_experiment(second, folder / "out")
    failing = iter([rb.export._write_file, rb.export._write_file, None])  # the third fails
    monkeypatch.setattr(rb.export, "_write_file", lambda *a: next(failing)(*a))
    with pytest.raises(TypeError):
        rb.write_experiment(second, folder / "out", replace=True)
    assert contents(folder) == before
    monkeypatch.undo()
    rb.write_experiment(second, folder / "out", replace=True)
    assert contents(folder / "out") == contents(rb.write_experiment(second, folder / "new").parent)


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (300, 300))


@pytest.mark.parametrize("arguments, message", [
    (["--out", "{}/afile"], "cannot write into .*afile: not a folder"),
    (["--out", "/dev/null"], "cannot write into /dev/null: not a folder"),
    (["--out", "/dev/null/sub"], "cannot write into /dev/null/sub: Not a directory"),
    (["--out", "{}/out"], r"out/experiment.json is already there: --replace replaces"),
    (["--out", "{}/out", "--replace", "--lengths", "1,30"], "cannot write into .*: File too large"),
    (["--out", "{}/new/deeper", "--lengths", "1,30"], "cannot write into .*: File too large"),
    (["--out", "{}/dangling"], "cannot write into .*dangling: not a folder"),
    (["--out", "{}/new", "--interleave", ""], "--interleave needs a gate name"),
    (["--out", "{}/new", "--lengths", "100000000"], "lengths must be 1 to 100000, got"),
])
def test_command_line_refuses_with_one_line(written, arguments, message):
    folder, group = written
    before = contents(folder)
    run = subprocess.run([sys.executable, "-m", "vantrel_rb", "--qubits", "1", "--table",
                          group.path, "--samples", "2", "--lengths", "1,4",
                          *(a.format(folder) for a in arguments)], capture_output=True,
                         text=True, preexec_fn=limit_file_size)
    assert run.returncode == 1 and run.stdout == "", run.stderr
    assert run.stderr.count("\n") == 1 and re.search(message, run.stderr)
    assert contents(folder) == before


# --- Native basis, physical qubits, the three kinds, read back ---------------------------

R = np.sqrt(0.5)
ECR = R * np.array([[0, 1, 0, 1j], [1, 0, -1j, 0], [0, 1j, 0, 1], [-1j, 0, 1, 0]])
ONE = {"id": np.eye(2), "x": np.array([[0, 1], [1, 0]]), "y": np.array([[0, -1j], [1j, 0]]),
       "h": R * np.array([[1, 1], [1, -1]]),
       "sx": 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]])}
TWO = {"cz": np.diag([1, 1, 1, -1]), "cx": np.eye(4)[[0, 1, 3, 2]]}
TURN = {"rz": lambda t: np.diag([np.exp(-0.5j * t), np.exp(0.5j * t)]),
        "rx": lambda t: np.cos(t / 2) * np.eye(2) - 1j * np.sin(t / 2) * ONE["x"],
        "ry": lambda t: np.cos(t / 2) * np.eye(2) - 1j * np.sin(t / 2) * ONE["y"]}


def survival(program):
    """Plays an OpenQASM 3 program on a state vector: the chance every measured bit reads 0."""
    defined, state, measured = {}, None, {}

    def play(statement, wires=None):
        name, angle, operands = re.fullmatch(r"(\w+)(?:\((.*)\))? (.*)", statement).groups()
        qubits = [wires[w] if wires else int(re.fullmatch(r"q\[(\d+)\]", w)[1])
                  for w in operands.split(", ")]
        if name in defined:
            arguments, body = defined[name]
            for inner in filter(None, (s.strip() for s in body.split(";"))):
                play(inner, dict(zip(arguments, qubits)))
            return
        u = TURN[name](eval(angle, {"pi": np.pi})) if angle else {**ONE, **TWO}[name]
        axes = list(range(len(qubits)))
        moved = np.tensordot(u.reshape((2,) * 2 * len(qubits)), state,
                             ([len(qubits) + a for a in axes], qubits))
        state[...] = np.moveaxis(moved, axes, qubits)

    for line in program.splitlines()[2:]:
        if m := re.fullmatch(r"gate (\w+) ([\w, ]+) \{ (.*) \}", line):
            defined[m[1]] = (m[2].split(", "), m[3])
        elif m := re.fullmatch(r"qubit\[(\d+)\] q;", line):
            state = np.zeros((2,) * int(m[1]), dtype=complex)
            state.flat[0] = 1
        elif line == "c = measure q;":
            measured.update({k: k for k in range(state.ndim)})
        elif m := re.fullmatch(r"c\[(\d+)\] = measure q\[(\d+)\];", line):
            measured[int(m[1])] = int(m[2])
        elif not line.startswith(("//", "bit[", "barrier")):
            play(line.rstrip(";"))
    return float(np.sum(np.abs(state[tuple(0 if k in measured.values() else slice(None)
                                           for k in range(state.ndim))]) ** 2))


@pytest.fixture(scope="module")
def campaign(rb22_path, rb44_path):
    one, two = rb.CliffordGroup(1, rb22_path), rb.CliffordGroup(2, rb44_path)
    pair = rb.interleaved_rb(two, ("ecr", ECR), [1, 3, 6], 2, seed=4)
    sites = (Site((5,), (rb.standard_rb(one, [1, 3, 6], 2, 1), rb.standard_rb(one, [1, 3, 6], 2, 2))),
             Site((4, 1), pair))
    simultaneous = SimultaneousExperiment(("reference", "interleaved"), (1, 3, 6), 2, 9,
                                             False, sites, 7)
    return {"experiment": rb.standard_rb(one, [1, 3, 6], 2, seed=3),
            "two": rb.standard_rb(two, [1, 3], 2, seed=3), "pair": pair,
            "simultaneous": simultaneous, "groups": (one, two)}  # loaded while in use


@pytest.mark.parametrize("layout", ["files", "single"])
@pytest.mark.parametrize("kind", ["experiment", "pair", "simultaneous"])
def test_every_kind_is_read_back_equal_and_every_program_returns_home(campaign, tmp_path,
                                                                      kind, layout):
    experiment = campaign[kind]
    physical = {"experiment": {"physical": (2,)}, "pair": {"physical": (4, 1), "width": 6}}
    options = dict(basis=("rz", "sx", ("ecr", ECR)), **physical.get(kind, {}))
    path = rb.write_experiment(experiment, tmp_path, layout=layout, **options)
    assert rb.read_experiment(tmp_path) == rb.read_experiment(path) == experiment
    document = json.loads(path.read_text())
    names = [program["program"] for program in document["programs"]]
    texts = ([program["qasm"] for program in document["programs"]] if layout == "single" else
             [(tmp_path / f"{name}.qasm").read_text() for name in names])
    assert texts == [text for _, text in rb.programs(experiment, **options)]
    assert [survival(text) for text in texts] == pytest.approx([1] * len(texts), abs=1e-9)
    if kind == "simultaneous":  # each site's blocks end together, at the measurement, and
        # an element played as nothing leaves its layer idle: every element keeps its layer
        idle = 0
        for (_, round_, *_), index, text in zip(experiment.programs(), itertools.count(), texts):
            layers = text.split("barrier q;\n")
            for site in experiment.sites:
                sequence = site.experiments[experiment.rounds.index(round_)].sequences[
                    index % (len(experiment.lengths) * experiment.samples)]
                blocks = [*sequence.cliffords, sequence.recovery]
                played = [not all(gate.is_identity for gate in block) for block in blocks]
                idle += played.count(False)
                wires = f"q[{site.physical[0]}]"
                assert [wires in layer for layer in layers] == (
                    [False] * (len(layers) - len(blocks)) + played)
        assert idle  # the seeds draw identities, which the check is about


@pytest.mark.parametrize("basis", [None, "rz,sx,cz", ("rz", "sx", "cx")])
@pytest.mark.parametrize("kind, physical", [("experiment", (3,)), ("two", (2, 0)),
                                            ("two", None)])
def test_native_programs_on_physical_qubits_return_home(campaign, basis, kind, physical):
    for sequence in campaign[kind].sequences:
        text = rb.to_qasm3(sequence, basis=basis, physical=physical)
        assert survival(text) == pytest.approx(1, abs=1e-9)
        assert basis is None or not re.search(r"\b(rx|ry|x|y|id)\b", text)


@pytest.mark.parametrize("physical, width, error, message", [
    ((1, 1), None, ValueError, r"label repeated in \[1, 1\]"),
    ((0, -2), None, ValueError, "non-negative"),
    ((3, 7), 7, ValueError, "width 7 has no qubit 7"),
    ((3,), None, ValueError, r"1 physical label\(s\) \[3\] for 2 qubit"),
    ((3, 1.5), None, TypeError, "must be integers"),
    ("37", None, TypeError, "sequence of qubit labels"),
])
def test_bad_physical_labels_are_refused(campaign, physical, width, error, message):
    with pytest.raises(error, match=message):
        rb.to_qasm3(campaign["two"].sequences[0], physical=physical, width=width)


@pytest.mark.parametrize("damage, message", [
    (lambda d: "{not json", "is not JSON"),
    (lambda d: {"a": 1}, "not an experiment written by vantrel_rb"),
    (lambda d: d["experiments"][0].pop("sequences") and d, r"\['experiments'\]\[0\] has no 'sequences'"),
    (lambda d: d["experiments"][0]["sequences"][1]["elements"].__setitem__(0, 24) or d,
     r"\['sequences'\]\[1\]\['elements'\] holds 24, outside 0..23"),
    (lambda d: d["experiments"][0]["words"].clear() or d, "lacks element"),
    (lambda d: d["experiments"][0]["sequences"][0].__setitem__("recovery", ["T"]) or d,
     "names gate 'T'"),
])
def test_a_damaged_document_is_a_clear_value_error(campaign, tmp_path, damage, message):
    path = rb.write_experiment(campaign["experiment"], tmp_path)
    damaged = damage(json.loads(path.read_text()))
    path.write_text(damaged if isinstance(damaged, str) else json.dumps(damaged))
    with pytest.raises(ValueError, match=message):
        rb.read_experiment(tmp_path)


@pytest.mark.parametrize("seed, digests", [
    (1, ["373321d732ee1fe5", "fcfdba14ddbbf44d", "f4859ce3003730cd", "0a55cf297521d5cb",
         "3a4e0f23f2c6d7bd", "1bf5e1dc1c0f4043"]),
    (7, ["4a8e337add0f9b5c", "79485d0a045cd91a", "bf51a07992d48cf4", "34d7ecd5ffaa848a",
         "51919fef26658eb3", "89bf7c0fee730aa2"])])
def test_documents_of_pinned_seeds_keep_their_bytes(rb22_path, rb44_path, seed, digests):
    """The bytes these seeds wrote before the draw and the export were rebuilt for speed
    (seed 7 draws identities, which now leave their layer of a chip idle)."""
    one, two = rb.CliffordGroup(1, rb22_path), rb.CliffordGroup(2, rb44_path)
    standard = rb.standard_rb(one, [1, 3, 8, 20], 4, seed=seed)
    pair = rb.interleaved_rb(two, "CZ", [1, 2, 5, 9], 3, seed=seed, nested=bool(seed % 2))
    chip = rb.simultaneous_rb([(one, 4), (two, (0, 2), "CZ"), (one, 1, "X/2"), (two, (3, 6))],
                              [1, 3, 7], 3, seed=seed, nested=True)
    documents = [rb.to_json(standard),
                 rb.to_json(standard, basis="rz,sx", physical=(3,), layout="single"),
                 rb.to_json(pair),
                 rb.to_json(pair, basis="rz,sx,cz", physical=(5, 2), width=9, layout="single",
                            keep_identity=True),
                 rb.to_json(chip, layout="single"),
                 rb.to_json(chip, basis="rz,sx,cz", layout="single")]
    assert [hashlib.sha256(d.encode()).hexdigest()[:16] for d in documents] == digests
