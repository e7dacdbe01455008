// The table file: everything a query object needs about one Clifford group. This
// header is the one statement of its format; the writer, the reader, the fuzz
// targets and the tests all take offsets, sizes and byte order from here.
//
// A file is four blocks back to back, with no header, filler or checksum. Integers
// are int32 and reals binary64, both little-endian; a complex value is its real
// part followed by its imaginary part. The reader takes every count from its own
// group (S specials, N elements), so a file's length alone tells the groups apart.
//
//   block  content                               count   one qubit    two qubits
//   1      special operation indices             S       7            2
//   2      multiplication table, row-major       N·N     576          132710400
//   3      inverse table                         N       24           11520
//   4      element records                       N       80 bytes     320 bytes
//   total                                                4348 bytes   534574088 bytes
//
// Block 1 holds the element indices of the special operations; entry 0 is the
// identity's. Entry i·N + j of block 2 is the index of M_i·M_j after phase
// normalisation. Entry i of block 3 is the smallest j with M_i·M_j the identity.
// A record is the element's normalised matrix (column by column), its generator
// word in W int32 slots (-1 from slot `size` on) and `size`; a two-qubit record
// ends with four reserved zero bytes, ignored on reading. The records' own layout
// is fixed where they are declared (KeyValueClifford22, KeyValueClifford44).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace vantrel {

// Where the blocks of a table file of `Group` (its kSpecials, kElements and Record)
// lie: byte offsets from the start of the file and sizes in bytes.
template <class Group>
struct TableLayout {
  static constexpr std::size_t kElements = Group::kElements;
  static constexpr std::size_t kIndex = sizeof(std::int32_t);

  static constexpr std::size_t kSpecialsAt = 0;
  static constexpr std::size_t kSpecialsBytes = kIndex * Group::kSpecials;
  static constexpr std::size_t kTableAt = kSpecialsAt + kSpecialsBytes;
  static constexpr std::size_t kTableBytes = kIndex * kElements * kElements;
  static constexpr std::size_t kInverseAt = kTableAt + kTableBytes;
  static constexpr std::size_t kInverseBytes = kIndex * kElements;
  static constexpr std::size_t kRecordsAt = kInverseAt + kInverseBytes;
  static constexpr std::size_t kRecordsBytes = sizeof(typename Group::Record) * kElements;
  static constexpr std::size_t kFileSize = kRecordsAt + kRecordsBytes;

  // The four blocks' sizes, in file order.
  static constexpr std::array<std::size_t, 4> kBlockBytes = {kSpecialsBytes, kTableBytes,
                                                             kInverseBytes, kRecordsBytes};

  // Where row i of the multiplication table starts.
  static constexpr std::size_t row_at(std::size_t i) { return kTableAt + kIndex * kElements * i; }
};

// Turns items between the host's byte order and the file's, little-endian, in place
// (the change is its own inverse); nothing to do on little-endian hosts. An item is
// an int32, or a record: its complex entries (8-byte words) followed by int32
// fields.
inline void swap_bytes(std::span<std::byte> bytes, std::size_t width) {
  for (std::size_t k = 0; k + width <= bytes.size(); k += width) {
    for (std::size_t a = k, b = k + width - 1; a < b; ++a, --b) std::swap(bytes[a], bytes[b]);
  }
}
template <class T>
void file_byte_order(std::span<T> items) {
  if constexpr (std::endian::native == std::endian::little) return;
  for (T& item : items) {
    const auto bytes = std::as_writable_bytes(std::span(&item, 1));
    if constexpr (sizeof(T) == 4) {
      swap_bytes(bytes, 4);
    } else {
      swap_bytes(bytes.first(sizeof item.arr), 8);
      swap_bytes(bytes.subspan(sizeof item.arr), 4);
    }
  }
}

}  // namespace vantrel
