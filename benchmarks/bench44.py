"""Speed and memory of the two-qubit side, each ratio against a baseline timed in this run.

  generate_table44 end to end     vs  a bulk write of as many bytes, same directory
  RB44.load_from_file             vs  a bulk read of the same file (loading proves the table);
                                      also the first load of a fresh process, which
                                      enumerates the group for the proof (later ones reuse it)
  get_full_sequence_and_inverse_sequence, m = 1000 and 10,000 elements: a fresh random
                                      list every call vs the same list repeated (warm)
  1000 fresh 1000-element sequences:  the method in a Python loop vs NumPy over the batch,
                                      from the table file's documented layout
  RB44.get_table()                vs  [0] * (11520 * 11520); its memory above the loaded
                                      object, and the time to free it
  peak resident memory            of a process generating, holding one loaded RB44, and
                                      reloading one RB44 (each a fresh child process)
  rb44_checker, 1000 gates

Timed figures are medians (and bests) of REPEATS runs, the two sides alternating.

Usage:
  eval "$(tools/build.sh)" && PYTHONPATH=build "$VANTREL_PYTHON" benchmarks/bench44.py [DIR]
DIR holds the scratch files (about 1.1 GB; default: a new temporary directory); they are
removed at the end. Prints figures; never fails on them."""

import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import Vantrel

N = 11520
REPEATS = 5
SCRIPT = os.path.abspath(__file__)  # before main() changes directory


def timed(fn):
    """Seconds fn takes; its result is freed after the clock stops."""
    start = time.perf_counter()
    result = fn()  # noqa: F841
    return time.perf_counter() - start


def alternate(a, b, repeats=REPEATS, before=lambda: None):
    """Times of a and of b, run alternately, each after an untimed before()."""
    ta, tb = [], []
    for _ in range(repeats):
        before()
        ta.append(timed(a))
        before()
        tb.append(timed(b))
    return ta, tb


def status_mib(field):
    """VmRSS, VmHWM, ... of this process, from /proc/self/status, in MiB."""
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    raise KeyError(field)


def generate():
    """generate_table44 into rb44.dat, its progress lines (native stdout) discarded."""
    saved, devnull = os.dup(1), os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    try:
        assert Vantrel.generate_table44("rb44.dat") == 0
    finally:
        os.dup2(saved, 1)
        os.close(saved)
        os.close(devnull)


def tablefile():
    """vantrel_rb's statement of the table file's layout, imported only where it is used:
    the children that measure peak memory import nothing but the module."""
    sys.path.append(os.path.join(os.path.dirname(SCRIPT), "..", "python"))
    from vantrel_rb import tablefile as layout

    return layout


def child(name, folder):
    """Runs child_main(name) in a fresh interpreter: its high-water mark is its own."""
    path = os.pathsep.join([os.path.dirname(os.path.abspath(Vantrel.__file__)),
                            os.environ.get("PYTHONPATH", "")])
    out = subprocess.run([sys.executable, SCRIPT, "--child", name], cwd=folder,
                         env=dict(os.environ, PYTHONPATH=path), capture_output=True, text=True)
    if out.returncode:
        raise RuntimeError(f"child {name} failed:\n{out.stderr}")
    return [float(x) for x in out.stdout.split()]


def child_main(name):
    """Prints the peak resident MiB of generating, loading ("load", then the seconds the
    process's first load took, which also enumerates the group) or loading twice on
    one object ("reload"); or, for "get_table", what get_table_memory prints."""
    seconds = ""
    if name == "generate":
        generate()
    elif name in ("load", "reload"):
        rb = Vantrel.RB44()
        seconds = timed(lambda: rb.load_from_file("rb44.dat"))
        if name == "reload":
            rb.load_from_file("rb44.dat")
    else:
        return get_table_memory()
    print(status_mib("VmHWM"), seconds)


def get_table_memory():
    """Prints the resident MiB get_table()'s list adds to a loaded RB44 (held, and at
    the high-water mark) and the seconds to free it, after checking it."""
    rb = Vantrel.RB44()
    rb.load_from_file("rb44.dat")
    before = status_mib("VmRSS")
    table = rb.get_table()
    held, peak = status_mib("VmRSS") - before, status_mib("VmHWM") - before
    assert len(table) == N * N
    rng = random.Random(3)
    pairs = [(0, 0), (N - 1, N - 1)] + [(rng.randrange(N), rng.randrange(N)) for _ in range(999)]
    for i, j in pairs:
        assert table[i * N + j] == rb.get_multiplication_table_elem(i, j)
    print(held, peak, timed(lambda: table.clear()))


def read_table_file(path):
    """The table file's blocks as NumPy arrays: table (N, N), inverse (N,), records (N,)."""
    layout = tablefile()
    blocks = layout.layout(2)
    table = np.fromfile(path, "<i4", N * N, offset=blocks.table).reshape(N, N)
    inverse = np.fromfile(path, "<i4", N, offset=blocks.inverse)
    records = np.fromfile(path, layout.record_dtype(2), N, offset=blocks.records)
    return table, inverse, records


def numpy_batch(table, inverse, words, batch, as_lists):
    """(gates, recovery) for each row of batch, vectorised over the rows."""
    product = batch[:, 0]
    for k in range(1, batch.shape[1]):
        product = table[product, batch[:, k]]
    slots = words[batch].reshape(len(batch), -1)  # the words end to end, padded with -1
    lengths = (slots >= 0).sum(axis=1)
    gates = np.split(slots[slots >= 0], np.cumsum(lengths)[:-1])
    recovery = words[inverse[product]]
    if not as_lists:
        return gates, recovery
    return [(g.tolist(), r[r >= 0].tolist()) for g, r in zip(gates, recovery)]


def main():
    given = len(sys.argv) > 1
    folder = os.path.abspath(sys.argv[1]) if given else tempfile.mkdtemp(prefix="vantrel-bench-")
    os.makedirs(folder, exist_ok=True)
    os.chdir(folder)
    try:
        run(folder)
    finally:
        for name in ("rb44.dat", "baseline.bin", "readable_group44.txt"):
            if os.path.exists(name):
                os.remove(name)
        if not given:
            shutil.rmtree(folder)


def run(folder):
    rows = []  # (label, value, ratio, target) for the summary

    def report(label, times, base=None, target="", unit="s", scale=1.0):
        digits = 3 if unit == "s" else 1
        value = f"{statistics.median(times) * scale:.{digits}f} {unit} " \
                f"(best {min(times) * scale:.{digits}f})"
        ratio = "" if base is None else (
            f"{statistics.median(times) / statistics.median(base):.2f} "
            f"(best {min(times) / min(base):.2f})")
        rows.append((label, value, ratio, target))

    def step(what):
        print(f"measuring {what} ...", file=sys.stderr, flush=True)

    step("generate_table44 and a bulk write")
    payload = b"\x5a" * tablefile().layout(2).size  # resident bytes, as a table in memory is

    def bulk_write():
        with open("baseline.bin", "wb") as f:
            f.write(payload)

    # Each from a synced page cache, so neither pays for the other's writeback.
    write_s, generate_s = alternate(bulk_write, generate, before=os.sync)
    del payload
    report("bulk write, 534,574,088 bytes", write_s)
    report("generate_table44", generate_s, write_s, "<= 1.5")

    step("peak memory, each in a child process")
    peaks = {name: child(name, folder)[0] for name in ("generate", "reload")}
    peaks["load"], first_load = child("load", folder)
    first_loads = [first_load] + [child("load", folder)[1] for _ in range(REPEATS - 1)]

    step("load_from_file and a bulk read")  # neither frees what it read while timed
    kept = []

    def bulk_read():
        with open("baseline.bin", "rb") as f:
            kept.append(f.read())

    def load():
        rb = Vantrel.RB44()
        rb.load_from_file("rb44.dat")
        kept.append(rb)

    read_s, load_s = alternate(bulk_read, load, before=kept.clear)
    rb = kept.pop()
    os.remove("baseline.bin")
    report("bulk read of the same size", read_s)
    report("RB44.load_from_file", load_s, read_s, "<= 1.5")
    report("the same, first in a fresh process", first_loads, read_s, "<= 2")

    step("fresh and warm sequences")  # the lists are drawn before timing
    rng = random.Random(1)
    method = rb.get_full_sequence_and_inverse_sequence
    for m, count in ((1000, 1000), (10_000, 200)):
        fresh = [[rng.randrange(N) for _ in range(m)] for _ in range(count)]
        same = [fresh[0]] * count
        fresh_s, warm_s = alternate(lambda: [method(s) for s in fresh],
                                    lambda: [method(s) for s in same])
        report(f"sequence, m = {m}, warm (same list)", warm_s, unit="us", scale=1e6 / count)
        report(f"sequence, m = {m}, fresh list each call", fresh_s, warm_s, "<= 2",
               unit="us", scale=1e6 / count)
    del fresh, same

    step("a batch of sequences: the method in a loop, NumPy from the file")
    table, inverse, records = read_table_file("rb44.dat")
    words = records["buffer"]
    batch = np.random.default_rng(2).integers(0, N, size=(1000, 1000), dtype=np.int32)
    lists = batch.tolist()
    expected = numpy_batch(table, inverse, words, batch, as_lists=True)
    for k in (0, 1, 500, 999):
        assert method(lists[k]) == expected[k], k
    del expected
    loop_s, lists_s = alternate(lambda: [method(s) for s in lists],
                                lambda: numpy_batch(table, inverse, words, batch, True))
    arrays_s = [timed(lambda: numpy_batch(table, inverse, words, batch, False))
                for _ in range(REPEATS)]
    del table
    report("batch of 1000: NumPy, results as lists", lists_s)
    report("batch of 1000: NumPy, results as arrays", arrays_s)
    report("batch of 1000: method in a loop / lists", loop_s, lists_s, "<= 1")
    report("batch of 1000: method in a loop / arrays", loop_s, arrays_s)

    step("get_table()")  # against a list of the same length sharing one object
    zeros_s, table_s = alternate(lambda: [0] * (N * N), rb.get_table, repeats=3)
    report("[0] * (11520 * 11520)", zeros_s)
    report("RB44.get_table()", table_s, zeros_s, "<= 4")
    held, peak, free_s = child("get_table", folder)

    step("rb44_checker")
    gates = method(lists[0])[0][:1000]
    calls = 2000
    check_s = [timed(lambda: [Vantrel.rb44_checker(gates, []) for _ in range(calls)])
               for _ in range(REPEATS)]
    report("rb44_checker, 1000 gates", check_s, unit="us", scale=1e6 / calls)

    rows += [("peak memory, generate_table44", f"{peaks['generate']:.0f} MiB", "", "<= 1229"),
             ("peak memory, one loaded RB44", f"{peaks['load']:.0f} MiB", "", "<= 560"),
             ("peak memory, reload (load twice)", f"{peaks['reload']:.0f} MiB", "", ""),
             ("get_table() list above the loaded object", f"{held:.0f} MiB (peak {peak:.0f})",
              "", "<= 1229"),
             ("freeing get_table()'s list", f"{free_s:.3f} s", "", "")]

    print(f"in {folder}: {REPEATS} runs each (3 for get_table), the two sides alternating")
    print(f"{'figure':42s} {'median (best)':>26s} {'ratio':>17s} {'target':>8s}")
    for label, value, ratio, target in rows:
        print(f"{label:42s} {value:>26s} {ratio:>17s} {target:>8s}")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--child"]:
        child_main(sys.argv[2])
    else:
        main()
