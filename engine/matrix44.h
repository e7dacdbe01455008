// 4×4 matrices of the two-qubit group: position 4·c + r holds row r, column c, and
// basis index 2·b1 + b2 puts the first qubit in the high bit.
#pragma once

#include "engine/matrix22.h"

namespace vantrel {

using Matrix44 = Matrix<4>;
static_assert(sizeof(Matrix44) == 256);

// Throws "what matrix?" when column 0 vanishes.
inline Matrix44 normalize_phase44(const Matrix44& m) { return normalize_phase<4>(m); }

// a ⊗ b: a acts on the first qubit.
inline Matrix44 kronecker22(const Matrix22& a, const Matrix22& b) {
  Matrix44 k;
  for (int ca = 0; ca < 2; ++ca) {
    for (int cb = 0; cb < 2; ++cb) {
      for (int ra = 0; ra < 2; ++ra) {
        for (int rb = 0; rb < 2; ++rb) {
          k[4 * (2 * ca + cb) + (2 * ra + rb)] = mul(a[2 * ca + ra], b[2 * cb + rb]);
        }
      }
    }
  }
  return k;
}

}  // namespace vantrel
