import pytest

import Vantrel
from Vantrel import rb22_checker


@pytest.mark.parametrize("sequence,inverse,expected", [
    ([], [], True), ([1], [1], True), ([3], [5], True), ([3], [3], False), ([2], [], False),
    ([0, 0, 0], [], True), ([4, 4], [2], True), ([3, 3], [1], True), ([3, 4], (6, 5), True),
    ((Vantrel.Generator_SX,), [Vantrel.Generator_SXdag], True), (range(1, 2), [1], True),
])
def test_rb22_checker(sequence, inverse, expected):
    assert rb22_checker(sequence, inverse) is expected


@pytest.mark.parametrize("sequence,inverse,message", [
    ([7], [], "Bad gate in sequence"), ([1, -1], [1], "Bad gate in sequence"),
    ([1], [1, 7], "Bad gate in inv_sequence"), ([8], [7], "Bad gate in sequence"),
])
def test_rb22_checker_bad_codes(sequence, inverse, message):
    with pytest.raises(RuntimeError, match=f"^{message}$"):
        rb22_checker(sequence, inverse)


@pytest.mark.parametrize("args,kwargs", [
    (("13", []), {}), (([1.0], []), {}), (([1],), {}), ((), {"sequence": [1], "inv_sequence": [1]}),
    (([2**31], []), {}),
])
def test_rb22_checker_arguments(args, kwargs):
    with pytest.raises(TypeError):
        rb22_checker(*args, **kwargs)
