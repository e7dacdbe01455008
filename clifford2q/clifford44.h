// The two-qubit group as the shared table run, table file and query object see it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "clifford1q/table_run.h"
#include "clifford2q/gates44.h"
#include "clifford2q/group44.h"

namespace vantrel {

struct Clifford44 {
  static constexpr std::int32_t kElements = 11520;
  static constexpr std::int32_t kSpecials = 2;
  static constexpr std::int32_t kGateCodes = kGates44;
  using Record = KeyValueClifford44;
  static constexpr std::array<const char*, kSpecials> kSpecialLabels = {"I", "CZ"};
  static constexpr TableProgress kProgress = {"block_id = ", 288};  // 40 rows a line
  static constexpr const char* kListingName = "readable_group44.txt";

  static GroupMap44 enumerate(std::ostream& progress = std::cout) {
    return enumerate_group44(progress);
  }
  static std::span<const Matrix44> gates() { return gate_matrices44(); }
  static std::vector<Matrix44> special_keys() { return {identity44(), cz44()}; }
};

// Writes the two-qubit table file at path and "readable_group44.txt" in the working
// directory. Returns 0, or -1 when either could not be written.
int generate_table44(const std::string& path);

}  // namespace vantrel
