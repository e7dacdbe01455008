import os
import random
import threading

import pytest

import Vantrel


def test_two_objects_from_one_file_are_independent(rb22_path, tmp_path):
    a, b = Vantrel.RB22(), Vantrel.RB22()
    a.load_from_file(str(rb22_path))
    b.load_from_file(str(rb22_path))
    table = a.get_table()
    table[0] = 99  # a returned list is a copy
    assert a.get_table() == b.get_table() != table
    (tmp_path / "empty.dat").write_bytes(b"")
    with pytest.raises(RuntimeError):
        b.load_from_file(str(tmp_path / "empty.dat"))
    assert a.get_inverse_table() == b.get_inverse_table()


def test_calls_from_several_threads(rb22):
    errors = []

    def work(seed):
        rng = random.Random(seed)
        try:
            for _ in range(200):
                seq = [rng.randrange(24) for _ in range(rng.randrange(1, 50))]
                full, inverse = rb22.get_full_sequence_and_inverse_sequence(seq)
                assert Vantrel.rb22_checker(full, inverse)
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(seed,)) for seed in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def test_ten_million_elements(rb22):
    rng = random.Random(3)
    pattern = [rng.randrange(24) for _ in range(1000)]
    full, inverse = rb22.get_full_sequence_and_inverse_sequence(pattern * 10**4)
    sizes = [rb22.get_generator_size(e) for e in range(24)]
    assert len(full) == 10**4 * sum(sizes[e] for e in pattern)
    assert Vantrel.rb22_checker(full, inverse)


def test_two_qubit_elements_outlive_their_object(rb44_path):
    rb = Vantrel.RB44()
    rb.load_from_file(str(rb44_path))
    elements, inverse = rb.get_group_elements(), rb.get_inverse_table()
    words = [e.buffer for e in elements[-2:]]
    rb.load_from_file(str(rb44_path))
    del rb
    assert [e.buffer for e in elements[-2:]] == words == [[0, 13] + [-1] * 12, [0] + [-1] * 13]
    assert len(inverse) == 11520 and elements[11518].arr[15] == -1


def test_paths_that_are_not_utf8_or_links(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    raw = os.fsencode(tmp_path) + b"/table-\xff.dat"
    assert Vantrel.generate_table22(raw) == 0
    assert Vantrel.RB22().load_from_file(raw)
    link = tmp_path / "link.dat"
    link.symlink_to(tmp_path / "target.dat")  # dangling until written through
    assert Vantrel.generate_table22(str(link)) == 0
    assert (tmp_path / "target.dat").stat().st_size == 4348
    capfd.readouterr()
