import os
import random

import pytest

import Vantrel
from Vantrel import RB22, rb22_checker

LABELS = ["I", "X", "Y", "X/2", "Y/2", "-X/2", "-Y/2"]
NOT_LOADED = "Load data before using RB classes!"

GUARDED = [
    ("get_multiplication_table_elem", (0, 0)), ("get_inverse", (0,)), ("get_group_elements", ()),
    ("get_table", ()), ("get_inverse_table", ()), ("get_matrix", (0,)), ("get_generator", (0,)),
    ("get_generator_size", (0,)), ("get_full_sequence_and_inverse_sequence", ([0],)),
    ("get_special_operations", ()),
]


def test_fresh_object():
    rb = RB22()
    assert rb.N == 24
    assert rb.get_special_operations_str() == LABELS
    with pytest.raises(AttributeError):
        rb.N = 3
    with pytest.raises(AttributeError):
        rb.anything = 1


@pytest.mark.parametrize("method,args", GUARDED)
def test_guarded_before_load(method, args):
    with pytest.raises(RuntimeError, match=f"^{NOT_LOADED}$"):
        getattr(RB22(), method)(*args)


def test_loaded_arrays(rb22):
    assert rb22.get_special_operations() == [23, 3, 0, 9, 16, 14, 7]
    table = rb22.get_table()
    assert len(table) == 576
    assert all(table[24 * i + j] == rb22.get_multiplication_table_elem(i, j)
               for i in range(24) for j in range(24))
    assert rb22.get_inverse_table() == [0, 1, 2, 3, 4, 12, 8, 16, 6, 14, 10, 18, 5, 13, 9, 17,
                                        7, 15, 11, 19, 20, 22, 21, 23]
    assert [rb22.get_inverse(i) for i in range(24)] == rb22.get_inverse_table()
    elements = rb22.get_group_elements()
    assert len(elements) == 24
    for i, e in enumerate(elements):
        assert isinstance(e, Vantrel.KeyValueClifford22)
        assert 1 <= e.size == rb22.get_generator_size(i) <= 3
        assert e.buffer == rb22.get_generator(i)
        assert e.buffer[e.size:] == [-1] * (3 - e.size)
        assert e.arr == rb22.get_matrix(i) and all(isinstance(z, complex) for z in e.arr)
    assert rb22.get_generator(23) == [0, -1, -1] and rb22.get_matrix(23) == [1, 0, 0, 1]
    assert rb22.get_generator(1) == [5, 6, 5]


@pytest.mark.parametrize("sequence,expected", [
    ([3, 3], ([1, 1], [0])),
    ((9, 9), ([3, 3], [1])),
    ([23], ([0], [0])),
    ([9], ([3], [5])),
    ([9, 14], ([3, 5], [0])),
    (range(20, 22), ([2, 1, 3, 6, 5], [3, 6, 5])),  # Z·S† is S
])
def test_sequences(rb22, sequence, expected):
    result = rb22.get_full_sequence_and_inverse_sequence(sequence)
    assert type(result) is tuple and result == expected
    assert rb22_checker(*result)


def test_random_sequences_pass_the_checker(rb22):
    rng = random.Random(2026)
    for length in (1, 2, 5, 50, 1000):
        for _ in range(20):
            sequence = [rng.randrange(24) for _ in range(length)]
            full, inverse = rb22.get_full_sequence_and_inverse_sequence(sequence)
            assert len(inverse) <= 3 and rb22_checker(full, inverse)


@pytest.mark.parametrize("call", [
    lambda rb: rb.get_multiplication_table_elem(24, 0),
    lambda rb: rb.get_multiplication_table_elem(0, -1),
    lambda rb: rb.get_inverse(-5),
    lambda rb: rb.get_matrix(24),
    lambda rb: rb.get_generator(100),
    lambda rb: rb.get_generator_size(-1),
    lambda rb: rb.get_full_sequence_and_inverse_sequence([3, 24, 5]),
])
def test_index_outside_the_group(rb22, call):
    with pytest.raises(RuntimeError, match=r"^element index -?\d+ is outside 0\.\.23$"):
        call(rb22)


def test_empty_sequence(rb22):
    with pytest.raises(RuntimeError, match="^the element sequence is empty$"):
        rb22.get_full_sequence_and_inverse_sequence([])


@pytest.mark.parametrize("call", [
    lambda rb: rb.get_multiplication_table_elem(1.0, 2),
    lambda rb: rb.get_multiplication_table_elem(row=1, col=2),
    lambda rb: rb.get_inverse(2**31),
    lambda rb: rb.get_full_sequence_and_inverse_sequence("123"),
    lambda rb: rb.get_full_sequence_and_inverse_sequence([1, 2.0]),
    lambda rb: rb.load_from_file(5),
])
def test_arguments_that_do_not_convert(rb22, call):
    with pytest.raises(TypeError):
        call(rb22)


def test_enum_members_as_indices(rb22):
    assert rb22.get_inverse(Vantrel.Generator_SX) == rb22.get_inverse(3)


def test_element_objects(rb22, rb22_path, tmp_path):
    with pytest.raises(TypeError, match="^Vantrel.KeyValueClifford22: No constructor defined!$"):
        Vantrel.KeyValueClifford22()
    element = rb22.get_group_elements()[1]
    for name in ("arr", "buffer", "size"):
        with pytest.raises(AttributeError):
            setattr(element, name, 0)
    # Elements outlive reloads and the query object itself.
    rb22.load_from_file(str(rb22_path))
    del rb22
    assert element.buffer == [5, 6, 5] and element.size == 3
    assert element.arr == [0, 1, -1j, 0]


def test_load_failures_keep_the_object(rb22, rb22_path, tmp_path):
    good = rb22_path.read_bytes()
    cases = {
        "empty.dat": b"",
        "short.dat": good[:-1],
        "long.dat": good + b"\0",
        "corrupt.dat": good[:100] + (99).to_bytes(4, "little", signed=True) + good[104:],
    }
    for name, data in cases.items():
        (tmp_path / name).write_bytes(data)
    two_qubit = tmp_path / "rb44.dat"
    with open(two_qubit, "wb") as f:
        f.truncate(534574088)  # sparse: the size alone is refused
    for name, size in [("empty.dat", 0), ("short.dat", 4347), ("long.dat", 4349),
                       ("rb44.dat", 534574088)]:
        with pytest.raises(RuntimeError, match=f"has {size} bytes, expected 4348$"):
            rb22.load_from_file(str(tmp_path / name))
    with pytest.raises(RuntimeError, match="multiplication table entry 18 is 99, outside 0..23$"):
        rb22.load_from_file(str(tmp_path / "corrupt.dat"))
    with pytest.raises(RuntimeError, match="^File not found.$"):
        rb22.load_from_file(str(tmp_path / "missing.dat"))
    with pytest.raises(ValueError, match="NUL"):
        rb22.load_from_file(str(rb22_path) + "\0.txt")
    assert rb22.get_special_operations() == [23, 3, 0, 9, 16, 14, 7]
    fresh = RB22()
    with pytest.raises(RuntimeError, match="^File not found.$"):
        fresh.load_from_file(str(tmp_path / "missing.dat"))
    with pytest.raises(RuntimeError, match=NOT_LOADED):
        fresh.get_table()


def test_bytes_path(rb22_path):
    assert RB22().load_from_file(os.fsencode(rb22_path))
