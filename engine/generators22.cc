#include "engine/generators22.h"

#include <cassert>

namespace vantrel {

Matrix22 generator_matrix22(int g) {
  constexpr double r = kHalfSqrt2;
  static const Matrix22 kGates[kGenerators22] = {
      {{{1, 0}, {0, 0}, {0, 0}, {1, 0}}},     {{{0, 0}, {1, 0}, {1, 0}, {0, 0}}},
      {{{0, 0}, {0, 1}, {-0.0, -1}, {0, 0}}}, {{{r, 0}, {0, -r}, {0, -r}, {r, 0}}},
      {{{r, 0}, {r, 0}, {-r, 0}, {r, 0}}},    {{{r, 0}, {0, r}, {0, r}, {r, 0}}},
      {{{r, 0}, {-r, 0}, {r, 0}, {r, 0}}},
  };
  assert(g >= 0 && g < kGenerators22);
  return kGates[g];
}

}  // namespace vantrel
