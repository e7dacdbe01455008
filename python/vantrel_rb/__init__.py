"""Randomized-benchmarking experiments on one and two qubits, on top of the Vantrel tables.

One convention holds throughout this package: **circuit order**. A list of gates is
in time order, the first gate applied first; a matrix is the operation performed
on the state. Playing gates G0, G1, …, Gn performs Gn·…·G1·G0. The first qubit of
the two-qubit gates (the first Kronecker factor, the high bit of a basis index) is
qubit 0 of every export.

The `Vantrel` module itself multiplies a word from left to right:
``RB22.get_matrix(i)`` is G0·G1·…·Gn, which is not the operation the word performs
when played. `CliffordGroup.unitary` and `CliffordGroup.index_of` speak circuit
order, so the element found for a gate is the one whose word, played, performs it.

Contents, one module per concept:

- `gates`: the gate catalogue (codes, names, matrices, OpenQASM 3) and the
  standard OpenQASM 3 Clifford gates;
- `group`: `CliffordGroup`, a loaded table with matrix and name look-up, and
  each element's fewest native gates (`CliffordGroup.native`), and `make_table`,
  which writes a table file quietly;
- `native`: `native_basis` and `native_counts`, native bases of rz, sx and an
  entangler;
- `experiments`: `standard_rb`, `interleaved_rb` and `simultaneous_rb` (many sites
  of a chip at once);
- `export`: `to_qasm3`, `to_json`, `write_experiment`, `programs`,
  `read_experiment`;
- `counts`: `survival`, from the counts back ends report per program;
- `paulis`: `actions`, each element as a signed permutation of the Paulis;
- `analysis`: `fit_decay`, `fit_interleaved`, `analyze`, `gates_per_clifford`,
  `plot_decay`
  (SciPy and matplotlib are imported only when these fit or plot);
- `simulation`: `simulate` and the errors its noise injects.

Examples
--------
>>> import vantrel_rb as rb
>>> group = rb.CliffordGroup(1, "rb22.dat")
>>> reference, interleaved = rb.interleaved_rb(group, "X/2", [1, 16, 64], 10, seed=1)
>>> noise = 0.01
>>> ref = rb.fit_decay(reference, rb.simulate(reference, noise))
>>> irb = rb.fit_decay(interleaved, rb.simulate(interleaved, noise))
>>> result = rb.fit_interleaved(ref, irb)
>>> expected = rb.injected_gate_error(interleaved, noise)
>>> abs(result.gate_error - expected) < result.bound
True
"""

from .analysis import (DecayFit, DecayWarning, GateCounts, InterleavedFit, analyze, fit_decay,
                       fit_interleaved, gates_per_clifford, plot_decay)
from .counts import survival
from .experiments import (Experiment, Sequence, SimultaneousExperiment, Site, interleaved_rb,
                          program_name, simultaneous_rb, standard_rb)
from .export import programs, read_experiment, to_json, to_qasm3, write_experiment
from .gates import STANDARD_GATES, Gate, catalogue
from .group import CliffordGroup, make_table
from .native import NativeBasis, NativeCounts, native_basis, native_counts
from .simulation import injected_epc, injected_gate_error, simulate

__all__ = ["CliffordGroup", "make_table", "Gate", "catalogue", "STANDARD_GATES", "Sequence",
           "Experiment", "standard_rb", "interleaved_rb", "Site", "SimultaneousExperiment",
           "simultaneous_rb", "program_name", "to_qasm3", "to_json", "write_experiment",
           "read_experiment", "programs",
           "DecayFit", "InterleavedFit", "GateCounts", "DecayWarning", "fit_decay",
           "fit_interleaved", "analyze", "survival", "gates_per_clifford", "plot_decay",
           "simulate", "injected_epc", "injected_gate_error", "NativeBasis", "NativeCounts",
           "native_basis", "native_counts"]
