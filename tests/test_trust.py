"""No wrong answer from a damaged table, no lost table, no hang, no crash, and
arguments taken exactly as declared."""

import os
import pathlib
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import textwrap
import threading
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

import Vantrel
from conftest import run_capturing_stdout

SIDES = {"22": (Vantrel.RB22, 24, 7, 80), "44": (Vantrel.RB44, 11520, 2, 320)}
# A refusal names the block and the entry.
NAMED = r"is corrupt: ((special operation|multiplication table|inverse table) entry|element) \d+ "


def damages(side, data):
    """(label, [(offset, new bytes), ...]) for each damage class."""
    _, n, s, record = SIDES[side]
    table, inverse = 4 * s, 4 * s + 4 * n * n
    records = inverse + 4 * n
    rng = random.Random(side)
    row = table + 4 * n * rng.randrange(n)
    r1, r2 = (records + record * k for k in rng.sample(range(n), 2))
    def reserved(k):  # the last 4 bytes of a two-qubit record are not read
        return record == 320 and k >= records and (k - records) % record >= 316

    flips = [(f"bit at {k}", [(k, bytes([data[k] ^ 1 << rng.randrange(8)]))])
             for k in rng.sample(range(len(data)), 8) if not reserved(k)]
    return flips + [
        ("entries of a row swapped", [(row, data[row + 4:row + 8] + data[row:row + 4])]),
        ("row copied over another", [(table, data[row:row + 4 * n])]),
        ("records swapped", [(r1, data[r2:r2 + record]), (r2, data[r1:r1 + record])]),
        ("inverse entries swapped", [(inverse, data[inverse + 4:inverse + 8] + data[inverse:inverse + 4])]),
        ("stretch zeroed", [(rng.randrange(table, len(data) - 256), bytes(256))]),
        ("special index moved", [(0, (int.from_bytes(data[:4], "little") - 1).to_bytes(4, "little"))]),
    ]


@pytest.mark.parametrize("side", ["22", "44"])
def test_every_damage_class_is_refused(side, rb22_path, rb44_path, tmp_path):
    source = {"22": rb22_path, "44": rb44_path}[side]
    data = source.read_bytes()
    path = tmp_path / "table.dat"
    path.write_bytes(data)
    query = SIDES[side][0]()
    query.load_from_file(source)
    before = query.get_special_operations(), query.get_inverse_table()
    with open(path, "r+b") as f:
        for label, patches in damages(side, data):
            for offset, patch in patches:
                f.seek(offset)
                f.write(patch)
            f.flush()
            try:
                query.load_from_file(path)
            except RuntimeError as e:
                assert re.search(NAMED, str(e)), (label, e)
            else:
                pytest.fail(f"{label}: accepted")
            for offset, patch in patches:
                f.seek(offset)
                f.write(data[offset:offset + len(patch)])
    assert (query.get_special_operations(), query.get_inverse_table()) == before
    assert query.load_from_file(path)  # every damage undone: accepted again


def run_child(code, timeout=120, **options):
    """Runs code in a fresh interpreter (a crash fails the test, not the run)."""
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)}
    options = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, **options}
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], text=True,
                          timeout=timeout, env=env, **options)


def test_objects_whose_constructor_never_ran_are_refused():
    done = run_child("""
        import Vantrel
        class Early(Vantrel.RB22):
            def __init__(self):
                self.load_from_file("rb22.dat")
        calls = [lambda: Vantrel.RB22.__new__(Vantrel.RB22).get_table(),
                 lambda: Vantrel.RB44.__new__(Vantrel.RB44).N,
                 lambda: Vantrel.KeyValueClifford44.__new__(Vantrel.KeyValueClifford44).arr,
                 Early]
        for call in calls:
            try:
                call()
            except TypeError as e:
                assert "__init__ was not called" in str(e), e
            else:
                raise SystemExit("accepted")
        print("ok")
    """)
    assert done.stdout == "ok\n", done.stderr


# AddressSanitizer reserves terabytes of address space and aborts when it cannot.
address_limits = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                                    reason="address-space limits under AddressSanitizer")

# A limit that makes each run fail part-way: the file size for the small table, the
# address space for the large one (where the run also raises MemoryError).
LIMITS = {"22": "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
                "resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))",
          "44": "used = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()\n"
                "resource.setrlimit(resource.RLIMIT_AS, (used + (2 << 20),) * 2)"}


@pytest.mark.parametrize("side,outcome", [("22", "-1"),
                                          pytest.param("44", "MemoryError", marks=address_limits)])
def test_a_failed_or_killed_generation_leaves_the_old_table(side, outcome, rb22_path, rb44_path,
                                                            tmp_path):
    source = {"22": rb22_path, "44": rb44_path}[side]
    path = tmp_path / "table.dat"
    shutil.copyfile(source, path)
    generate = f"Vantrel.generate_table{side}({str(path)!r})"
    code = f"import resource, signal, Vantrel\n{LIMITS[side]}\n"
    failed = run_child(code + f"try:\n    print({generate})\nexcept MemoryError:\n    print('MemoryError')")
    assert failed.stdout.endswith(outcome + "\n"), failed.stderr
    assert os.listdir(tmp_path) == ["table.dat"]  # nothing left behind
    if side == "44":
        child = subprocess.Popen([sys.executable, "-c", f"import Vantrel; {generate}"],
                                 stdout=subprocess.PIPE, text=True,
                                 env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
        for line in child.stdout:
            if line.startswith("block_id = 100 "):
                child.send_signal(signal.SIGKILL)
                break
        child.wait()
    assert path.read_bytes() == source.read_bytes()


def test_files_that_are_not_regular(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    os.mkfifo("fifo")
    loaded = run_child(f"""
        import Vantrel
        try:
            Vantrel.RB44().load_from_file({str(tmp_path / 'fifo')!r})  # no writer: no waiting
        except RuntimeError as e:
            print(e)
    """, timeout=60)
    assert loaded.stdout == f"table file {tmp_path / 'fifo'} is not a regular file\n"
    assert Vantrel.generate_table22("fifo") == -1  # no reader
    assert capfd.readouterr().out.endswith("Cannot open file: fifo\nGenerate Failed.\n")
    received = []
    reader = threading.Thread(target=lambda: received.append(open("fifo", "rb").read()))
    reader.start()
    while Vantrel.generate_table22("fifo") == -1:  # until the reader has opened it
        pass
    reader.join()
    assert len(received[0]) == 4348
    os.remove("readable_group22.txt")
    capfd.readouterr()
    assert Vantrel.generate_table22("readable_group22.txt") == -1
    assert capfd.readouterr().out == "Generate Failed.\n" and sorted(os.listdir()) == ["fifo"]


@pytest.mark.parametrize("folder", [None, "/dev/shm"], ids=["link", "link-under-dev"])
def test_a_failed_run_through_a_link_leaves_its_target(folder, rb22_path, tmp_path, monkeypatch,
                                                       request):
    if folder and not os.path.isdir(folder):
        pytest.skip(f"no {folder} on this system")
    link, target = pathlib.Path(tempfile.mkdtemp(dir=folder)) / "link.dat", tmp_path / "table.dat"
    request.addfinalizer(lambda: shutil.rmtree(link.parent))
    link.symlink_to(target)
    target.write_bytes(b"old table")
    monkeypatch.chdir(tempfile.mkdtemp())
    os.rmdir(os.getcwd())  # the listing cannot be written: the run fails after the table
    assert run_capturing_stdout(Vantrel.generate_table22, str(link))[0] == -1
    assert target.read_bytes() == b"old table" and os.listdir(tmp_path) == ["table.dat"]
    monkeypatch.chdir(tmp_path)
    assert run_capturing_stdout(Vantrel.generate_table22, str(link))[0] == 0
    assert target.read_bytes() == rb22_path.read_bytes() and os.listdir(link.parent) == ["link.dat"]


@pytest.mark.parametrize("stdout,path", [("file", "/dev/stdout"), ("file", "out"),
                                         ("pipe", "/dev/stdout"), ("pipe", "/proc/self/fd/1")])
def test_the_table_is_not_written_to_standard_output(stdout, path, tmp_path):
    with open(tmp_path / "out", "w") as out:
        done = run_child(f"import sys, Vantrel; sys.exit(Vantrel.generate_table22({path!r}))",
                         cwd=tmp_path, errors="replace",
                         **({"stdout": out} if stdout == "file" else {}))
    text = (tmp_path / "out").read_text() if stdout == "file" else done.stdout
    assert (done.returncode, text, os.listdir(tmp_path)) == (255, "Generate Failed.\n", ["out"])


def test_a_write_interrupted_by_a_signal_goes_on(rb22_path, tmp_path):
    done = run_child("""
        import fcntl, os, signal, subprocess, Vantrel
        os.mkfifo("fifo")
        idle = os.open("fifo", os.O_RDONLY | os.O_NONBLOCK)  # lets the run open it
        fcntl.fcntl(idle, fcntl.F_SETPIPE_SZ, 4096)  # less than the table: the run waits
        reader = subprocess.Popen("sleep 1; exec cat fifo > got", shell=True)
        signal.signal(signal.SIGALRM, lambda *_: None)
        signal.setitimer(signal.ITIMER_REAL, 0.01, 0.01)
        print(Vantrel.generate_table22("fifo"))
        signal.setitimer(signal.ITIMER_REAL, 0)
        os.close(os.open("fifo", os.O_WRONLY))  # the reader's open returns even after a failure
        reader.wait()
    """, timeout=60, cwd=tmp_path)
    assert done.stdout.endswith("Generate End\n0\n"), done.stdout + done.stderr
    assert (tmp_path / "got").read_bytes() == rb22_path.read_bytes()


@pytest.mark.parametrize("main_first", [True, False], ids=["main-first", "sub-first"])
def test_a_subinterpreter_is_refused(main_first):
    done = run_child(f"""
        import _interpreters
        {"import Vantrel" if main_first else ""}
        sub = _interpreters.create("legacy")  # one that shares the main interpreter's GIL
        failure = _interpreters.exec(sub, "import Vantrel; Vantrel.RB22()")
        _interpreters.destroy(sub)
        import Vantrel
        print(failure.type.__name__, failure.msg, Vantrel.RB22().get_special_operations_str()[1])
    """, timeout=60)
    expected = "ImportError Vantrel can only be imported in the main interpreter X\n"
    assert done.stdout == expected, done.stderr


@pytest.mark.parametrize("length", [2**62, sys.maxsize])
def test_a_sequence_too_long_for_memory(rb22, length):
    with pytest.raises(MemoryError):
        rb22.get_full_sequence_and_inverse_sequence(range(length))


class Raises:
    def __index__(self):
        raise KeyboardInterrupt("from __index__")

    def __len__(self):
        raise ZeroDivisionError("from __len__")

    def __getitem__(self, k):
        return 1


@pytest.mark.parametrize("bad", [np.float32(5.7), np.float16(5.7), np.array(5.7), Decimal("5.7"),
                                 Fraction(57, 10), 5.0, "5", 2**31])
def test_only_integers_convert(rb22, bad):
    with pytest.raises(TypeError):
        rb22.get_inverse(bad)
    assert rb22.get_inverse(np.int64(5)) == rb22.get_inverse(Vantrel.Generator_SXdag) == 12


@pytest.mark.parametrize("bad", [{17, 3, 9}, frozenset([3]), (x for x in [3]), {3: 0}.keys(),
                                 iter([3]), b"\x03", "3", [3.0]])
def test_only_sequences_of_integers_convert(rb22, bad):
    with pytest.raises(TypeError):
        rb22.get_full_sequence_and_inverse_sequence(bad)
    expected = rb22.get_full_sequence_and_inverse_sequence([17, 3])
    for good in ((17, 3), range(17, 2, -14), np.array([17, 3]), bytearray([17, 3])):
        assert rb22.get_full_sequence_and_inverse_sequence(good) == expected


def test_errors_of_arguments_reach_the_caller(rb22, tmp_path):
    with pytest.raises(KeyboardInterrupt, match="from __index__"):
        rb22.get_full_sequence_and_inverse_sequence([3, Raises()])
    with pytest.raises(ZeroDivisionError, match="from __len__"):
        Vantrel.rb22_checker(Raises(), [])
    name = os.fsencode(tmp_path) + b"/t\xff.dat"
    (tmp_path / os.fsdecode(b"t\xff.dat")).write_bytes(b"x")
    for path in (name, os.fsdecode(name)):
        with pytest.raises(RuntimeError, match=r"t\\xff\.dat has 1 bytes, expected 4348$"):
            Vantrel.RB22().load_from_file(path)
    with pytest.raises(AttributeError, match="^property 'N' of 'RB22' object has no setter$"):
        rb22.N = 1


@address_limits
def test_memory_failures_are_memory_errors(rb44_path):
    done = run_child(f"""
        import resource, Vantrel
        rb = Vantrel.RB44()
        rb.load_from_file({str(rb44_path)!r})
        used = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (used + (64 << 20),) * 2)
        for call in (rb.get_table, lambda: Vantrel.RB44().load_from_file("missing.dat")):
            try:
                call()
            except (MemoryError, RuntimeError) as e:
                print(type(e).__name__, e)
    """)
    assert done.stdout == "MemoryError \nRuntimeError File not found.\n", done.stderr
