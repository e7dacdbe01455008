import math
import random
import shutil

import pytest

import Vantrel
from Vantrel import RB44, rb44_checker

N = 11520
IDENTITY, CZ = 11519, 11518
NOT_LOADED = "Load data before using RB classes!"
GROUP_SIZES = [75, 239, 456, 560, 576, 576, 1152, 1152, 3456, 5760, 5760, 8064, 8064, 10368,
               10944, 10944, 11520, 11520, 11520]
R = 0.7071067811865475


def canonical(x):
    for c in (0.0, R, -R, 0.5, -0.5, 1.0, -1.0):
        if abs(x - c) < 1e-8:
            return c
    return x


def normalize(m):
    """Phase-normalised 4×4 matrix (column by column), every part snapped."""
    pivot = next(z for z in m[:4] if abs(z) >= 1e-8)
    factor = pivot.conjugate() / abs(pivot)
    return [complex(canonical((z * factor).real), canonical((z * factor).imag)) for z in m]


def multiply(a, b):
    return [sum(a[4 * k + r] * b[4 * c + k] for k in range(4)) for c in range(4) for r in range(4)]


def same_bits(a, b):
    return all(math.copysign(1, x) == math.copysign(1, y) and x == y
               for za, zb in zip(a, b) for x, y in ((za.real, zb.real), (za.imag, zb.imag)))


def test_console_and_files(generated44):
    result, console, folder = generated44
    assert result == 0
    enumeration = "".join(f"Group size = {s}\n" for s in GROUP_SIZES)
    table = "Generating table: \n" + "".join(f"block_id = {b} finished.\n" for b in range(288))
    assert console == enumeration + table + enumeration + "Generate End\n"
    assert (folder / "rb44.dat").stat().st_size == 534574088
    lines = (folder / "readable_group44.txt").read_text().splitlines()
    assert len(lines) == N and lines[-2:] == ["11518 : [0, 13]", "11519 : [0]"]


def test_fresh_object():
    rb = RB44()
    assert rb.N == N and rb.get_special_operations_str() == ["I", "CZ"]
    for call in (lambda: rb.get_inverse(0), lambda: rb.get_table(), lambda: rb.get_matrix(0),
                 lambda: rb.get_full_sequence_and_inverse_sequence([1])):
        with pytest.raises(RuntimeError, match=f"^{NOT_LOADED}$"):
            call()
    with pytest.raises(TypeError, match="^Vantrel.KeyValueClifford44: No constructor defined!$"):
        Vantrel.KeyValueClifford44()


def test_special_elements(rb44):
    assert rb44.get_special_operations() == [IDENTITY, CZ]
    assert rb44.get_generator(IDENTITY) == [0] + [-1] * 13
    assert rb44.get_generator_size(IDENTITY) == 1
    assert rb44.get_generator(CZ)[:2] == [0, 13]
    assert rb44.get_matrix(CZ) == [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1]
    assert rb44.get_full_sequence_and_inverse_sequence([CZ, CZ]) == ([0, 13, 0, 13], [0])


def test_words_multiply_out_bit_for_bit(rb44):
    """Each record is its parent's (word minus the last code) times that gate."""
    elements = rb44.get_group_elements()
    assert len(elements) == N
    words = [tuple(e.buffer[:e.size]) for e in elements]
    by_word = {w: i for i, w in enumerate(words)}
    gates = {g: elements[i].arr for g, i in enumerate(
        [IDENTITY, 1087, 2875, 1072, 2698, 9730, 10717, 9244, 11119, 10896, 9551, 11150, 9213, CZ])}
    for i, (element, word) in enumerate(zip(elements, words)):
        assert element.buffer[element.size:] == [-1] * (14 - element.size)
        assert all(0 <= g <= 13 for g in word)
        assert rb44.get_matrix(i) == element.arr and rb44.get_generator(i) == element.buffer
        parent = elements[by_word[word[:-1]]].arr if len(word) > 1 else gates[0]
        assert same_bits(normalize(multiply(parent, gates[word[-1]])), element.arr), i


def test_table_against_explicit_products(rb44):
    rng = random.Random(7)
    for _ in range(300):
        i, j = rng.randrange(N), rng.randrange(N)
        k = rb44.get_multiplication_table_elem(i, j)
        assert same_bits(normalize(multiply(rb44.get_matrix(i), rb44.get_matrix(j))),
                         rb44.get_matrix(k))


def test_identity_row_column_and_inverses(rb44):
    inverse = rb44.get_inverse_table()
    assert len(inverse) == N and inverse[IDENTITY] == IDENTITY and inverse[CZ] == CZ
    for i in range(N):
        assert rb44.get_multiplication_table_elem(IDENTITY, i) == i
        assert rb44.get_multiplication_table_elem(i, IDENTITY) == i
        assert rb44.get_multiplication_table_elem(i, inverse[i]) == IDENTITY
        assert rb44.get_inverse(i) == inverse[i]


def test_random_sequences_pass_the_checker(rb44):
    rng = random.Random(2026)
    for length in (1, 2, 3, 10, 100, 1000):
        for _ in range(25):
            full, inverse = rb44.get_full_sequence_and_inverse_sequence(
                [rng.randrange(N) for _ in range(length)])
            assert 1 <= len(inverse) <= 13 and all(0 <= g <= 13 for g in full + inverse)
            assert rb44_checker(full, inverse)


@pytest.mark.parametrize("sequence,inverse,expected", [
    ([], [], True), ([13], [13], True), ([1], [], False), ([1, 2], [2, 1], True),
    ((5,), (6,), True), ([0, 0], [], True), ([9, 9], [3], True),
])
def test_rb44_checker(sequence, inverse, expected):
    assert rb44_checker(sequence, inverse) is expected


@pytest.mark.parametrize("sequence,inverse", [([14], []), ([], [14]), ([1, -1], [1])])
def test_rb44_checker_bad_codes(sequence, inverse):
    with pytest.raises(RuntimeError, match="^Bad gate in sequence$"):
        rb44_checker(sequence, inverse)


@pytest.mark.parametrize("call", [
    lambda: rb44_checker(sequence=[1], inv_sequence=[1]),
    lambda: rb44_checker([2**31], []),
    lambda: RB44().get_inverse(-2**31 - 1),
    lambda: RB44().get_full_sequence_and_inverse_sequence([0, 2**40]),
    lambda: RB44().load_from_file(None),
])
def test_arguments_that_do_not_convert(call):
    with pytest.raises(TypeError):
        call()


def test_nul_in_paths(rb44_path, tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(ValueError, match="NUL"):
        RB44().load_from_file(str(rb44_path) + "\0")
    with pytest.raises(ValueError, match="NUL"):
        Vantrel.generate_table44("rb44.dat\0x")
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("call", [
    lambda rb: rb.get_inverse(N), lambda rb: rb.get_matrix(-1),
    lambda rb: rb.get_multiplication_table_elem(0, N),
    lambda rb: rb.get_full_sequence_and_inverse_sequence([0, N]),
])
def test_index_outside_the_group(rb44, call):
    with pytest.raises(RuntimeError, match=r"^element index -?\d+ is outside 0\.\.11519$"):
        call(rb44)


def test_load_failures_keep_the_object(rb44, rb44_path, rb22_path, tmp_path):
    with pytest.raises(RuntimeError, match="has 4348 bytes, expected 534574088$"):
        rb44.load_from_file(str(rb22_path))
    corrupt = tmp_path / "corrupt.dat"
    shutil.copyfile(rb44_path, corrupt)
    record = 530887688 + 320 * 5
    for offset, value, message in [
        (8 + 4 * 7, 11520, "multiplication table entry 7 is 11520, outside 0..11519"),
        (record + 256, 14, "element 5 holds 14 in word slot 0, outside 0..13"),
        (record + 312, 15, "element 5 has word length 15, outside 1..14"),
    ]:
        with open(corrupt, "r+b") as f:
            f.seek(offset)
            original = f.read(4)
            f.seek(offset)
            f.write(value.to_bytes(4, "little", signed=True))
        with pytest.raises(RuntimeError, match=f"is corrupt: {message}$"):
            rb44.load_from_file(str(corrupt))
        with open(corrupt, "r+b") as f:
            f.seek(offset)
            f.write(original)
    # The reserved bytes of a record are not looked at.
    with open(corrupt, "r+b") as f:
        f.seek(record + 316)
        f.write(b"\xff\xff\xff\xff")
    assert RB44().load_from_file(str(corrupt))
    assert rb44.get_special_operations() == [IDENTITY, CZ]


def test_table_file_cannot_be_written(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    missing = str(tmp_path / "no" / "rb44.dat")
    assert Vantrel.generate_table44(path=missing) == -1
    assert capfd.readouterr().out.endswith(
        f"block_id = 287 finished.\nCannot open file: {missing}\nGenerate Failed.\n")
    assert not (tmp_path / "readable_group44.txt").exists()
