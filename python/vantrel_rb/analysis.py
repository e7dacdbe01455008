"""Analysis: the decay fit, the interleaved gate error with its bound, gate counts, plots.

Survival probabilities decay with the sequence length m as A·p^m + B. On d = 2^n
dimensions the error per Clifford is r = (d-1)/d·(1-p). Interleaving a gate turns
p into p_c; the gate's error is r_c = (d-1)/d·(1 - p_c/p), up to a systematic
error bounded by E (Magesan et al., Phys. Rev. Lett. 109, 080505, 2012).
"""

from __future__ import annotations

import dataclasses
import operator
import warnings
from collections.abc import Callable, Mapping, Sequence
from typing import TYPE_CHECKING, SupportsIndex, cast, overload

import numpy as np
import numpy.typing as npt

from .counts import Histogram
from .counts import survival as _survival
from .experiments import Experiment, SimultaneousExperiment

if TYPE_CHECKING:
    from matplotlib.axes import Axes

    from .group import CliffordGroup
    from .native import BasisLike

__all__ = ["DecayFit", "InterleavedFit", "GateCounts", "DecayWarning", "fit_decay",
           "fit_interleaved", "analyze", "gates_per_clifford", "plot_decay"]


class DecayWarning(UserWarning):
    """The lengths of a decay fit do not resolve the decay: p and the error per
    Clifford are not to be trusted."""


def decay(m: npt.ArrayLike, a: float, p: float, b: float) -> npt.NDArray[np.float64]:
    """The RB model A·p^m + B."""
    return a * np.power(p, m) + b


@dataclasses.dataclass(frozen=True, eq=False)
class DecayFit:
    """A fit of A·p^m + B: the parameters with their standard deviations and the data.

    ``epc`` and ``epc_err`` are the error per Clifford (d-1)/d·(1-p) and its
    standard deviation.
    """

    qubits: int
    lengths: npt.NDArray[np.float64]
    survival: npt.NDArray[np.float64]  # the mean survival per length
    sigma: npt.NDArray[np.float64] | None  # its standard error, when known
    A: float
    A_err: float
    p: float
    p_err: float
    B: float
    B_err: float
    points: npt.NDArray[np.float64] | None = None  # each sequence's survival, when fitted from them

    @property
    def epc(self) -> float:
        d: int = 2**self.qubits
        return (d - 1) / d * (1 - self.p)

    @property
    def epc_err(self) -> float:
        d: int = 2**self.qubits
        return (d - 1) / d * self.p_err

    def __call__(self, m: npt.ArrayLike) -> npt.NDArray[np.float64]:
        """The fitted curve at lengths m."""
        return decay(np.asarray(m, dtype=float), self.A, self.p, self.B)


@dataclasses.dataclass(frozen=True, eq=False)
class InterleavedFit:
    """The interleaved gate's error ``gate_error`` (r_c), its standard deviation
    ``gate_error_err`` and the systematic ``bound`` E, with both decay fits."""

    gate_error: float
    gate_error_err: float
    bound: float
    reference: DecayFit
    interleaved: DecayFit


@dataclasses.dataclass(frozen=True)
class GateCounts:
    """Mean numbers of gates (the identity code not counted) and of CZ per Clifford."""

    gates: float
    cz: float


def fit_decay(lengths: npt.ArrayLike | Experiment, survival: npt.ArrayLike,
              sigma: npt.ArrayLike | None = None, qubits: SupportsIndex | None = None,
              fix_b: bool = False) -> DecayFit:
    """Fits A·p^m + B, with A, B ≥ 0 and 0 < p ≤ 1, to survival probabilities.

    Parameters
    ----------
    lengths : array_like or Experiment
        The sequence lengths m, at least three distinct ones; or the experiment
        the survival probabilities were measured on, which gives the lengths and
        the number of qubits.
    survival : array_like
        Either one survival probability per length, or an array of shape
        ``(len(lengths), samples)`` (as `simulate` returns), whose means are
        fitted with their standard errors as `sigma`.
    sigma : array_like, optional
        Standard deviations of the values fitted; taken as absolute.
    qubits : int, optional
        1 or 2: sets d = 2**qubits for the error per Clifford. By default the
        experiment's, or 1 for bare lengths.
    fix_b : bool, optional
        Hold B at 1/d (the survival of a fully mixed state) and fit A and p
        alone; `B_err` is then 0.

    Returns
    -------
    DecayFit

    Raises
    ------
    TypeError
        For a number of qubits that is not an integer.
    ValueError
        For fewer than three lengths, a survival array of another shape, or a
        number of qubits other than 1 or 2 or than the experiment's.

    Warns
    -----
    DecayWarning
        When the fitted decay hardly falls over the lengths (less than 10 %), or
        is over (below 1 %) before the second length, or is not seen at all.

    Examples
    --------
    >>> m = np.array([1, 10, 50, 100])
    >>> fit = fit_decay(m, 0.5 * 0.99**m + 0.5)
    >>> round(fit.p, 6), round(fit.epc, 6)
    (0.99, 0.005)
    """
    from scipy.optimize import curve_fit

    if isinstance(lengths, Experiment):
        if qubits is not None and operator.index(qubits) != lengths.qubits:
            raise ValueError(f"qubits={qubits!r}, but the experiment is on {lengths.qubits}")
        qubits = lengths.qubits
        lengths = lengths.lengths
    qubits = 1 if qubits is None else operator.index(qubits)
    if qubits not in (1, 2):
        raise ValueError(f"qubits must be 1 or 2, not {qubits}")
    lengths = np.asarray(lengths, dtype=float)
    survival = np.asarray(survival, dtype=float)
    if len(np.unique(lengths)) < 3 or survival.shape[:1] != lengths.shape or survival.ndim > 2:
        raise ValueError(f"need survival of shape ({len(lengths)},) or ({len(lengths)}, samples)"
                         f" for at least three lengths, got {survival.shape}")
    points = None
    if survival.ndim == 2:
        points = survival
        if sigma is None and survival.shape[1] > 1:
            sem = survival.std(axis=1, ddof=1) / np.sqrt(survival.shape[1])
            sigma = sem if np.all(sem > 0) else None
        survival = cast("npt.NDArray[np.float64]", survival.mean(axis=1))  # Any in the stubs
    sigma = None if sigma is None else np.asarray(sigma, dtype=float)
    d = 2**qubits
    b0 = 1 / d
    ends = np.clip((survival[[0, -1]] - b0) / (1 - b0), 1e-3, 1)
    span = max(lengths.max() - lengths.min(), 1)
    p0 = float(np.clip((ends[1] / ends[0]) ** (1 / span), 0.5, 1 - 1e-6))
    a0 = max((survival[0] - b0) / p0 ** lengths.min(), 1e-3)
    model: Callable[..., npt.NDArray[np.float64]]
    start: tuple[float, ...]
    model, start, lower, upper = decay, (a0, p0, b0), [0, 1e-12, 0], [np.inf, 1, np.inf]
    if fix_b:
        model, start, lower, upper = (lambda m, a, p: decay(m, a, p, b0)), start[:2], lower[:2], \
            upper[:2]
    params, covariance = curve_fit(model, lengths, survival, p0=start, sigma=sigma,
                                   absolute_sigma=sigma is not None, maxfev=20000,
                                   bounds=(lower, upper))
    if fix_b:
        params = np.append(params, b0)
        covariance = np.pad(covariance, ((0, 1), (0, 1)))
    errors = np.sqrt(np.abs(np.diag(covariance)))
    a, p, _ = params
    m = np.unique(lengths)
    if a * p ** m[0] < 1e-3 or p ** (m[-1] - m[0]) > 0.9 or p ** (m[1] - m[0]) < 0.01:
        warnings.warn(f"the lengths {m[0]:g} to {m[-1]:g} do not resolve the decay"
                      f" (A = {a:.3g}, p = {p:.6g}): choose lengths over which A·p^m falls"
                      " to about a third, several of them before that", DecayWarning,
                      stacklevel=2)
    (fit_a, fit_p, fit_b), (a_err, p_err, b_err) = map(float, params), map(float, errors)
    return DecayFit(qubits, lengths, survival, sigma, fit_a, a_err, fit_p, p_err, fit_b, b_err,
                    points=points)


def fit_interleaved(reference: DecayFit, interleaved: DecayFit) -> InterleavedFit:
    """The interleaved gate's error from a reference fit and an interleaved fit.

    Parameters
    ----------
    reference, interleaved : DecayFit
        Fits of the standard and the interleaved experiment (decay p and p_c).

    Returns
    -------
    InterleavedFit
        r_c = (d-1)/d·(1 - p_c/p), its standard deviation from those of p and
        p_c, and the bound E = min{(d-1)(|p - p_c/p| + 1 - p)/d,
        2(d²-1)(1-p)/(p·d²) + 4·√(1-p)·√(d²-1)/p}.

    Raises
    ------
    ValueError
        When the two fits are of different numbers of qubits, or a decay p is
        outside (0, 1].

    Examples
    --------
    >>> m = np.array([1, 10, 50, 100])
    >>> ref, irb = fit_decay(m, 0.5 * 0.99**m + 0.5), fit_decay(m, 0.5 * 0.98**m + 0.5)
    >>> result = fit_interleaved(ref, irb)
    >>> round(result.gate_error, 6), round(result.bound, 4)
    (0.005051, 0.0051)
    """
    if reference.qubits != interleaved.qubits:
        raise ValueError(f"fits of {reference.qubits} and {interleaved.qubits} qubits do not pair")
    for fit in (reference, interleaved):
        if not 0 < fit.p <= 1:  # as fit_decay bounds it; a DecayFit made by hand may not be
            raise ValueError(f"a decay p = {fit.p!r} outside (0, 1] gives no gate error")
    d = 2**reference.qubits
    p, pc = reference.p, interleaved.p
    scale, ratio = (d - 1) / d, pc / p  # no p**2, which a tiny p takes to 0
    error = scale * np.hypot(interleaved.p_err / p, ratio * reference.p_err / p)
    bound = min(scale * (abs(p - ratio) + 1 - p),
                2 * (d**2 - 1) * (1 - p) / (p * d**2)
                + 4 * np.sqrt(1 - p) * np.sqrt(d**2 - 1) / p)
    return InterleavedFit(scale * (1 - ratio), float(error), float(bound), reference,
                          interleaved)


@overload
def analyze(experiment: Experiment, counts: Mapping[str, Histogram],
            fix_b: bool = False) -> DecayFit: ...
@overload
def analyze(experiment: tuple[Experiment, Experiment], counts: Mapping[str, Histogram],
            fix_b: bool = False) -> InterleavedFit: ...
@overload
def analyze(experiment: SimultaneousExperiment, counts: Mapping[str, Histogram],
            fix_b: bool = False) -> list[DecayFit | InterleavedFit]: ...
def analyze(experiment: Experiment | tuple[Experiment, Experiment] | SimultaneousExperiment,
            counts: Mapping[str, Histogram], fix_b: bool = False
            ) -> DecayFit | InterleavedFit | list[DecayFit | InterleavedFit]:
    """Fits what was run to the counts measured.

    Parameters
    ----------
    experiment : Experiment, (Experiment, Experiment) or SimultaneousExperiment
        As `survival` takes it.
    counts : mapping
        Each program's name to its ``{outcome: count}`` (see `survival`).
    fix_b : bool, optional
        Hold B at 1/d in every fit (see `fit_decay`).

    Returns
    -------
    DecayFit, InterleavedFit or list
        The decay fit of an experiment (its qubits taken from it); the
        `fit_interleaved` result of a pair; for a simultaneous experiment one per
        site: an `InterleavedFit` for an interleaved site, else the `DecayFit` of
        all its rounds' sequences pooled (each round is standard RB of the same
        lengths).

    Raises
    ------
    ValueError, TypeError
        As `survival` and `fit_decay` raise them.

    Examples
    --------
    >>> group = CliffordGroup(1, "rb22.dat")
    >>> experiment = standard_rb(group, [1, 50, 100, 200], 2, seed=1)
    >>> zeros = lambda m: round(1000 * (0.5 * 0.995**m + 0.5))
    >>> counts = {name: {"0": zeros(s.length), "1": 1000 - zeros(s.length)}
    ...           for name, s in zip(experiment.programs(), experiment.sequences)}
    >>> round(analyze(experiment, counts, fix_b=True).p, 3)
    0.995
    """
    measured = _survival(experiment, counts)
    if isinstance(experiment, tuple):
        return fit_interleaved(*(fit_decay(e, s, fix_b=fix_b)
                                 for e, s in zip(experiment, measured)))
    if isinstance(experiment, Experiment):
        return fit_decay(experiment, measured, fix_b=fix_b)
    fits: list[DecayFit | InterleavedFit] = []
    for site, rounds in zip(experiment.sites, measured):
        first = site.experiments[0]
        if not isinstance(rounds, tuple):
            fits.append(fit_decay(first, rounds, fix_b=fix_b))
        elif site.experiments[-1].interleaved_element is not None:
            fits.append(fit_interleaved(*(fit_decay(e, s, fix_b=fix_b)
                                          for e, s in zip(site.experiments, rounds))))
        else:
            fits.append(fit_decay(first, np.concatenate(rounds, axis=1), fix_b=fix_b))
    return fits


def gates_per_clifford(group: CliffordGroup, basis: BasisLike | None = None) -> GateCounts:
    """Mean numbers of gates and of entanglers in a uniformly random element, as played.

    Parameters
    ----------
    group : CliffordGroup
    basis : str, sequence or NativeBasis, optional
        A native basis (see `native_basis`): count the gates of each element's
        native circuit: ``sx`` and the entangler are pulses, ``rz`` is virtual and
        not counted; the entangler is counted as ``cz``. By
        default the catalogue words, the identity code not counted.

    Examples
    --------
    >>> gates_per_clifford(CliffordGroup(1, "rb22.dat"))
    GateCounts(gates=1.8333333333333333, cz=0.0)
    >>> gates_per_clifford(CliffordGroup(1, "rb22.dat"), "rz,sx")
    GateCounts(gates=1.0, cz=0.0)
    """
    if basis is not None:
        from .native import native_counts

        counts = native_counts(group, basis)
        return GateCounts(float(np.mean(counts.entanglers + counts.sx)),
                          float(np.mean(counts.entanglers)))
    played = [[code for code in word if code != 0] for word in group.words]
    cz_code = next((gate.code for gate in group.gates if gate.name == "CZ"), None)
    cz = float(np.mean([word.count(cz_code) for word in played])) if cz_code else 0.0
    return GateCounts(float(np.mean([len(word) for word in played])), cz)


def plot_decay(*fits: DecayFit, labels: Sequence[str] | None = None,
               ax: Axes | None = None) -> Axes:
    """Plots decay fits with their data: each sequence's survival when the fit has them,
    the means with their standard errors, the fitted curve, and the error per
    Clifford in the legend; needs matplotlib.

    Parameters
    ----------
    *fits : DecayFit
    labels : sequence of str, optional
        One per fit.
    ax : matplotlib.axes.Axes, optional
        Drawn on a new figure when not given.

    Returns
    -------
    matplotlib.axes.Axes
    """
    import matplotlib.pyplot as plt

    if ax is None:
        ax = plt.figure(figsize=(5.5, 4)).add_subplot()
    named: Sequence[str | None] = labels or [None] * len(fits)
    for fit, label in zip(fits, named):
        m = np.linspace(0, fit.lengths.max(), 200)
        points = ax.errorbar(fit.lengths, fit.survival, yerr=fit.sigma, fmt="o", ms=4,
                             capsize=2)
        color = points[0].get_color()
        if fit.points is not None:  # every sequence, behind the means
            ax.plot(np.repeat(fit.lengths, fit.points.shape[1]), fit.points.ravel(), ".",
                    color=color, alpha=0.25, ms=3)
        ax.plot(m, fit(m), color=color,
                label=f"{label + ': ' if label else ''}r = {fit.epc:.2e} ± {fit.epc_err:.1e}")
    ax.set(xlabel="sequence length m (Cliffords)", ylabel="survival probability")
    ax.legend()
    return ax
