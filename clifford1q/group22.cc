#include "clifford1q/group22.h"

#include "engine/generators22.h"

namespace vantrel {

const std::vector<Matrix22>& normalized_generators22() {
  static const std::vector<Matrix22> kGates = [] {
    std::vector<Matrix22> gates;
    for (int g = 0; g < kGenerators22; ++g)
      gates.push_back(normalize_phase22(generator_matrix22(g)));
    return gates;
  }();
  return kGates;
}

GroupMap22 enumerate_group22(std::ostream& progress) {
  static const std::int32_t kSeeds[] = {0, 1, 2, 3, 4, 5, 6};
  static const std::vector<std::int32_t> kPhases[] = {{1, 2, 3, 4, 5, 6}};
  return enumerate_group<2>(normalized_generators22(), kSeeds, kPhases, progress);
}

}  // namespace vantrel
