"""A small randomized-benchmarking run on one and two qubits: generate the tables,
draw seeded random sequences of Clifford elements, print the gates to apply and the
recovery word, and confirm from the gate matrices alone that each whole sequence is
the identity."""

import argparse
import random
import time

import Vantrel

GATES22 = {m.value: m.name.removeprefix("Generator_")
           for m in Vantrel.Generator22Enum.__members__.values()}
GATES44 = ["I", "X⊗I", "I⊗X", "Y⊗I", "I⊗Y", "SX⊗I", "SXdag⊗I", "I⊗SX", "I⊗SXdag", "SY⊗I",
           "SYdag⊗I", "I⊗SY", "I⊗SYdag", "CZ"]


def run(label, generate, query, checker, names, path, length, seed):
    print(f"== {label}: generating {path} ==", flush=True)
    start = time.perf_counter()
    if generate(path) != 0:
        raise SystemExit(f"could not write {path}")
    print(f"generated in {time.perf_counter() - start:.1f} s", flush=True)
    rb = query()
    rb.load_from_file(path)
    rng = random.Random(seed)
    sequence = [rng.randrange(rb.N) for _ in range(length)]
    full, recovery = rb.get_full_sequence_and_inverse_sequence(sequence)
    ok = checker(full, recovery)
    print(f"elements ({length}, seed {seed}): {sequence}")
    print(f"gates ({len(full)}): {' '.join(names[g] for g in full)}")
    print(f"recovery: {' '.join(names[g] for g in recovery)} = {recovery}")
    print(f"{checker.__name__}: {ok}", flush=True)
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--length", type=int, default=12)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    ok = run("one qubit", Vantrel.generate_table22, Vantrel.RB22, Vantrel.rb22_checker, GATES22,
             "rb22.dat", args.length, args.seed)
    ok &= run("two qubits", Vantrel.generate_table44, Vantrel.RB44, Vantrel.rb44_checker,
              GATES44, "rb44.dat", args.length, args.seed)
    if not ok:
        raise SystemExit("a recovery word does not undo its sequence")


if __name__ == "__main__":
    main()
