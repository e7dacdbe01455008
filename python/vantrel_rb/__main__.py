"""Draws and writes RB experiments, or analyzes the counts measured on them.

Draw (the default command; "draw" may be given first):

    python -m vantrel_rb --qubits 2 --table rb44.dat --lengths 1,4,16,64 \\
        --samples 30 --seed 7 --interleave cx --out irb_cx
    python -m vantrel_rb draw --tables rb22.dat,rb44.dat --site 0 --site 1 \\
        --site 2,3 --interleave cz --basis rz,sx,cz --lengths 1,8,32,128 \\
        --samples 30 --out chip

Each --site is one physical qubit or a pair (a simultaneous experiment when there
are several), optionally with the gate to interleave there: 3, 2,3, 2,3=cz,
5,4=cx:1,0. A gate is a catalogue name, a standard gate, or a standard gate on
given qubits of a pair (cx:1,0 is a CX controlled by the pair's second qubit, sx:1
an sx on it); --interleave GATE interleaves it on every site of its size that names
no gate of its own.

Analyze:

    python -m vantrel_rb analyze chip counts.json

prints one row per site and saves a plot (analysis.png in the folder).

Every refusal is one line on standard error: status 2 for a malformed argument,
1 for arguments that do not fit together, a folder that cannot be written and the
like. The experiments are written all or none.
"""

import argparse
import json
import os
import pathlib
import sys
import warnings
from collections.abc import Iterable, Sequence
from typing import NoReturn, TextIO

import numpy as np
import numpy.typing as npt

from . import export
from .analysis import DecayFit, DecayWarning, InterleavedFit, analyze, plot_decay
from .experiments import (MAX_ELEMENTS, MAX_LENGTH, Experiment, SimultaneousExperiment,
                          interleaved_rb, simultaneous_rb, standard_rb, validated)
from .gates import STANDARD_GATES, _placed, catalogue
from .group import CliffordGroup
from .native import native_basis


def _refuse(message: str, status: int = 1) -> NoReturn:
    print(f"python -m vantrel_rb: {message}", file=sys.stderr)
    raise SystemExit(status)


class _Parser(argparse.ArgumentParser):
    """Refuses with one line, not a usage block."""

    def error(self, message: str) -> NoReturn:
        _refuse(message, 2)


class ProgressBar:
    """A one-line progress bar on standard error, drawn only on a terminal."""

    def __init__(self, label: str, stream: TextIO = sys.stderr) -> None:
        self.label, self.stream = label, stream
        self.shown = stream.isatty()

    def __call__(self, done: int, total: int) -> None:
        if self.shown:
            filled = 30 * done // total
            self.stream.write(f"\r{self.label:<28} [{'#' * filled}{'.' * (30 - filled)}]"
                              f" {done}/{total}")
            self.stream.write("\n" if done == total else "")
            self.stream.flush()


def _lengths(text: str) -> list[int]:
    try:
        return [int(m) for m in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError(f"not comma-separated integers: {text!r}") from None


_Gate = str | tuple[str, npt.NDArray[np.complexfloating]]


def _site(text: str) -> tuple[tuple[int, ...], _Gate | None]:
    """(physical qubits, gate to interleave there or None) of --site."""
    where, _, gate = text.partition("=")
    try:
        qubits = tuple(int(q) for q in where.split(","))
    except ValueError:
        raise argparse.ArgumentTypeError(f"a site is one qubit or a pair, e.g. 3, 3,4 or"
                                         f" 3,4=cz: not {text!r}") from None
    if not 1 <= len(qubits) <= 2 or min(qubits) < 0 or len(set(qubits)) < len(qubits):
        raise argparse.ArgumentTypeError(f"a site is one non-negative qubit or two distinct"
                                         f" ones: not {text!r}")
    if not gate:
        if text.endswith("="):
            raise argparse.ArgumentTypeError(f"no gate after '=' in {text!r}")
        return qubits, None
    size, interleaved = _interleaved(gate)
    if size != len(qubits):
        raise argparse.ArgumentTypeError(f"{gate} acts on {size} qubit(s), the site {where}"
                                         f" has {len(qubits)}")
    return qubits, interleaved


def _interleaved(text: str) -> tuple[int, _Gate]:
    """(qubits of the sites it serves, gate as interleaved_rb takes it) of --interleave
    (0 and the text for an empty one)."""
    name, _, operands = text.partition(":")
    if operands:
        if name not in STANDARD_GATES:
            raise argparse.ArgumentTypeError(f"qubits can be given only for a standard gate"
                                             f" ({', '.join(STANDARD_GATES)}): not {text!r}")
        matrix = STANDARD_GATES[name]
        try:
            placed = tuple(int(q) for q in operands.split(","))
        except ValueError:
            placed = ()
        if len(placed) != len(matrix).bit_length() - 1 or not set(placed) <= {0, 1} \
                or len(set(placed)) < len(placed):
            raise argparse.ArgumentTypeError(f"{name} needs {len(matrix).bit_length() - 1}"
                                             f" distinct qubit(s) of a pair, 0 or 1: not {text!r}")
        return 2, (name, _placed(matrix, placed, 2))
    if name in STANDARD_GATES:
        return len(STANDARD_GATES[name]).bit_length() - 1, (name, STANDARD_GATES[name])
    for qubits in (1, 2):
        if name in {gate.name for gate in catalogue(qubits)}:
            return qubits, name
    if not text:
        return 0, text  # refused with the other arguments' checks, as it always was
    names = ", ".join(gate.name for gate in catalogue(1) + catalogue(2)[1:])
    raise argparse.ArgumentTypeError(
        f"{text!r} is not a catalogue name ({names}) nor a standard gate"
        f" ({', '.join(STANDARD_GATES)}), optionally on qubits of a pair (cx:1,0, sx:1)")


def _groups(paths: Iterable[str], sizes: set[int]) -> dict[int, CliffordGroup]:
    """The CliffordGroup of each number of qubits in `sizes`, from the table files given."""
    groups: dict[int, CliffordGroup] = {}
    for path in paths:
        errors = []
        for qubits in sorted(sizes - groups.keys()):
            try:
                groups[qubits] = CliffordGroup(qubits, path)
                break
            except RuntimeError as error:
                errors.append(str(error))
        else:
            if errors:
                _refuse(f"cannot load {path}: {errors[-1]}")
    for qubits in sorted(sizes - groups.keys()):
        _refuse(f"no table of {qubits} qubit(s) given: --tables rb22.dat,rb44.dat")
    return groups


def _write(drawn: Experiment | tuple[Experiment, Experiment] | SimultaneousExperiment,
           out: pathlib.Path, args: argparse.Namespace,
           physical: tuple[int, ...] | None) -> pathlib.Path:
    """Writes the experiment; returns the JSON file written."""
    return export.write_experiment(drawn, out, basis=args.basis, physical=physical,
                                   layout=args.layout, replace=args.replace,
                                   keep_identity=args.keep_identity,
                                   progress=ProgressBar("writing"))


def draw(argv: Sequence[str]) -> None:
    parser = _Parser(prog="python -m vantrel_rb [draw]",
                     description="Draws an RB experiment and writes its programs.")
    parser.add_argument("--qubits", type=int, choices=(1, 2),
                        help="one site of this many qubits, numbered from 0")
    parser.add_argument("--site", type=_site, action="append", default=[],
                        help="physical qubit(s) of a site, and the gate to interleave there:"
                             " 3, 3,4 or 3,4=cx:1,0; repeat for simultaneous RB")
    parser.add_argument("--table", action="append", default=[],
                        help="a table file from Vantrel.generate_table22 / generate_table44")
    parser.add_argument("--tables", type=lambda text: text.split(","), default=[],
                        help="the table files, comma-separated: rb22.dat,rb44.dat")
    parser.add_argument("--lengths", type=_lengths, required=True,
                        help="comma-separated distinct sequence lengths, e.g. 1,4,16,64;"
                             f" at most {MAX_LENGTH} and {MAX_ELEMENTS} elements in all")
    parser.add_argument("--samples", type=int, required=True, help="sequences per length")
    parser.add_argument("--seed", type=int, help="equal seeds give equal experiments")
    parser.add_argument("--nested", action="store_true",
                        help="make each shorter sequence a prefix of the longer ones")
    parser.add_argument("--interleave", metavar="GATE", type=_interleaved, action="append",
                        default=[],
                        help="a catalogue name (X/2, CZ, ...), an OpenQASM 3 standard gate"
                             f" played natively ({', '.join(STANDARD_GATES)}), or one on"
                             " qubits of a pair (cx:1,0, sx:1); on every site of its size"
                             " that names none")
    parser.add_argument("--basis", help="write native gates: rz,sx or rz,sx,cz / rz,sx,cx")
    parser.add_argument("--layout", choices=("files", "single"), default="files",
                        help="one .qasm per program (default) or all in experiment.json")
    parser.add_argument("--keep-identity", action="store_true",
                        help="write the identity code as id instead of dropping it")
    parser.add_argument("--out", default=".", help="folder to write into (default: here)")
    parser.add_argument("--replace", action="store_true",
                        help="replace experiments of the same names in --out")
    args = parser.parse_args(argv)

    given = args.site or ([(tuple(range(args.qubits)), None)] if args.qubits else [])
    if not given:
        _refuse("give --qubits for one site, or --site for each site")
    sites = [site for site, _ in given]
    if args.qubits and args.site and {len(s) for s in sites} != {args.qubits}:
        _refuse(f"--qubits {args.qubits} does not match the sites {sites}")
    taken = [q for site in sites for q in site]
    if len(set(taken)) < len(taken):
        _refuse(f"a physical qubit is in two sites: {sites}")
    gates: dict[int, _Gate] = {}
    for qubits, gate in args.interleave:
        if not qubits:
            _refuse("--interleave needs a gate name")
        text = gate if isinstance(gate, str) else gate[0]
        if qubits in gates:
            _refuse(f"two gates to interleave on sites of {qubits} qubit(s)")
        if not any(len(site) == qubits and own is None for site, own in given):
            _refuse(f"--interleave {text}: no site of {qubits} qubit(s) without a gate of its own")
        gates[qubits] = gate
    # Each site's gate to interleave: its own, or the one given for its size.
    chosen = [own if own is not None else gates.get(len(site)) for site, own in given]
    try:
        validated(args.lengths, args.samples, any(gate is not None for gate in chosen))
    except ValueError as error:
        _refuse(str(error))
    out = pathlib.Path(args.out)
    if os.path.lexists(out) and not out.is_dir():  # a file, or a link to nothing
        _refuse(f"cannot write into {out}: not a folder")
    groups = _groups(args.table + args.tables, {len(site) for site in sites})
    if args.basis is not None:
        try:  # a two-qubit basis serves every site; its rz and sx the single qubits
            native_basis(args.basis, groups[max(groups)])
        except ValueError as error:
            _refuse(f"--basis {args.basis}: {error}")
    draw = dict(lengths=args.lengths, samples=args.samples, seed=args.seed, nested=args.nested,
                progress=ProgressBar("drawing and checking"))
    physical = None
    drawn: Experiment | tuple[Experiment, Experiment] | SimultaneousExperiment
    try:
        if len(sites) > 1:
            drawn = simultaneous_rb([(groups[len(site)], site, *([] if gate is None else [gate]))
                                     for site, gate in zip(sites, chosen)], **draw)
        else:
            group = groups[len(sites[0])]
            physical = sites[0] if args.site else None
            drawn = (standard_rb(group, **draw) if chosen[0] is None
                     else interleaved_rb(group, chosen[0], **draw))
    except ValueError as error:
        _refuse(str(error))
    try:
        written = _write(drawn, out, args, physical)
    except FileExistsError as error:
        _refuse(f"{error.filename or out} is already there: --replace replaces the experiment",
                1)
    except OSError as error:
        where = f" ({error.filename})" if error.filename not in (None, str(out)) else ""
        _refuse(f"cannot write into {out}: {error.strerror or error}{where}", 1)
    # The programs' folder and the JSON that lists them, or the JSON alone that holds them.
    def place(name: str) -> str:
        return (f"{out / name}/, listed in {written}" if args.layout == "files"
                else f"{written}")

    if isinstance(drawn, Experiment) or isinstance(drawn, tuple):
        for experiment in (drawn if isinstance(drawn, tuple) else (drawn,)):
            print(f"{experiment.name}: {len(experiment.sequences)} sequences on"
                  f" {experiment.qubits} qubit(s) in {place(experiment.name)}")
    else:
        for name in drawn.rounds:
            print(f"{name}: {len(drawn.lengths) * drawn.samples} programs on {len(sites)}"
                  f" sites of {drawn.width} qubits in {place(name)}")


def _row(label: str, fit: DecayFit | InterleavedFit) -> str:
    """One site's line: its error per Clifford, and r_c with its bound when interleaved."""
    if isinstance(fit, DecayFit):
        return f"{label:<10} r = {fit.epc:.3e} ± {fit.epc_err:.1e}"
    return (f"{label:<10} r = {fit.reference.epc:.3e} ± {fit.reference.epc_err:.1e}"
            f"   r_c = {fit.gate_error:.3e} ± {fit.gate_error_err:.1e}"
            f" (bound {fit.bound:.1e})")


def _plot(labelled: Sequence[tuple[str, DecayFit | InterleavedFit]], path: pathlib.Path) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    columns = min(len(labelled), 4)
    rows = -(-len(labelled) // columns)
    figure, axes = plt.subplots(rows, columns, figsize=(5 * columns, 3.8 * rows), squeeze=False)
    for ax, (label, fit) in zip(axes.flat, labelled):
        if isinstance(fit, DecayFit):
            plot_decay(fit, labels=["standard"], ax=ax)
        else:
            plot_decay(fit.reference, fit.interleaved, labels=["reference", "interleaved"], ax=ax)
        ax.set_title(f"qubits {label}")
    for ax in axes.flat[len(labelled):]:
        ax.set_visible(False)
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)


def _written_on(folder: pathlib.Path) -> list[int] | None:
    """The physical qubits an experiment (not a simultaneous one) was written for."""
    path = folder / export.DOCUMENT if folder.is_dir() else folder
    try:
        physical = json.loads(path.read_bytes()).get("physical")
    except (OSError, ValueError, AttributeError):
        return None
    valid = isinstance(physical, list) and all(type(q) is int for q in physical)
    return physical if valid else None


def analyze_command(argv: Sequence[str]) -> None:
    parser = _Parser(prog="python -m vantrel_rb analyze",
                     description="Fits the counts measured on a written experiment.")
    parser.add_argument("folder", type=pathlib.Path,
                        help="the folder the experiment was written to")
    parser.add_argument("counts", type=pathlib.Path,
                        help="JSON object: each program's name to {bitstring: count}")
    parser.add_argument("--plot", type=pathlib.Path,
                        help="where to save the plot (default: FOLDER/analysis.png)")
    parser.add_argument("--fix-b", action="store_true", help="hold B at 1/d in every fit")
    args = parser.parse_args(argv)
    try:
        experiment = export.read_experiment(args.folder)
    except (OSError, ValueError) as error:
        _refuse(f"cannot read the experiment in {args.folder}: {error}")
    try:
        counts = json.loads(args.counts.read_text())
    except (OSError, ValueError) as error:
        _refuse(f"cannot read the counts {args.counts}: {error}")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", DecayWarning)
        try:
            fits = analyze(experiment, counts, fix_b=args.fix_b)
        except (TypeError, ValueError) as error:
            _refuse(f"{args.counts}: {error}")
    if isinstance(experiment, SimultaneousExperiment):
        labels = [",".join(map(str, site.physical)) for site in experiment.sites]
    else:  # the physical qubits it was written for, else the sequence's own
        qubits = (experiment[0] if isinstance(experiment, tuple) else experiment).qubits
        labels = [",".join(map(str, _written_on(args.folder) or range(qubits)))]
    fitted = fits if isinstance(fits, list) else [fits]  # a list for a simultaneous experiment
    for warning in caught:
        print(f"warning: {warning.message}", file=sys.stderr)
    for label, fit in zip(labels, fitted):
        print(_row(label, fit))
    plot = args.plot or args.folder / "analysis.png"
    try:
        _plot(list(zip(labels, fitted)), plot)
    except OSError as error:
        _refuse(f"cannot save the plot {plot}: {error.strerror or error}", 1)
    print(f"plot: {plot}")


def main(argv: Iterable[str] | None = None) -> None:
    argv = sys.argv[1:] if argv is None else list(argv)
    if argv[:1] == ["analyze"]:
        return analyze_command(argv[1:])
    return draw(argv[1:] if argv[:1] == ["draw"] else argv)


if __name__ == "__main__":
    main()
