"""The fast paths give exactly what the table gives: sequences walk the words
through the gate permutations, and RB44.get_table() shares one int per value."""

import random

import pytest


def word(rb, e):
    return rb.get_generator(e)[:rb.get_generator_size(e)]


@pytest.mark.parametrize("side", ["22", "44"])
def test_sequences_follow_the_table_chain(side, rb22, rb44):
    rb = {"22": rb22, "44": rb44}[side]
    rng = random.Random(side)
    for _ in range(300):
        sequence = [rng.randrange(rb.N) for _ in range(rng.randrange(1, 60))]
        product = sequence[0]
        for e in sequence[1:]:
            product = rb.get_multiplication_table_elem(product, e)
        full, recovery = rb.get_full_sequence_and_inverse_sequence(sequence)
        assert full == [g for e in sequence for g in word(rb, e)]
        assert recovery == word(rb, rb.get_inverse(product))


def test_whole_two_qubit_table(rb44):
    table = rb44.get_table()
    n = rb44.N
    assert len(table) == n * n and type(table[0]) is int
    rng = random.Random(4)
    for i, j in [(0, 0), (n - 1, n - 1)] + [(rng.randrange(n), rng.randrange(n)) for _ in range(500)]:
        assert table[i * n + j] == rb44.get_multiplication_table_elem(i, j)
