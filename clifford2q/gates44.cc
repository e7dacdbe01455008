#include "clifford2q/gates44.h"

#include <stdexcept>
#include <vector>

#include "engine/generators22.h"

namespace vantrel {

Matrix44 identity44() { return identity_matrix<4>(); }

Matrix44 cz44() {
  Matrix44 m = identity_matrix<4>();
  m[15] = -1.0;
  return m;
}

Matrix44 gate_matrix44(int g) {
  if (g < 0 || g >= kGates44) throw std::runtime_error("Bad gate in sequence");
  if (g == 0) return identity44();
  if (g == 13) return cz44();
  // Codes 1..12: one one-qubit gate on the first qubit (the first Kronecker factor,
  // `first`) or on the second.
  struct Factor {
    Generator22Enum gate;
    bool first;
  };
  static constexpr Factor kFactors[13] = {
      {},
      {Generator_X, true},
      {Generator_X, false},
      {Generator_Y, true},
      {Generator_Y, false},
      {Generator_SX, true},
      {Generator_SXdag, true},
      {Generator_SX, false},
      {Generator_SXdag, false},
      {Generator_SY, true},
      {Generator_SYdag, true},
      {Generator_SY, false},
      {Generator_SYdag, false},
  };
  const Matrix22 one = generator_matrix22(kFactors[g].gate);
  return normalize_phase44(kFactors[g].first ? kronecker22(one, identity22())
                                             : kronecker22(identity22(), one));
}

std::span<const Matrix44> gate_matrices44() {
  static const std::vector<Matrix44> kGates = [] {
    std::vector<Matrix44> gates;
    for (int g = 0; g < kGates44; ++g) gates.push_back(gate_matrix44(g));
    return gates;
  }();
  return kGates;
}

}  // namespace vantrel
