"""A small randomized-benchmarking run: generate the tables, draw a seeded random
sequence of Clifford elements, print the gates to apply and the recovery word, and
confirm from the gate matrices alone that the whole sequence is the identity."""

import argparse
import random

import Vantrel

GATE_NAMES22 = {m.value: m.name.removeprefix("Generator_") for m in Vantrel.Generator22Enum.__members__.values()}


def run_one_qubit(length, seed):
    print("== one qubit ==", flush=True)
    assert Vantrel.generate_table22("rb22.dat") == 0
    rb = Vantrel.RB22()
    rb.load_from_file("rb22.dat")
    rng = random.Random(seed)
    sequence = [rng.randrange(rb.N) for _ in range(length)]
    full, recovery = rb.get_full_sequence_and_inverse_sequence(sequence)
    print(f"elements ({length}, seed {seed}): {sequence}")
    print(f"gates ({len(full)}): {' '.join(GATE_NAMES22[g] for g in full)}")
    print(f"recovery: {' '.join(GATE_NAMES22[g] for g in recovery)} = {recovery}")
    ok = Vantrel.rb22_checker(full, recovery)
    print(f"rb22_checker: {ok}", flush=True)
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--length", type=int, default=12)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    if not run_one_qubit(args.length, args.seed):
        raise SystemExit("the recovery word does not undo the sequence")


if __name__ == "__main__":
    main()
