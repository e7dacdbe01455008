"""Writes a standard or interleaved RB experiment: one OpenQASM 3 file per sequence and JSON.

Example: python -m vantrel_rb --qubits 2 --table rb44.dat --lengths 1,4,16,64 \\
             --samples 30 --seed 7 --interleave cx --out irb_cx
"""

import argparse
import sys

from .experiments import interleaved_rb, standard_rb
from .export import write_experiment
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
    return [int(m) for m in text.split(",")]


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
                        help="comma-separated sequence lengths, e.g. 1,4,16,64")
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
    args = parser.parse_args(argv)

    try:
        group = CliffordGroup(args.qubits, args.table)
    except RuntimeError as error:
        raise SystemExit(f"cannot load {args.table}: {error}")
    draw = dict(lengths=args.lengths, samples=args.samples, seed=args.seed, nested=args.nested)
    try:
        if args.interleave:
            gate = _gate(group, args.interleave)
            experiments = interleaved_rb(group, gate, **draw,
                                         progress=ProgressBar("drawing and checking"))
        else:
            experiments = [standard_rb(group, **draw, progress=ProgressBar("drawing and checking"))]
    except ValueError as error:
        raise SystemExit(str(error))
    for experiment in experiments:
        path = write_experiment(experiment, args.out, args.keep_identity,
                                ProgressBar(f"writing {experiment.name}"))
        print(f"{experiment.name}: {len(experiment.sequences)} sequences on {group.qubits}"
              f" qubit(s) in {path} and {path.with_suffix('')}/")


if __name__ == "__main__":
    main()
