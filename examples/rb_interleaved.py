"""Standard and interleaved RB on one and two qubits with vantrel_rb, on a simulated device.

For each size: generate the table, draw a reference (standard RB) experiment and an
interleaved one (X/2 on one qubit; CZ on two qubits, with an extra error injected on
it), write both as OpenQASM 3 programs and JSON, play them on a density matrix with
depolarizing noise after every gate and a finite number of shots, fit both decays,
and print the error per Clifford and the interleaved gate's error r_c with its
systematic bound, each beside the value the noise injects. Saves the decay plots.
"""

import argparse
import time

import numpy as np

import vantrel_rb as rb

SIZES = {  # qubits, label, table, interleaved gate, the device's native basis
    "1q": (1, "one qubit", "rb22.dat", "X/2", "rz,sx"),
    "2q": (2, "two qubits", "rb44.dat", "CZ", "rz,sx,cz"),
}


def lengths_argument(text):
    return [int(m) for m in text.split(",")]


def run(key, args):
    qubits, label, table, gate, basis = SIZES[key]
    noise, extra, lengths = (getattr(args, f"{name}{key}") for name in ("noise", "extra", "lengths"))
    try:
        made = rb.make_table(qubits, table)
    except RuntimeError as error:
        raise SystemExit(str(error))
    start = time.perf_counter()
    group = rb.CliffordGroup(qubits, table)
    loaded = time.perf_counter() - start
    counts = rb.gates_per_clifford(group)
    native = rb.gates_per_clifford(group, basis)
    print(f"== {label}: {table} made in {made:.1f} s, loaded in {loaded:.1f} s;"
          f" {counts.gates:.2f} gates per Clifford ({counts.cz:.2f} CZ), played in {basis}"
          f" as {native.gates:.2f} pulses ({native.cz:.2f} CZ) ==", flush=True)

    experiments = rb.interleaved_rb(group, gate, lengths, args.samples, seed=args.seed)
    # The programs play the device's native pulses, each Clifford its own block.
    path = rb.write_experiment(experiments, f"rb_{key}", basis=basis, replace=True)
    for experiment in experiments:
        print(f"{experiment.name}: {len(experiment.sequences)} sequences, written in {basis}"
              f" to {path.parent / experiment.name}/ ({path.name} lists them)")
    extra_text = f", {extra:g} more after each {gate}" if extra else ""
    print(f"simulated: depolarizing {noise:g} after every gate{extra_text},"
          f" {args.shots} shots per sequence", flush=True)
    seeds = np.random.SeedSequence(args.seed).spawn(2)
    fits = [rb.fit_decay(e, rb.simulate(e, noise, extra, args.shots, seed))
            for e, seed in zip(experiments, seeds)]
    reference, interleaved = fits
    print("     m   reference   interleaved")
    for m, s, c in zip(reference.lengths, reference.survival, interleaved.survival):
        print(f"{int(m):6d}   {s:.4f}      {c:.4f}")

    injected = rb.injected_epc(group, noise)
    sigmas = abs(reference.epc - injected) / reference.epc_err
    print(f"error per Clifford: fitted {reference.epc:.5f} ± {reference.epc_err:.5f},"
          f" injected {injected:.5f} ({sigmas:.1f} sigma apart)")
    result = rb.fit_interleaved(reference, interleaved)
    injected = rb.injected_gate_error(experiments[1], noise, extra)
    inside = "within" if abs(result.gate_error - injected) <= result.bound else "OUTSIDE"
    print(f"{gate} gate error r_c: fitted {result.gate_error:.5f} ± {result.gate_error_err:.5f}"
          f" (bound {result.bound:.5f}), injected {injected:.5f} ({inside} the bound)", flush=True)
    return fits


def plot(results, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not available: no plot")
        return
    figure, axes = plt.subplots(1, len(results), figsize=(5.5 * len(results), 4), squeeze=False)
    for ax, (key, fits) in zip(axes[0], results):
        rb.plot_decay(*fits, labels=["reference", f"interleaved {SIZES[key][3]}"], ax=ax)
        ax.set_title(SIZES[key][1])
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    print(f"decay curves saved to {path}")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--sizes", default="1q,2q", help="1q, 2q or both (default)")
    parser.add_argument("--samples", type=int, default=30, help="random sequences per length")
    parser.add_argument("--shots", type=int, default=500, help="measurements per sequence")
    parser.add_argument("--noise1q", type=float, default=0.002,
                        help="depolarizing strength after every gate on one qubit")
    parser.add_argument("--noise2q", type=float, default=0.002,
                        help="depolarizing strength after every gate on two qubits")
    parser.add_argument("--extra1q", type=float, default=0.0, help="extra error after X/2")
    parser.add_argument("--extra2q", type=float, default=0.01, help="extra error after CZ")
    parser.add_argument("--lengths1q", type=lengths_argument,
                        default=[1, 16, 48, 96, 160, 240, 320])
    parser.add_argument("--lengths2q", type=lengths_argument,
                        default=[1, 4, 8, 16, 24, 32, 48, 64])
    parser.add_argument("--plot", default="rb_interleaved.png", help="PNG file; empty for none")
    args = parser.parse_args(argv)

    results = [(key, run(key, args)) for key in args.sizes.split(",")]
    if args.plot:
        plot(results, args.plot)


if __name__ == "__main__":
    main()
