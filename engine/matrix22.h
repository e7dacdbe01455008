// 2×2 matrices, the one-qubit gates and group elements: e0 = m00, e1 = m10, e2 = m01, e3 = m11.
#pragma once

#include "engine/matrix.h"

namespace vantrel {

using Matrix22 = Matrix<2>;
static_assert(sizeof(Matrix22) == 64);

inline Matrix22 identity22() { return identity_matrix<2>(); }
inline Matrix22 normalize_phase22(const Matrix22& m) { return normalize_phase<2>(m); }

}  // namespace vantrel
