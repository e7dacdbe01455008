// The one-qubit group as the table run, the table file and the query object see it.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <span>

#include "clifford1q/group22.h"
#include "engine/multiplication_recipe.h"

namespace vantrel {

struct Clifford22 {
  static constexpr std::int32_t kElements = 24;
  static constexpr std::int32_t kSpecials = 7;
  static constexpr std::int32_t kGateCodes = 7;
  using Record = KeyValueClifford22;
  // Names of the special operations, in the order of their indices in a table file.
  static constexpr std::array<const char*, kSpecials> kSpecialLabels = {"I",   "X",    "Y",   "X/2",
                                                                        "Y/2", "-X/2", "-Y/2"};
  static constexpr TableProgress kProgress = {"i = ", kElements};  // one line per row
  static constexpr const char* kListingName = "readable_group22.txt";

  static GroupMap22 enumerate(std::ostream& progress) { return enumerate_group22(progress); }
  static std::span<const Matrix22> gates() { return normalized_generators22(); }
  // The special operations are the generators themselves, by code.
  static std::span<const Matrix22> special_keys() { return normalized_generators22(); }
};

}  // namespace vantrel
