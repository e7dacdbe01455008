// Table files: everything a query object needs about one Clifford group.
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
// ends with four reserved zero bytes, ignored on reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "clifford1q/index_table.h"

namespace vantrel {

template <class Record>
struct TableFileData {
  std::vector<std::int32_t> special_operations;
  IndexTable table;
  std::vector<std::int32_t> inverse_table;
  std::vector<Record> elements;
};

enum class WriteStatus { kOk, kOpenFailed, kWriteFailed };

// Throws std::invalid_argument when path holds a NUL character, which the C library
// would take as its end.
void reject_nul(const std::string& path);

// A file created or truncated ("wb") and written in order. close() reports
// kOpenFailed when it could not be opened (writes then do nothing), and
// kWriteFailed after any failed write or a failing flush or close.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool is_open() const { return file_ != nullptr; }
  // Reserves the file's final size on the disk where the file system can, which
  // saves allocating it piece by piece while writing; a disk too small for it
  // counts as a failed write.
  void reserve(std::size_t size);
  void write(std::span<const std::byte> bytes);
  WriteStatus close();

 private:
  std::FILE* file_;
  bool ok_ = true;
};

// Reads path, which must be a regular file of exactly the blocks' total size, into
// the blocks in order. Throws "File not found." when it cannot be opened, and a
// runtime error naming both sizes when its size is wrong.
void read_blocks(const std::string& path, std::span<const std::span<std::byte>> blocks);

// Throws a runtime error quoting the first value of `values` outside 0..n-1.
void check_indices(const std::string& path, const char* what, std::span<const std::int32_t> values,
                   std::int32_t n);

// Throws a runtime error unless the word holds 1..W codes in 0..codes-1, followed
// by -1 in every remaining slot.
void check_word(const std::string& path, std::size_t element, std::span<const std::int32_t> buffer,
                std::int32_t size, std::int32_t codes);

// Reads and validates a table file of the group `Group` (its kSpecials, kElements,
// kGateCodes and Record): every index lies in 0..N-1 and every word is well formed,
// so a query object never reads outside its arrays.
template <class Group>
TableFileData<typename Group::Record> read_table_file(const std::string& path) {
  constexpr std::int32_t n = Group::kElements;
  TableFileData<typename Group::Record> data{
      std::vector<std::int32_t>(Group::kSpecials), IndexTable(std::size_t{n} * n),
      std::vector<std::int32_t>(n), std::vector<typename Group::Record>(n)};
  const std::span<std::byte> blocks[] = {std::as_writable_bytes(std::span(data.special_operations)),
                                         std::as_writable_bytes(std::span(data.table)),
                                         std::as_writable_bytes(std::span(data.inverse_table)),
                                         std::as_writable_bytes(std::span(data.elements))};
  read_blocks(path, blocks);
  check_indices(path, "special operation", data.special_operations, n);
  check_indices(path, "multiplication table", data.table, n);
  check_indices(path, "inverse table", data.inverse_table, n);
  for (std::size_t i = 0; i < data.elements.size(); ++i) {
    const auto& rec = data.elements[i];
    check_word(path, i, rec.buffer, rec.size, Group::kGateCodes);
  }
  return data;
}

}  // namespace vantrel
