// The two-qubit group as the table run, the table file and the query object see it.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "clifford2q/gates44.h"
#include "clifford2q/group44.h"
#include "engine/multiplication_recipe.h"

namespace vantrel {

struct Clifford44 {
  static constexpr std::int32_t kElements = 11520;
  static constexpr std::int32_t kSpecials = 2;
  static constexpr std::int32_t kGateCodes = kGates44;
  using Record = KeyValueClifford44;
  static constexpr std::array<const char*, kSpecials> kSpecialLabels = {"I", "CZ"};
  static constexpr TableProgress kProgress = {"block_id = ", 288};  // 40 rows a line
  static constexpr const char* kListingName = "readable_group44.txt";

  static GroupMap44 enumerate(std::ostream& progress) { return enumerate_group44(progress); }
  static std::span<const Matrix44> gates() { return gate_matrices44(); }
  static std::vector<Matrix44> special_keys() { return {identity44(), cz44()}; }
};

}  // namespace vantrel
