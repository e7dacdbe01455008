"""Figures for the two-qubit side, each ratio taken within this one run.

  generate_table44 end to end    vs  one bulk write of as many bytes, same directory
  RB44.load_from_file            vs  one bulk read of the same file
  peak resident memory           of a process running generate_table44, and of one
                                 holding a loaded RB44
  get_full_sequence_and_inverse_sequence (1000 elements), rb44_checker (1000 gates)

Usage: bench44.py [DIRECTORY]   (default: a new temporary directory)
Prints figures; never fails on them."""

import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import Vantrel

FILE_SIZE = 534_574_088
REPEATS = 5


def best_of(fn, repeats=REPEATS):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def child_peak_mib(code, folder):
    """Peak resident set of a fresh interpreter running code in folder, in MiB."""
    script = code + ("\nimport resource, sys\n"
                     "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, file=sys.stderr)")
    out = subprocess.run([sys.executable, "-c", script], cwd=folder, capture_output=True,
                         text=True, check=True)
    return int(out.stderr.split()[-1]) / 1024


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="vantrel-bench-")
    os.chdir(folder)
    path = os.path.join(folder, "rb44.dat")
    baseline = os.path.join(folder, "baseline.bin")
    # Peak memory first, while this process is small: a child inherits its parent's
    # peak through fork.
    generate_mib = child_peak_mib(
        "import os, Vantrel\nos.dup2(os.open(os.devnull, os.O_WRONLY), 1)\n"
        "assert Vantrel.generate_table44('rb44.dat') == 0", folder)
    loaded_mib = child_peak_mib(
        "import Vantrel\nrb = Vantrel.RB44()\nrb.load_from_file('rb44.dat')", folder)

    payload = b"\x5a" * FILE_SIZE  # real, resident bytes, as a table in memory is

    def bulk_write():
        with open(baseline, "wb") as f:
            f.write(payload)

    def generate():
        devnull = os.open(os.devnull, os.O_WRONLY)
        saved = os.dup(1)
        os.dup2(devnull, 1)  # the run's progress lines go to the native stdout
        try:
            assert Vantrel.generate_table44(path) == 0
        finally:
            os.dup2(saved, 1)
            os.close(saved)
            os.close(devnull)

    # Alternate the two, each from a clean page cache (sync first), so that neither
    # pays for the other's writeback.
    write_s, generate_s = [], []
    for _ in range(REPEATS):
        os.sync()
        write_s.append(best_of(bulk_write, 1))
        os.sync()
        generate_s.append(best_of(generate, 1))
    del payload

    # Both timed without freeing what they read.
    kept = []

    def bulk_read():
        kept.clear()
        with open(baseline, "rb") as f:
            data = f.read()
        kept.append(data)

    def load():
        kept.clear()
        rb = Vantrel.RB44()
        start = time.perf_counter()
        rb.load_from_file(path)
        elapsed = time.perf_counter() - start
        kept.append(rb)
        return elapsed

    read_s, load_s = [], []
    for _ in range(REPEATS):
        read_s.append(best_of(bulk_read, 1))
        kept.clear()
        load_s.append(load())
    rb = kept.pop()
    os.remove(baseline)

    rng = random.Random(1)
    sequence = [rng.randrange(rb.N) for _ in range(1000)]
    full, inverse = rb.get_full_sequence_and_inverse_sequence(sequence)
    gates = full[:1000]
    calls = 2000
    seq_us = best_of(lambda: [rb.get_full_sequence_and_inverse_sequence(sequence)
                              for _ in range(calls)]) / calls * 1e6
    check_us = best_of(lambda: [Vantrel.rb44_checker(gates, []) for _ in range(calls)]) / calls * 1e6
    del rb

    def figures(label, times, base=None, target=None):
        line = f"{label:38s} best {min(times):6.3f} s  median {statistics.median(times):6.3f} s"
        if base is not None:
            line += (f"   ratio {min(times) / min(base):.2f} (best) "
                     f"{statistics.median(times) / statistics.median(base):.2f} (median)"
                     f", target <= {target}")
        print(line)

    print(f"directory: {folder}  ({REPEATS} runs each, alternating)")
    figures(f"bulk write of {FILE_SIZE} bytes:", write_s)
    figures("generate_table44:", generate_s, write_s, 2)
    figures("bulk read of the same size:", read_s)
    figures("RB44.load_from_file:", load_s, read_s, 1.5)
    print(f"peak memory, generate_table44:        {generate_mib:8.0f} MiB (target <= 1229)")
    print(f"peak memory, one loaded RB44:         {loaded_mib:8.0f} MiB (target <= 560)")
    print(f"get_full_sequence_and_inverse_sequence, 1000 elements: {seq_us:8.1f} us/call")
    print(f"rb44_checker, 1000 gates:                               {check_us:8.1f} us/call")


if __name__ == "__main__":
    main()
