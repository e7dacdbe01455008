"""Speed of the vantrel_rb package, each ratio against a baseline timed in this run.

  time to a first two-qubit sequence  a fresh process that imports vantrel_rb, loads the
                                      group and draws one sequence, vs a fresh process
                                      that imports NumPy and the module and loads the table;
                                      the same two without the imports, in this process
  simulate, one and two qubits,       vs the same sequences evolved by plain batched NumPy
  10 lengths up to 128 x 30 samples   written here: density matrices, and state vectors

Timed figures are medians (and bests) of REPEATS runs, the two sides alternating. Each
figure is a function of FIGURES, called with the tables and a `report` callback, so
more figures are added as more functions.

Usage:
  eval "$(tools/build.sh)" && PYTHONPATH=build:python "$VANTREL_PYTHON" benchmarks/bench_rb.py [DIR]
DIR holds rb22.dat and rb44.dat, made there with vantrel_rb.make_table when missing
(default: a new temporary directory, removed at the end). Prints figures; never fails
on them."""

import compileall
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import Vantrel
import vantrel_rb as rb

REPEATS = 5
LENGTHS = [1, 2, 4, 8, 16, 32, 48, 64, 96, 128]
SAMPLES = 30
NOISE, EXTRA = 0.002, 0.01


def timed(fn):
    """Seconds fn takes; its result is freed after the clock stops."""
    start = time.perf_counter()
    result = fn()  # noqa: F841
    return time.perf_counter() - start


def alternate(a, b, repeats=REPEATS):
    """Times of a and of b, run alternately."""
    ta, tb = [], []
    for _ in range(repeats):
        ta.append(timed(a))
        tb.append(timed(b))
    return ta, tb


def fresh_process(code):
    """Runs code in a fresh interpreter that imports the module and the package from
    where this one does; returns its standard output."""
    path = os.pathsep.join([os.path.dirname(os.path.abspath(Vantrel.__file__)),
                            os.path.dirname(os.path.dirname(os.path.abspath(rb.__file__))),
                            os.environ.get("PYTHONPATH", "")])
    out = subprocess.run([sys.executable, "-c", code], env=dict(os.environ, PYTHONPATH=path),
                         capture_output=True, text=True)
    if out.returncode:
        raise RuntimeError(f"a fresh process failed:\n{out.stderr}")
    return out.stdout


def first_sequence(tables, report):
    table = tables[2]
    # An installed package has its bytecode, as NumPy's here has: compile the package's
    # once, so that no fresh process compiles it again (PYTHONDONTWRITEBYTECODE may be set).
    compileall.compile_dir(os.path.dirname(os.path.abspath(rb.__file__)), quiet=1)
    module = f"import numpy, Vantrel; Vantrel.RB44().load_from_file({table!r})"
    package = ("import sys, vantrel_rb as rb\n"
               f"rb.standard_rb(rb.CliffordGroup(2, {table!r}), [1], 1, seed=1)\n"
               "print(*sorted({'scipy', 'matplotlib'} & {m.split('.')[0] for m in sys.modules}))")
    heavy = []
    module_s, package_s = alternate(lambda: fresh_process(module),
                                    lambda: heavy.append(fresh_process(package).strip()))
    report("fresh process: NumPy, module, load rb44.dat", module_s)
    report("fresh process: vantrel_rb, group, 1 sequence", package_s, module_s, "<= 1.2")
    report("  of which imported: " + (heavy[-1] or "neither SciPy nor matplotlib"))
    # The same in this process, where the group's enumeration for the load proof is made.
    load_s, group_s = alternate(lambda: Vantrel.RB44().load_from_file(table),
                                lambda: rb.standard_rb(rb.CliffordGroup(2, table), [1], 1, 1))
    report("in this process: RB44.load_from_file", load_s)
    report("in this process: group and 1 sequence", group_s, load_s)


def density_matrices(experiment, noise, extra):
    """Survival of each sequence: each length's density matrices evolved together, gate by
    gate, padded with identities that carry no noise."""
    d, samples = 2**experiment.qubits, experiment.samples
    survival = []
    for i in range(len(experiment.lengths)):
        unitaries, strengths = padded(experiment.sequences[i * samples:(i + 1) * samples],
                                      d, noise, extra, experiment.interleaved)
        rho = np.zeros((samples, d, d), dtype=complex)
        rho[:, 0, 0] = 1
        for u, lam in zip(unitaries.swapaxes(0, 1), strengths.T):
            rho = u @ rho @ u.conj().swapaxes(1, 2)
            rho = (1 - lam)[:, None, None] * rho + (lam / d)[:, None, None] * np.eye(d)
        survival.append(rho[:, 0, 0].real)
    return np.array(survival)


def state_vectors(experiment, noise, extra):
    """The same with a state vector and the weight of its pure part, which is all of a
    density matrix under depolarizing noise."""
    d, samples = 2**experiment.qubits, experiment.samples
    survival = []
    for i in range(len(experiment.lengths)):
        unitaries, strengths = padded(experiment.sequences[i * samples:(i + 1) * samples],
                                      d, noise, extra, experiment.interleaved)
        psi = np.zeros((samples, d, 1), dtype=complex)
        psi[:, 0] = 1
        for u in unitaries.swapaxes(0, 1):
            psi = u @ psi
        weight = np.prod(1 - strengths, axis=1)
        survival.append(weight * np.abs(psi[:, 0, 0]) ** 2 + (1 - weight) / d)
    return np.array(survival)


def padded(sequences, d, noise, extra, interleaved):
    """(S, T, d, d) gate matrices padded with identities, and (S, T) noise strengths."""
    steps = []
    for s in sequences:
        row = []
        for k, slot in enumerate((*s.cliffords, s.recovery)):
            row += [[gate.matrix, noise] for gate in slot if not gate.is_identity]
            if interleaved and k % 2 and k < len(s.cliffords):  # joins the slot's last gate's
                row[-1][1] = 1 - (1 - row[-1][1]) * (1 - extra)
        steps.append(row)
    unitaries = np.tile(np.eye(d, dtype=complex), (len(steps), max(map(len, steps)), 1, 1))
    strengths = np.zeros(unitaries.shape[:2])
    for k, row in enumerate(steps):
        unitaries[k, :len(row)] = [u for u, _ in row]
        strengths[k, :len(row)] = [lam for _, lam in row]
    return unitaries, strengths


def simulation(qubits):
    def figure(tables, report):
        group = rb.CliffordGroup(qubits, tables[qubits])
        for experiment in rb.interleaved_rb(group, "X/2" if qubits == 1 else "CZ", LENGTHS,
                                            SAMPLES, seed=1):
            name = f"{qubits}q {experiment.name}"
            ours = rb.simulate(experiment, NOISE, EXTRA)
            for baseline in (density_matrices, state_vectors):
                difference = np.abs(baseline(experiment, NOISE, EXTRA) - ours).max()
                if difference > 1e-9:
                    report(f"{name}: {baseline.__name__} differ by {difference:.2g}!")
            dm_s, sim_s = alternate(lambda: density_matrices(experiment, NOISE, EXTRA),
                                    lambda: rb.simulate(experiment, NOISE, EXTRA))
            sv_s = [timed(lambda: state_vectors(experiment, NOISE, EXTRA))
                    for _ in range(REPEATS)]
            report(f"{name}: batched density matrices", dm_s)
            report(f"{name}: batched state vectors", sv_s)
            report(f"{name}: simulate / density matrices", sim_s, dm_s, "<= 1.5")
            report(f"{name}: simulate / state vectors", sim_s, sv_s, "<= 1.5")
    figure.__name__ = f"simulate, {qubits} qubit(s)"
    return figure


FIGURES = [first_sequence, simulation(1), simulation(2)]


def main():
    given = len(sys.argv) > 1
    folder = os.path.abspath(sys.argv[1]) if given else tempfile.mkdtemp(prefix="vantrel-bench-")
    os.makedirs(folder, exist_ok=True)
    tables = {1: os.path.join(folder, "rb22.dat"), 2: os.path.join(folder, "rb44.dat")}
    try:
        for qubits, path in tables.items():
            if not os.path.exists(path):
                print(f"making {path}: {rb.make_table(qubits, path):.1f} s", file=sys.stderr)
        run(tables)
    finally:
        if not given:
            shutil.rmtree(folder)


def run(tables):
    rows = []  # (label, value, ratio, target)

    def report(label, times=None, base=None, target=""):
        value = "" if times is None else (f"{statistics.median(times):.4f} s "
                                          f"(best {min(times):.4f})")
        ratio = "" if base is None else (
            f"{statistics.median(times) / statistics.median(base):.2f} "
            f"(best {min(times) / min(base):.2f})")
        rows.append((label, value, ratio, target))

    for figure in FIGURES:
        print(f"measuring {figure.__name__} ...", file=sys.stderr, flush=True)
        figure(tables, report)

    print(f"{REPEATS} runs each, the two sides alternating; simulate: lengths {LENGTHS},"
          f" {SAMPLES} samples, noise {NOISE}, {EXTRA} more after the interleaved gate")
    print(f"{'figure':48s} {'median (best)':>24s} {'ratio':>13s} {'target':>7s}")
    for label, value, ratio, target in rows:
        print(f"{label:48s} {value:>24s} {ratio:>13s} {target:>7s}")


if __name__ == "__main__":
    main()
