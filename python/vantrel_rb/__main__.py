"""Writes a standard or interleaved RB experiment: one OpenQASM 3 file per sequence and JSON.

Example: python -m vantrel_rb --qubits 2 --table rb44.dat --lengths 1,4,16,64 \\
             --samples 30 --seed 7 --interleave cx --out irb_cx

Bad arguments and failed writes end with one line on standard error: status 2 for
arguments argparse refuses, 1 for the rest. The experiments are written all or none.
"""

import argparse
import pathlib
import sys

from .experiments import MAX_ELEMENTS, MAX_LENGTH, interleaved_rb, standard_rb, validated
from .export import _existing, _write_experiments
from .gates import STANDARD_GATES
from .group import CliffordGroup


class ProgressBar:
    """A one-line progress bar on standard error, drawn only on a terminal."""

    def __init__(self, label, stream=sys.stderr):
        self.label, self.stream = label, stream
        self.shown = stream.isatty()

    def __call__(self, done, total):
        if self.shown:
            filled = 30 * done // total
            self.stream.write(f"\r{self.label:<28} [{'#' * filled}{'.' * (30 - filled)}]"
                              f" {done}/{total}")
            self.stream.write("\n" if done == total else "")
            self.stream.flush()


def _lengths(text):
    try:
        return [int(m) for m in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError(f"not comma-separated integers: {text!r}") from None


def _gate(group, name):
    """A catalogue name as it is, or a standard OpenQASM 3 name as a native gate."""
    if name in STANDARD_GATES:
        matrix = STANDARD_GATES[name]
        if len(matrix) != group.dimension:
            raise SystemExit(f"{name} acts on {len(matrix).bit_length() - 1} qubit(s), "
                             f"not {group.qubits}")
        return name, matrix
    return name


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m vantrel_rb",
                                     description=__doc__.split("\n")[0])
    parser.add_argument("--qubits", type=int, choices=(1, 2), required=True)
    parser.add_argument("--table", required=True,
                        help="table file from Vantrel.generate_table22 / generate_table44")
    parser.add_argument("--lengths", type=_lengths, required=True,
                        help="comma-separated distinct sequence lengths, e.g. 1,4,16,64;"
                             f" at most {MAX_LENGTH} and {MAX_ELEMENTS} elements in all")
    parser.add_argument("--samples", type=int, required=True, help="sequences per length")
    parser.add_argument("--seed", type=int, help="equal seeds give equal experiments")
    parser.add_argument("--nested", action="store_true",
                        help="make each shorter sequence a prefix of the longer ones")
    parser.add_argument("--interleave", metavar="GATE",
                        help="a catalogue name (X/2, CZ, ...) or an OpenQASM 3 standard gate"
                             f" played natively ({', '.join(STANDARD_GATES)})")
    parser.add_argument("--keep-identity", action="store_true",
                        help="write the identity code as id instead of dropping it")
    parser.add_argument("--out", default=".", help="folder to write into (default: here)")
    parser.add_argument("--replace", action="store_true",
                        help="replace experiments of the same names in --out")
    args = parser.parse_args(argv)

    names = ["standard"] if args.interleave is None else ["reference", "interleaved"]
    out = pathlib.Path(args.out)
    try:
        if args.interleave == "":
            raise ValueError("--interleave needs a gate name")
        validated(args.lengths, args.samples, args.interleave is not None)
    except ValueError as error:
        raise SystemExit(str(error))
    if out.exists() and not out.is_dir():
        raise SystemExit(f"cannot write into {out}: not a folder")
    present = _existing(out, names)
    if present and not args.replace:
        raise SystemExit(f"{present[0]} is already there: --replace replaces the experiment")
    try:
        group = CliffordGroup(args.qubits, args.table)
    except RuntimeError as error:
        raise SystemExit(f"cannot load {args.table}: {error}")
    draw = dict(lengths=args.lengths, samples=args.samples, seed=args.seed, nested=args.nested)
    try:
        if args.interleave is not None:
            gate = _gate(group, args.interleave)
            experiments = interleaved_rb(group, gate, **draw,
                                         progress=ProgressBar("drawing and checking"))
        else:
            experiments = [standard_rb(group, **draw, progress=ProgressBar("drawing and checking"))]
    except ValueError as error:
        raise SystemExit(str(error))
    try:
        paths = _write_experiments(experiments, out, args.keep_identity, args.replace,
                                   lambda experiment: ProgressBar(f"writing {experiment.name}"))
    except OSError as error:
        where = f" ({error.filename})" if error.filename not in (None, str(out)) else ""
        raise SystemExit(f"cannot write into {out}: {error.strerror or error}{where}")
    for experiment, path in zip(experiments, paths):
        print(f"{experiment.name}: {len(experiment.sequences)} sequences on {group.qubits}"
              f" qubit(s) in {path} and {path.with_suffix('')}/")


if __name__ == "__main__":
    main()
