// The seven one-qubit gates and their codes: the generators of the one-qubit group,
// and the factors of the two-qubit group's local gates.
#pragma once

#include <cstdint>

#include "engine/matrix22.h"

namespace vantrel {

// A generator word is a list of these codes, first gate first.
enum Generator22Enum : std::int32_t {
  Generator_I22 = 0,
  Generator_X = 1,
  Generator_Y = 2,
  Generator_SX = 3,     // (I - iX)/√2
  Generator_SY = 4,     // (I - iY)/√2
  Generator_SXdag = 5,  // (I + iX)/√2
  Generator_SYdag = 6,  // (I + iY)/√2
};

inline constexpr int kGenerators22 = 7;

// The textbook matrix of code g in 0..6, before phase normalisation (Y keeps its i).
Matrix22 generator_matrix22(int g);

}  // namespace vantrel
