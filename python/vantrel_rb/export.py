"""Export of sequences as OpenQASM 3 programs and of whole experiments as JSON.

Qubit 0 of every export is the first Kronecker factor of the two-qubit gates. The
identity code is an idle on hardware, so it is dropped unless asked for.
"""

import errno
import json
import os
import pathlib
import shutil
import tempfile

__all__ = ["to_qasm3", "to_json", "write_experiment"]


def _played(gates, keep_identity):
    return [gate for gate in gates if keep_identity or not gate.is_identity]


def to_qasm3(sequence, keep_identity=False, barriers=True):
    """An OpenQASM 3 program playing one sequence on ``|0…0⟩`` and measuring every qubit.

    Parameters
    ----------
    sequence : Sequence
        A sequence of an experiment.
    keep_identity : bool, optional
        Write the identity code as ``id`` instead of dropping it.
    barriers : bool, optional
        Put a barrier after every Clifford, so a compiler does not merge them.

    Returns
    -------
    str
        The program, using the standard gates of ``stdgates.inc``.

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
    """
    n = sequence.qubits
    slots = [_played(gates, keep_identity) for gates in (*sequence.cliffords,
                                                         sequence.recovery)]
    definitions = dict.fromkeys(gate.definition for slot in slots for gate in slot
                                if gate.definition)
    lines = ["OPENQASM 3.0;", 'include "stdgates.inc";',
             f"// RB sequence: length {sequence.length}, sample {sequence.sample},"
             f" elements {list(sequence.elements)}", *definitions,
             f"qubit[{n}] q;", f"bit[{n}] c;"]
    body = []
    for slot in filter(None, slots):
        if body and barriers:
            body.append("barrier q;")
        body.extend(gate.qasm for gate in slot)
    return "\n".join([*lines, *body, "c = measure q;"]) + "\n"


def to_json(experiment, keep_identity=False):
    """The whole experiment as a JSON document.

    It holds the experiment's name, qubits, lengths, samples, seed and spawn key
    (``numpy.random.SeedSequence(seed, spawn_key=spawn_key)`` remakes it), nesting, the
    table's digest, the interleaved element and gates, the OpenQASM 3 text of
    every gate name used, and per sequence its length, sample, elements, gate
    names in time order and recovery gate names.

    Parameters
    ----------
    experiment : Experiment
    keep_identity : bool, optional
        Keep the identity code ``"I"`` in the gate lists.

    Returns
    -------
    str

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> document = json.loads(to_json(standard_rb(group, [2, 8], 3, seed=5)))
    >>> document["lengths"], len(document["sequences"]), document["seed"]
    ([2, 8], 6, 5)
    """
    used = {}

    def names(gates):
        played = _played(gates, keep_identity)
        used.update((gate.name, gate) for gate in played)
        return [gate.name for gate in played]

    sequences = [{"length": s.length, "sample": s.sample, "elements": list(s.elements),
                  "gates": names(s.gates), "recovery": names(s.recovery)}
                 for s in experiment.sequences]
    interleaved = None
    if experiment.interleaved_element is not None:
        interleaved = {"element": experiment.interleaved_element,
                       "gates": [gate.name for gate in experiment.interleaved]}
    document = {
        "experiment": experiment.name, "qubits": experiment.qubits,
        "lengths": list(experiment.lengths), "samples": experiment.samples,
        "seed": experiment.seed, "spawn_key": list(experiment.spawn_key),
        "nested": experiment.nested, "table": experiment.table,
        "interleaved": interleaved, "keep_identity": keep_identity,
        "gates": {name: {"qasm": gate.qasm, **({"definition": gate.definition}
                                               if gate.definition else {})}
                  for name, gate in sorted(used.items())},
        "sequences": sequences,
    }
    return json.dumps(document, indent=1)


def write_experiment(experiment, folder, keep_identity=False, progress=None, replace=False):
    """Writes ``<name>.json`` and one ``<name>/m<length>_s<sample>.qasm`` per sequence.

    The files are written into a temporary folder inside `folder` and renamed into
    place only when all are written: `folder` never holds a mix of two experiments'
    files, and a failure leaves it as it was.

    Parameters
    ----------
    experiment : Experiment
    folder : str or os.PathLike
        Created when missing.
    keep_identity : bool, optional
        As for `to_qasm3` and `to_json`.
    progress : callable, optional
        Called as ``progress(done, total)`` after each file.
    replace : bool, optional
        Replace an experiment of the same name in `folder`, all its files.

    Returns
    -------
    pathlib.Path
        The JSON file.

    Raises
    ------
    FileExistsError
        When `folder` already holds ``<name>.json`` or ``<name>/`` and `replace`
        is false.
    OSError
        When `folder` cannot be made or a file cannot be written.
    """
    return _write_experiments([experiment], folder, keep_identity, replace,
                              lambda _: progress)[0]


def _entries(name):
    return f"{name}.json", name


def _existing(folder, names):
    """The entries of the experiments `names` that `folder` already holds."""
    folder = pathlib.Path(folder)
    return [folder / entry for name in names for entry in _entries(name)
            if os.path.lexists(folder / entry)]


def _write_experiments(experiments, folder, keep_identity=False, replace=False,
                      progress_for=lambda experiment: None):
    """Writes several experiments into one folder as `write_experiment` writes one: all
    of them or none. Returns their JSON files. `progress_for(experiment)` gives the
    progress callable for each experiment's files."""
    folder = pathlib.Path(folder)
    names = [experiment.name for experiment in experiments]
    if len(set(names)) < len(names):
        raise ValueError(f"experiments of one name cannot share a folder: {names}")
    present = _existing(folder, names)
    if present and not replace:
        raise FileExistsError(errno.EEXIST, "an experiment of that name is already there"
                              " (replace=True replaces it)", str(present[0]))
    folder.mkdir(parents=True, exist_ok=True)
    staging = pathlib.Path(tempfile.mkdtemp(prefix=".vantrel_rb-", dir=folder))
    new, old = staging / "new", staging / "old"
    moved = []  # renames done, undone last first when a later step fails
    keep = False
    try:
        for experiment in experiments:
            programs = new / experiment.name
            programs.mkdir(parents=True)
            progress = progress_for(experiment)
            total = len(experiment.sequences)
            for done, sequence in enumerate(experiment.sequences, 1):
                path = programs / f"m{sequence.length:04d}_s{sequence.sample:03d}.qasm"
                path.write_text(to_qasm3(sequence, keep_identity))
                if progress:
                    progress(done, total)
            (new / f"{experiment.name}.json").write_text(to_json(experiment, keep_identity))
        old.mkdir()
        # Every old entry leaves before any new one arrives, and each JSON last, so
        # that a JSON in the folder always lists programs that are all there.
        for entry in [e for name in names for e in _entries(name)]:
            if os.path.lexists(folder / entry):
                os.rename(folder / entry, old / entry)
                moved.append((folder / entry, old / entry))
        for entry in [e for name in names for e in reversed(_entries(name))]:
            os.rename(new / entry, folder / entry)
            moved.append((new / entry, folder / entry))
    except BaseException as error:
        try:
            for source, target in reversed(moved):
                os.rename(target, source)
        except OSError:
            keep = True  # the old files may still be in staging: never delete them
            error.add_note(f"the previous files are in {old}")
        raise
    finally:
        if not keep:
            shutil.rmtree(staging, ignore_errors=True)
    return [folder / f"{name}.json" for name in names]
