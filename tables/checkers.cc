#include "tables/checkers.h"

#include "clifford2q/gates44.h"
#include "engine/generators22.h"

namespace vantrel {

bool rb22_checker(const std::vector<std::int32_t>& sequence,
                  const std::vector<std::int32_t>& inv_sequence) {
  static const std::vector<Matrix22> kGates = [] {
    std::vector<Matrix22> gates;
    for (int g = 0; g < kGenerators22; ++g) gates.push_back(generator_matrix22(g));
    return gates;
  }();
  return product_is_identity<2>(kGates, sequence, inv_sequence, "Bad gate in sequence",
                                "Bad gate in inv_sequence");
}

bool rb44_checker(const std::vector<std::int32_t>& sequence,
                  const std::vector<std::int32_t>& inv_sequence) {
  return product_is_identity<4>(gate_matrices44(), sequence, inv_sequence, "Bad gate in sequence",
                                "Bad gate in sequence");
}

}  // namespace vantrel
