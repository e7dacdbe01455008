// The one-qubit Clifford group: element record, group map and enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "engine/group.h"
#include "engine/matrix22.h"

namespace vantrel {

// One element as stored in the table file: its normalised matrix and its word.
struct KeyValueClifford22 {
  Matrix22 arr;
  std::array<std::int32_t, 3> buffer;  // the word; -1 from slot `size` on
  std::int32_t size;                   // 1..3
};
static_assert(sizeof(KeyValueClifford22) == 80);
static_assert(offsetof(KeyValueClifford22, buffer) == 64);
static_assert(offsetof(KeyValueClifford22, size) == 76);

using GroupMap22 = GroupMap<2>;

// The phase-normalised generator matrices N_0 .. N_6, indexed by code.
const std::vector<Matrix22>& normalized_generators22();

// The 24 elements, closed under right multiplication by codes 1..6 from the seven
// generators; prints one "Group size = " line per pass (20, 24, 24).
GroupMap22 enumerate_group22(std::ostream& progress);

}  // namespace vantrel
