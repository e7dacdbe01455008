"""Randomized benchmarking on one and two qubits, simulated with Vantrel's tables.

For each size: generate the tables, show one seeded random sequence with its gates,
recovery word and the checker's verdict, then run an RB experiment on a simulated
device whose every gate is followed by depolarizing noise of a chosen strength.
Sequences of random Clifford elements of several lengths m are drawn, turned into
gates plus the recovery word by the module, played on a density matrix, and
measured with a finite number of shots. The mean survival probability is fitted
with A*p^m + B, and the fitted error per Clifford r = (d-1)/d * (1-p) is printed
beside the one the noise injects.

The injected error per Clifford is exact for this noise: depolarizing noise commutes
with every unitary, so a Clifford whose word has k gates depolarizes with parameter
(1-noise)^k, and a uniformly random Clifford with the mean of that over the group.
"""

import argparse
import dataclasses
import sys
import time

import numpy as np
from scipy.optimize import curve_fit

import Vantrel

SQRT_HALF = np.sqrt(0.5)
I2 = np.eye(2, dtype=complex)
X = np.array([[0, 1], [1, 0]], dtype=complex)
Y = np.array([[0, -1j], [1j, 0]])
SX = SQRT_HALF * np.array([[1, -1j], [-1j, 1]])  # exp(-i pi/4 X)
SY = SQRT_HALF * np.array([[1, -1], [1, 1]], dtype=complex)  # exp(-i pi/4 Y)
CZ = np.diag([1, 1, 1, -1]).astype(complex)

SXDAG, SYDAG = SX.conj().T, SY.conj().T

# Gate codes of the one-qubit words (Generator22Enum order) and their labels.
GATES22 = [I2, X, Y, SX, SY, SXDAG, SYDAG]
NAMES22 = Vantrel.RB22().get_special_operations_str()


def first(g):
    return np.kron(g, I2)


def second(g):
    return np.kron(I2, g)


# Two-qubit gate codes 0 to 13; the digit in a label names the qubit.
GATES44 = [np.eye(4, dtype=complex), first(X), second(X), first(Y), second(Y), first(SX),
           first(SXDAG), second(SX), second(SXDAG), first(SY), first(SYDAG), second(SY),
           second(SYDAG), CZ]
NAMES44 = ["I", "X0", "X1", "Y0", "Y1", "SX0", "SXdag0", "SX1", "SXdag1", "SY0", "SYdag0", "SY1",
           "SYdag1", "CZ"]


@dataclasses.dataclass
class Size:
    label: str
    dimension: int
    generate: object
    query: object
    checker: object
    gates: list
    names: list
    path: str


SIZES = {
    "1q": Size("one qubit", 2, Vantrel.generate_table22, Vantrel.RB22, Vantrel.rb22_checker,
               GATES22, NAMES22, "rb22.dat"),
    "2q": Size("two qubits", 4, Vantrel.generate_table44, Vantrel.RB44, Vantrel.rb44_checker,
               GATES44, NAMES44, "rb44.dat"),
}


def check_gates(rb, gates):
    """Every element's word, multiplied out with these gate matrices, must give the
    element's matrix up to a global phase: the simulated device plays the same gates
    the tables were made from."""
    d = gates[0].shape[0]
    elements = rb.get_group_elements()
    words = np.array([e.buffer for e in elements])
    words[words < 0] = 0  # slots past a word: code 0 is the identity gate
    stack = np.array(gates)
    product = np.broadcast_to(np.eye(d), (len(elements), d, d))
    for codes in words.T:
        product = product @ stack[codes]
    stored = np.array([e.arr for e in elements]).reshape(-1, d, d).transpose(0, 2, 1)  # by column
    overlap = abs(np.einsum("nij,nij->n", stored.conj(), product)) / d
    bad = np.flatnonzero(~np.isclose(overlap, 1.0, atol=1e-9))
    if bad.size:
        raise SystemExit(f"gate matrices disagree with elements {bad.tolist()}")


def survival(gates, codes, noise):
    """The probability of measuring |0...0> after playing codes, first gate first, on
    |0...0>, each gate followed by depolarizing noise: rho -> (1-noise) rho + noise I/d."""
    d = gates[0].shape[0]
    rho = np.zeros((d, d), dtype=complex)
    rho[0, 0] = 1
    mixed = np.eye(d) / d
    for code in codes:
        g = gates[code]
        rho = (1 - noise) * (g @ rho @ g.conj().T) + noise * mixed
    return rho[0, 0].real


def decay(m, a, p, b):
    return a * p**m + b


@dataclasses.dataclass
class Result:
    lengths: np.ndarray
    mean: np.ndarray  # mean survival per length
    sem: np.ndarray  # its standard error
    params: np.ndarray  # A, p, B
    errors: np.ndarray  # their standard deviations from the fit
    epc: float  # fitted error per Clifford
    epc_error: float
    injected: float  # error per Clifford the noise injects


def injected_epc(rb, noise, d):
    sizes = np.array([rb.get_generator_size(i) for i in range(rb.N)])
    return (d - 1) / d * (1 - np.mean((1 - noise) ** sizes))


def run_rb(rb, size, lengths, sequences, shots, noise, rng, progress=None):
    """Simulates the experiment and fits it; see the module doc string."""
    d = size.dimension
    mean, sem = [], []
    for m in lengths:
        measured = []
        for _ in range(sequences):
            elements = rng.integers(rb.N, size=m).tolist()
            full, recovery = rb.get_full_sequence_and_inverse_sequence(elements)
            probability = survival(size.gates, full + recovery, noise)
            measured.append(rng.binomial(shots, min(max(probability, 0.0), 1.0)) / shots)
        mean.append(np.mean(measured))
        sem.append(max(np.std(measured, ddof=1) / np.sqrt(sequences), 0.5 / shots))
        if progress:
            progress(m)
    lengths, mean, sem = np.array(lengths), np.array(mean), np.array(sem)
    params, covariance = curve_fit(decay, lengths, mean, p0=(1 - 1 / d, 0.99, 1 / d),
                                   sigma=sem, absolute_sigma=True, maxfev=10000)
    errors = np.sqrt(np.diag(covariance))
    scale = (d - 1) / d
    return Result(lengths, mean, sem, params, errors, scale * (1 - params[1]),
                  scale * errors[1], injected_epc(rb, noise, d))


def show_sequence(rb, size, rng, length):
    elements = rng.integers(rb.N, size=length).tolist()
    full, recovery = rb.get_full_sequence_and_inverse_sequence(elements)
    print(f"elements: {elements}")
    print(f"gates ({len(full)}): {' '.join(size.names[g] for g in full)}")
    print(f"recovery: {' '.join(size.names[g] for g in recovery)} = {recovery}")
    ok = size.checker(full, recovery)
    print(f"{size.checker.__name__}: {ok}", flush=True)
    if not ok:
        raise SystemExit("the recovery word does not undo its sequence")


def report(size, result, noise, sequences, shots):
    a, p, b = result.params
    ea, ep, eb = result.errors
    print(f"{size.label}: {sequences} sequences per length, {shots} shots each, "
          f"depolarizing noise {noise:g} after every gate")
    print("     m   survival   ± s.e.")
    for m, s, e in zip(result.lengths, result.mean, result.sem):
        print(f"{m:6d}   {s:.4f}    {e:.4f}")
    print(f"fit A*p^m + B: A = {a:.4f} ± {ea:.4f}, p = {p:.5f} ± {ep:.5f}, B = {b:.4f} ± {eb:.4f}")
    sigmas = abs(result.epc - result.injected) / result.epc_error
    print(f"error per Clifford: fitted {result.epc:.5f} ± {result.epc_error:.5f}, "
          f"injected {result.injected:.5f} ({sigmas:.1f} sigma apart)", flush=True)


def plot(results, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not available: no plot")
        return
    figure, axes = plt.subplots(1, len(results), figsize=(5 * len(results), 4))
    for ax, (size, result) in zip(np.atleast_1d(axes), results):
        m = np.linspace(0, result.lengths.max(), 200)
        ax.errorbar(result.lengths, result.mean, yerr=result.sem, fmt="o", label="simulated")
        ax.plot(m, decay(m, *result.params),
                label=f"fit: r = {result.epc:.4f} ± {result.epc_error:.4f}")
        ax.set(title=f"{size.label} (injected r = {result.injected:.4f})",
               xlabel="sequence length m (Cliffords)", ylabel="survival probability")
        ax.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    print(f"decay curves saved to {path}")


def progress(m):
    print(f"\r  simulating sequences of length {m} ...", end="", file=sys.stderr, flush=True)


def lengths_argument(text):
    return [int(m) for m in text.split(",")]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--sizes", default="1q,2q", help="1q, 2q or both (default)")
    parser.add_argument("--sequences", type=int, default=30, help="random sequences per length")
    parser.add_argument("--shots", type=int, default=500, help="measurements per sequence")
    parser.add_argument("--noise1q", type=float, default=0.004,
                        help="depolarizing strength after every one-qubit gate")
    parser.add_argument("--noise2q", type=float, default=0.002,
                        help="depolarizing strength after every two-qubit gate")
    parser.add_argument("--lengths1q", type=lengths_argument,
                        default=[1, 4, 16, 32, 64, 128, 256, 400])
    parser.add_argument("--lengths2q", type=lengths_argument,
                        default=[1, 4, 8, 16, 32, 48, 64, 96, 128])
    parser.add_argument("--plot", default="rb_decay.png", help="PNG file; empty for none")
    args = parser.parse_args(argv)

    rng = np.random.default_rng(args.seed)
    results = []
    for key in args.sizes.split(","):
        size = SIZES[key]
        noise, lengths = getattr(args, f"noise{key}"), getattr(args, f"lengths{key}")
        print(f"== {size.label}: generating {size.path} ==", flush=True)
        start = time.perf_counter()
        if size.generate(size.path) != 0:
            raise SystemExit(f"could not write {size.path}")
        rb = size.query()
        rb.load_from_file(size.path)
        check_gates(rb, size.gates)
        print(f"tables made and loaded in {time.perf_counter() - start:.1f} s", flush=True)
        show_sequence(rb, size, rng, 5)

        result = run_rb(rb, size, lengths, args.sequences, args.shots, noise, rng,
                        progress if sys.stderr.isatty() else None)
        if sys.stderr.isatty():
            print("\r\033[K", end="", file=sys.stderr, flush=True)
        report(size, result, noise, args.sequences, args.shots)
        results.append((size, result))
    if args.plot:
        plot(results, args.plot)


if __name__ == "__main__":
    main()
