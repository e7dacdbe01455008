"""Counts as back ends report them, turned into survival probabilities.

A program measures into the classical register ``c``: an `Experiment`'s program
measures sequence qubit j into ``c[j]``, a simultaneous program physical qubit k
into ``c[k]``. A bitstring reads ``c[n-1]…c[0]``, its leftmost character the highest
classical bit (spaces ignored, missing high bits read as 0); an integer key has bit
i equal to ``c[i]``. A sequence survives a shot when every one of its qubits' bits
reads 0.
"""

import operator
from collections.abc import Mapping
from typing import TypeAlias, overload

import numpy as np
import numpy.typing as npt

from .experiments import Experiment, SimultaneousExperiment

__all__ = ["survival"]

#: One program's counts: each outcome, a bitstring or an integer, to its shots.
Histogram: TypeAlias = dict[str, int] | dict[int, int] | dict[str | int, int]
#: The survival of each sequence of an experiment, shape (lengths, samples).
Survival: TypeAlias = npt.NDArray[np.float64]


def _programs(experiment: Experiment | SimultaneousExperiment
              ) -> tuple[list[str], int, list[tuple[int, ...]]]:
    """(program names in order, register width, the classical bits of each site)."""
    if isinstance(experiment, SimultaneousExperiment):
        names = [name for name, *_ in experiment.programs()]
        return names, experiment.width, [site.physical for site in experiment.sites]
    if isinstance(experiment, Experiment):
        return experiment.programs(), experiment.qubits, [tuple(range(experiment.qubits))]
    raise TypeError(f"expected an Experiment, a (reference, interleaved) pair or a"
                    f" SimultaneousExperiment, not {experiment!r}")


def _bits(program: str, histogram: Histogram, width: int
          ) -> tuple[npt.NDArray[np.int64], npt.NDArray[np.bool_]]:
    """(the shots of each outcome, a boolean matrix: row per outcome, column k = c[k])."""
    if not isinstance(histogram, dict):
        raise TypeError(f"the counts of program {program!r} must be a mapping of outcomes to"
                        f" counts, not {histogram!r}")
    rows: list[str] = []
    counted: list[int] = []
    for key, count in histogram.items():
        if isinstance(key, str):
            text = key.replace(" ", "")
            if not text or text.strip("01") or len(text) > width:
                raise ValueError(f"program {program!r}: outcome {key!r} is not a bitstring of"
                                 f" 0 and 1 of at most {width} bits")
        elif hasattr(key, "__index__") and not isinstance(key, bool):
            value = operator.index(key)
            if not 0 <= value < 1 << width:
                raise ValueError(f"program {program!r}: outcome {key!r} is outside 0 to"
                                 f" {(1 << width) - 1}")
            text = format(value, "b")
        else:
            raise TypeError(f"program {program!r}: outcome {key!r} is neither a bitstring nor"
                            " an integer")
        if isinstance(count, bool) or not hasattr(count, "__index__") or operator.index(count) < 0:
            raise ValueError(f"program {program!r}: the count of {key!r} must be a non-negative"
                             f" integer, not {count!r}")
        rows.append(text.rjust(width, "0"))
        counted.append(operator.index(count))
    shots = np.array(counted, dtype=np.int64)
    if not shots.sum():
        raise ValueError(f"program {program!r} has no shots")
    table = np.frombuffer("".join(rows).encode(), dtype=np.uint8).reshape(len(rows), width)
    return shots, table[:, ::-1] == ord("1")


@overload
def survival(experiment: Experiment, counts: Mapping[str, Histogram]) -> Survival: ...
@overload
def survival(experiment: tuple[Experiment, Experiment],
             counts: Mapping[str, Histogram]) -> tuple[Survival, Survival]: ...
@overload
def survival(experiment: SimultaneousExperiment, counts: Mapping[str, Histogram]
             ) -> list[Survival | tuple[Survival, ...]]: ...
def survival(experiment: Experiment | tuple[Experiment, Experiment] | SimultaneousExperiment,
             counts: Mapping[str, Histogram]
             ) -> Survival | tuple[Survival, Survival] | list[Survival | tuple[Survival, ...]]:
    """The survival of every sequence, from the counts of its program.

    Parameters
    ----------
    experiment : Experiment, (Experiment, Experiment) or SimultaneousExperiment
        What was run: one experiment, a ``(reference, interleaved)`` pair from
        `interleaved_rb`, or a `simultaneous_rb` experiment.
    counts : mapping
        Each program's name (`program_name`, as the experiment's JSON gives it; a
        trailing ``".qasm"`` is accepted) to ``{outcome: count}``, outcomes being
        bitstrings ``c[n-1]…c[0]`` or integers with bit i = ``c[i]``.

    Returns
    -------
    numpy.ndarray, tuple or list
        For an experiment, the fraction of surviving shots of each sequence, shape
        ``(len(lengths), samples)``; for a pair, a pair of such arrays; for a
        simultaneous experiment, one entry per site: such an array for one round,
        or a tuple with one array per round.

    Raises
    ------
    ValueError
        Naming the program: counts for a program the experiment does not have, a
        program without counts or without shots, a negative or non-integer count,
        an outcome that is not a bitstring of 0 and 1 no wider than the register
        or an integer outside it.
    TypeError
        For counts that are not mappings, or an experiment of another kind.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> experiment = standard_rb(group, [1, 2], 1, seed=1)
    >>> survival(experiment, {"standard/m0001_s000": {"0": 90, "1": 10},
    ...                       "standard/m0002_s000.qasm": {0: 3, 1: 1}}).tolist()
    [[0.9], [0.75]]
    """
    if isinstance(experiment, tuple):
        if len(experiment) != 2 or not all(isinstance(e, Experiment) for e in experiment):
            raise TypeError(f"expected a (reference, interleaved) pair, not {experiment!r}")
        programs = [_programs(e) for e in experiment]
        names, width = programs[0][0] + programs[1][0], experiment[0].qubits
        sites = programs[0][2]
    else:
        names, width, sites = _programs(experiment)
    if not hasattr(counts, "items"):
        raise TypeError(f"counts must map program names to outcome counts, not {counts!r}")
    given = {}
    for key, histogram in counts.items():
        name = key[:-len(".qasm")] if isinstance(key, str) and key.endswith(".qasm") else key
        if name in given:
            raise ValueError(f"program {name!r} has counts twice")
        given[name] = histogram
    wanted = set(names)
    extra = [name for name in given if name not in wanted]
    if extra:
        raise ValueError(f"counts for program {extra[0]!r}, which the experiment does not have")
    missing = [name for name in names if name not in given]
    if missing:
        raise ValueError(f"no counts for program {missing[0]!r}")
    first = np.array([site[0] for site in sites])
    last = np.array([site[-1] for site in sites])
    result = np.empty((len(names), len(sites)))
    for row, name in enumerate(names):
        shots, bits = _bits(name, given[name], width)
        survived = ~(bits[:, first] | bits[:, last])  # sites are one qubit or a pair
        result[row] = shots @ survived / shots.sum()
    if isinstance(experiment, tuple):
        shape = (len(experiment[0].lengths), experiment[0].samples)
        reference, interleaved = np.split(result[:, 0], 2)
        return reference.reshape(shape), interleaved.reshape(shape)
    if isinstance(experiment, Experiment):
        return result[:, 0].reshape(len(experiment.lengths), experiment.samples)
    rounds = result.T.reshape(len(sites), len(experiment.rounds), len(experiment.lengths),
                              experiment.samples)
    return [site[0] if len(experiment.rounds) == 1 else tuple(site) for site in rounds]
