#include "clifford2q/group44.h"

#include "clifford2q/gates44.h"

namespace vantrel {

GroupMap44 enumerate_group44(std::ostream& progress) {
  static const std::int32_t kSeeds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  // The one-qubit gates in the order tried: X⊗I, Y⊗I, I⊗X, I⊗Y, SX⊗I, SXdag⊗I,
  // SY⊗I, SYdag⊗I, I⊗SX, I⊗SXdag, I⊗SY, I⊗SYdag.
  const std::vector<std::int32_t> one_qubit = {1, 3, 2, 4, 5, 6, 9, 10, 7, 8, 11, 12};
  const std::vector<std::int32_t> cz = {13};
  const std::vector<std::int32_t> phases[] = {one_qubit, cz, one_qubit, cz,
                                              one_qubit, cz, one_qubit};
  return enumerate_group<4>(gate_matrices44(), kSeeds, phases, progress);
}

}  // namespace vantrel
