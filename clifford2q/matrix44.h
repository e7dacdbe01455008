// 4×4 matrices of the two-qubit group: position 4·c + r holds row r, column c, and
// basis index 2·b1 + b2 puts the first qubit in the high bit.
#pragma once

#include "clifford1q/matrix22.h"

namespace vantrel {

using Matrix44 = Matrix<4>;
static_assert(sizeof(Matrix44) == 256);

inline Matrix44 multiply44(const Matrix44& a, const Matrix44& b) { return multiply<4>(a, b); }
inline bool approx_equal44(const Matrix44& a, const Matrix44& b) { return approx_equal<4>(a, b); }
// Throws "what matrix?" when column 0 vanishes.
inline Matrix44 normalize_phase44(const Matrix44& m) { return normalize_phase<4>(m); }

// a ⊗ b: a acts on the first qubit.
Matrix44 kronecker22(const Matrix22& a, const Matrix22& b);

}  // namespace vantrel
