// The fourteen two-qubit gates, by code:
//   0 I, 1 X⊗I, 2 I⊗X, 3 Y⊗I, 4 I⊗Y, 5 SX⊗I, 6 SXdag⊗I, 7 I⊗SX, 8 I⊗SXdag,
//   9 SY⊗I, 10 SYdag⊗I, 11 I⊗SY, 12 I⊗SYdag, 13 CZ.
#pragma once

#include <span>

#include "engine/matrix44.h"

namespace vantrel {

inline constexpr int kGates44 = 14;

Matrix44 identity44();
Matrix44 cz44();  // diag(1, 1, 1, -1)

// The phase-normalised gate matrix of code g; throws "Bad gate in sequence" for a
// code outside 0..13.
Matrix44 gate_matrix44(int g);

// All fourteen gate matrices, indexed by code, built once.
std::span<const Matrix44> gate_matrices44();

}  // namespace vantrel
