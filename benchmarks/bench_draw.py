"""Drawing and checking a whole chip's simultaneous RB, against baselines timed in this run.

The chip: 127 one-qubit sites (standard RB) and 144 pairs (interleaved RB of CZ), 10
lengths up to 128 Cliffords, 30 samples: 542 experiments (a standard site plays both
rounds), 8.2 million elements.

  simultaneous_rb                  the whole chip, drawn, recovered and checked
  per-sequence module path         the same experiments the way they were drawn before:
                                   the module's recovery and its checker per sequence
                                   (timed on a tenth of the sites and scaled)
  NumPy draw                       rng.integers for the same element indices, nothing more

Timed figures are the best of REPEATS runs. Usage:
  eval "$(tools/provision.sh)"; PYTHONPATH=<module dir>:python \\
      "$VANTREL_PYTHON" benchmarks/bench_draw.py rb22.dat rb44.dat
Prints figures; never fails on them."""

import sys
import time

import numpy as np

import vantrel_rb as rb

REPEATS = 3
LENGTHS = [1, 2, 4, 8, 16, 32, 48, 64, 96, 128]
SAMPLES = 30


def best(run):
    times = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def per_sequence(group, slot, rng):
    """One experiment drawn and checked sequence by sequence through the module."""
    for m in LENGTHS:
        for _ in range(SAMPLES):
            elements, gates = [], []
            for e in rng.integers(group.order, size=m).tolist():
                elements.append(e)
                gates.extend(group.word(e))
                if slot is not None:
                    elements.append(slot)
                    gates.extend(group.word(slot))
            _, codes = group.query.get_full_sequence_and_inverse_sequence(elements)
            assert group.check(gates + [group.gates[c] for c in codes])


def main(path22, path44):
    one, two = rb.CliffordGroup(1, path22), rb.CliffordGroup(2, path44)
    sites = [(one, q) for q in range(127)] + [(two, (127 + 2 * k, 128 + 2 * k), "CZ")
                                              for k in range(144)]
    rb.standard_rb(one, [1], 1), rb.standard_rb(two, [1], 1)  # each group's tables, once
    chip = best(lambda: rb.simultaneous_rb(sites, LENGTHS, SAMPLES, seed=1))
    cz = two.index_of("CZ")

    def module_path():
        rng = np.random.default_rng(1)
        for _ in range(13):  # a tenth of the one-qubit sites, both rounds
            per_sequence(one, None, rng), per_sequence(one, None, rng)
        for _ in range(14):  # a tenth of the pairs: reference and interleaved
            per_sequence(two, None, rng), per_sequence(two, cz, rng)

    module = best(module_path) * 10

    def numpy_draw():
        rng = np.random.default_rng(1)
        for order, per_site in ((24, 2), (11520, 3)):
            for _ in range(127 if order == 24 else 144):
                rng.integers(order, size=per_site * sum(LENGTHS) * SAMPLES)

    draw = best(numpy_draw)
    elements = (127 * 2 + 144 * 3) * sum(LENGTHS) * SAMPLES
    print(f"chip: 271 sites, {elements / 1e6:.1f} million elements")
    print(f"simultaneous_rb               {chip:8.3f} s")
    print(f"per-sequence module path      {module:8.3f} s   ratio to simultaneous_rb"
          f" {module / chip:6.1f}")
    print(f"NumPy draw of the indices     {draw:8.3f} s   simultaneous_rb / draw"
          f" {chip / draw:6.1f}")


if __name__ == "__main__":
    main(*sys.argv[1:3])
