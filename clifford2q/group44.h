// The two-qubit Clifford group: element record, group map and enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "engine/group.h"
#include "engine/matrix44.h"

namespace vantrel {

// One element as stored in the table file: its normalised matrix and its word.
struct KeyValueClifford44 {
  Matrix44 arr;
  std::array<std::int32_t, 14> buffer;  // the word; -1 from slot `size` on
  std::int32_t size;                    // 1..14
  std::int32_t reserved;                // zero
};
static_assert(sizeof(KeyValueClifford44) == 320);
static_assert(offsetof(KeyValueClifford44, buffer) == 256);
static_assert(offsetof(KeyValueClifford44, size) == 312);
static_assert(offsetof(KeyValueClifford44, reserved) == 316);

using GroupMap44 = GroupMap<4>;

// The 11520 elements: the seeds 0..12, then seven phases alternating the twelve
// one-qubit gates and CZ. Prints the nineteen "Group size = " lines.
GroupMap44 enumerate_group44(std::ostream& progress);

}  // namespace vantrel
