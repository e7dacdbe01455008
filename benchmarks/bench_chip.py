"""A whole chip's RB campaign, drawn, compiled to rz, sx, cz and written to disk.

The chip is a heavy-hex lattice: rows of qubits in a line (14, then 15 for every inner
row, then 14), each pair of neighbouring rows joined by four bridge qubits, each
bridge coupled to one qubit above and one below, at columns 0, 4, 8, 12 and 2, 6, 10,
14 in turn. Seven rows give 127 qubits and 144 couplings.

The campaign: standard RB on every qubit, and CZ interleaved RB (with its reference)
on every coupled pair, each isolated and written into its own folder with its
physical qubits on a register as wide as the chip. Figures are medians of --runs
runs, and each is set against a baseline measured in the same run:

- drawing and checking every sequence against a vectorised NumPy RB draw: the same
  element indices from the same seeds, and each sequence's recovery element as NumPy
  computes it, by two routes (pairwise products through the multiplication table
  mapped from the table file, and the package's Pauli-action products); the ratio is
  against the cheaper;
- export (programs built and written, with experiment.json) against plain writes of
  the same bytes into the same files and folders;
- the same for the single-file layout, one experiment.json per experiment.

The same chip is also drawn and exported as simultaneous experiments: all qubits at
once, and the pairs in disjoint layers (coupling map edges coloured greedily), each
layer one interleaved experiment.

    python benchmarks/bench_chip.py --dir /dev/shm/chip   # a RAM disk
    python benchmarks/bench_chip.py --dir /var/tmp/chip   # the disk
    python benchmarks/bench_chip.py --quick               # three rows, short sequences
"""

import argparse
import os
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

import numpy as np

import vantrel_rb as rb
from vantrel_rb.paulis import actions
from vantrel_rb.tablefile import multiplication_table


def heavy_hex(rows):
    """(qubits, couplings) of a heavy-hex lattice of `rows` rows, as the docstring says."""
    at, edges, bridges, label = {}, [], [], 0
    for r in range(rows):
        if r == 0:
            columns = range(14)
        elif r < rows - 1:
            columns = range(15)
        else:  # the last row lies under the bridges of the gap above it
            columns = range(14) if (r - 1) % 2 == 0 else range(1, 15)
        for c in columns:
            at[r, c] = label
            if (r, c - 1) in at:
                edges.append((at[r, c - 1], label))
            label += 1
        if r + 1 < rows:
            for c in (0, 4, 8, 12) if r % 2 == 0 else (2, 6, 10, 14):
                bridges.append((label, r, c))
                label += 1
    for bridge, r, c in bridges:
        edges += [(at[r, c], bridge), (bridge, at[r + 1, c])]
    return label, sorted(edges)


def layers(edges):
    """The couplings in greedy disjoint layers: each edge in the first layer free of its qubits."""
    found = []
    for a, b in edges:
        for layer in found:
            if not any({a, b} & set(edge) for edge in layer):
                layer.append((a, b))
                break
        else:
            found.append([(a, b)])
    return found


def table_recoveries(table, inverse, identity, elements, sizes):
    """Each sequence's recovery: neighbours multiplied pairwise through the module's table,
    level by level, an odd sequence padded with the identity."""
    while sizes.max() > 1:
        odd = sizes % 2 == 1
        if odd.any():
            elements = np.insert(elements, np.cumsum(sizes)[odd], identity)
            sizes = sizes + odd
        elements, sizes = table[elements[0::2], elements[1::2]], sizes // 2
    return inverse[elements]


def numpy_draw(groups, plan, lengths, samples, route):
    """The campaign's element indices, drawn from its seeds as the experiments draw them,
    and every sequence's recovery element by `route`: "table" or "pauli"."""
    sizes = np.repeat(lengths, samples)
    for order, seed, rounds in plan:
        group = groups[order]
        rng = np.random.default_rng(seed)
        for interleaved in rounds:
            drawn = rng.integers(order, size=sum(lengths) * samples)
            counts = sizes
            if interleaved:
                drawn = np.stack([drawn, np.full_like(drawn, group["cz"])], axis=1).ravel()
                counts = sizes * 2
            if route == "table":
                table_recoveries(group["table"], group["inverse"], group["identity"], drawn,
                                 counts)
            else:
                tables = group["actions"]
                tables.inverse[tables.products(drawn, counts)]


def median_of(runs, measure):
    return statistics.median(measure() for _ in range(runs))


def files_under(root):
    return [(p.relative_to(root), p.read_bytes()) for p in sorted(root.rglob("*"))
            if p.is_file()]


def plain_write(files, root):
    """The same bytes into the same tree: one open, write and close per file."""
    made = set()
    for relative, data in files:
        folder = root / relative.parent
        if folder not in made:
            folder.mkdir(parents=True, exist_ok=True)
            made.add(folder)
        fd = os.open(root / relative, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
        os.write(fd, data)
        os.close(fd)


def timed(action, before=None):
    if before:
        before()
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def compare(label, export, plain_root, out_root, runs):
    """Median export time against median plain writes of what the export wrote."""
    clear = lambda: [shutil.rmtree(p, ignore_errors=True) for p in (out_root, plain_root)]
    exported = median_of(runs, lambda: timed(export, clear))
    files = files_under(out_root)
    size = sum(len(data) for _, data in files)
    plain = median_of(runs, lambda: timed(lambda: plain_write(files, plain_root), clear))
    print(f"{label}: {exported:.2f} s for {size / 1e6:.0f} MB in {len(files)} files;"
          f" plain writes {plain:.2f} s; ratio {exported / plain:.2f}", flush=True)
    clear()
    return exported


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dir", help="where to write (default: a temporary folder)")
    parser.add_argument("--quick", action="store_true", help="three rows, lengths to 32")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--samples", type=int)
    parser.add_argument("--tables", default=".", help="folder of rb22.dat and rb44.dat")
    args = parser.parse_args()
    rows = 3 if args.quick else 7
    lengths = [1, 2, 4, 8, 16, 32] if args.quick else [1, 2, 4, 8, 16, 32, 48, 64, 96, 128]
    samples = args.samples or (5 if args.quick else 30)
    qubits, edges = heavy_hex(rows)
    root = pathlib.Path(args.dir or tempfile.mkdtemp(prefix="bench_chip-"))
    root.mkdir(parents=True, exist_ok=True)
    tables = pathlib.Path(args.tables)
    one, two = rb.CliffordGroup(1, tables / "rb22.dat"), rb.CliffordGroup(2, tables / "rb44.dat")
    print(f"chip: {qubits} qubits, {len(edges)} couplings, lengths {lengths[0]}..{lengths[-1]},"
          f" {samples} samples; in {root}", flush=True)

    campaign = {}

    def draw():
        campaign.clear()
        for k in range(qubits):
            campaign[f"q{k:03d}", (k,)] = rb.standard_rb(one, lengths, samples, seed=k)
        for a, b in edges:
            campaign[f"p{a:03d}_{b:03d}", (a, b)] = rb.interleaved_rb(two, "CZ", lengths,
                                                                     samples, seed=1000 + a)

    elements = (qubits + 3 * len(edges)) * samples * sum(lengths)
    groups = {}
    for group in (one, two):
        table = multiplication_table(group.path, group.qubits).view(np.ndarray)
        groups[group.order] = {"table": np.array(table) if group.qubits == 1 else table,
                               "inverse": group._blocks.inverse, "actions": actions(group),
                               "identity": int(group._blocks.specials[0]),
                               "cz": group.index_of("CZ") if group.qubits == 2 else None}
    plan = [(24, k, [False]) for k in range(qubits)]
    plan += [(11520, np.random.SeedSequence(1000 + a), [False, True]) for a, _ in edges]
    draw()  # the tables and words made once, as a session's first draw makes them
    drawing = median_of(args.runs, lambda: timed(draw))
    baseline = {route: median_of(args.runs, lambda route=route: timed(
        lambda: numpy_draw(groups, plan, lengths, samples, route))) for route in ("table",
                                                                                "pauli")}
    cheaper = min(baseline.values())
    print(f"drawing and checking: {drawing:.2f} s for {elements} elements; a NumPy RB draw"
          f" {baseline['table']:.2f} s through the table, {baseline['pauli']:.2f} s through"
          f" Pauli actions; ratio {drawing / cheaper:.2f}", flush=True)

    for layout in ("files", "single"):
        def export(layout=layout):
            for (name, physical), experiment in campaign.items():
                rb.write_experiment(experiment, root / "chip" / name, basis="rz,sx,cz",
                                    physical=physical, width=qubits, layout=layout)
        compare(f"export, {layout} layout", export, root / "plain", root / "chip", args.runs)

    simultaneous_rb = rb.simultaneous_rb
    pair_layers = layers(edges)
    experiments = {}

    def draw_simultaneous():
        experiments["qubits"] = simultaneous_rb([(one, (k,)) for k in range(qubits)], lengths,
                                                samples, seed=1)
        for i, layer in enumerate(pair_layers):
            experiments[f"layer{i}"] = simultaneous_rb([(two, pair, "CZ") for pair in layer],
                                                       lengths, samples, seed=2 + i)

    drawing = median_of(args.runs, lambda: timed(draw_simultaneous))
    print(f"simultaneous: all qubits and {len(pair_layers)} layers of pairs"
          f" ({', '.join(str(len(layer)) for layer in pair_layers)}), drawn in"
          f" {drawing:.2f} s", flush=True)
    for layout in ("files", "single"):
        def export(layout=layout):
            for name, experiment in experiments.items():
                rb.write_experiment(experiment, root / "sim" / name, basis="rz,sx,cz",
                                    layout=layout)
        compare(f"simultaneous export, {layout} layout", export, root / "plain", root / "sim",
                args.runs)
    if not args.dir:
        shutil.rmtree(root)


if __name__ == "__main__":
    sys.exit(main())
