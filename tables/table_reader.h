// Reading a table file back (its format: table_layout.h). A file is loaded only if
// it is exactly what generation writes, the reserved bytes apart: the reader
// enumerates the group again (without printing) and compares every block with it.
// Blocks 1, 3 and 4 are compared entry by entry. Block 2 is proven row by row, in
// order. Through the words: entry (i, e) of a row must be right_g of the row's entry
// at e's parent, where e's word is the parent's plus g (at the identity, which must
// hold i, for a one-code word), and right_g, the index of M_x·G_g, comes from the
// enumeration's own products; these relations fix every entry of a row from i
// alone. Most rows are instead compared with the earlier, already proven row that
// generation makes them from: M_i = M_a·G_h⁻¹ gives row i as row a permuted by the
// row of G_h⁻¹, and G_h·M_i = M_b gives it as that row applied to row b. Either way
// a row that passes is the row generation writes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "engine/group.h"
#include "engine/index_table.h"
#include "engine/multiplication_recipe.h"
#include "tables/listing.h"
#include "tables/table_layout.h"

namespace vantrel {

// The four blocks of a table file, in the host's byte order.
template <class Record>
struct TableFileData {
  std::vector<std::int32_t> special_operations;
  IndexTable table;
  std::vector<std::int32_t> inverse_table;
  std::vector<Record> elements;
};

// A table file opened for reading, after it was found to be a regular file of the
// expected size; nothing large is allocated before. Opening never blocks.
class InputFile {
 public:
  // Throws "File not found." when path cannot be opened, and a runtime error naming
  // the path when it is not a regular file or its size is not `size`.
  InputFile(const std::string& path, std::size_t size);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads items at byte offset `offset`, turning them into the host's byte order.
  template <class T>
  void read(std::size_t offset, std::span<T> items) {
    read_bytes(offset, std::as_writable_bytes(items));
    file_byte_order(items);
  }
  // Throws "table file PATH is corrupt: WHAT".
  [[noreturn]] void corrupt(const std::string& what) const;
  // Throws unless `values` equal `expected`, quoting the first entry that does not:
  // "WHAT entry K is V, outside 0..n-1" or "..., expected W". Entries are numbered
  // from `first`.
  void compare(const char* what, std::span<const std::int32_t> values,
               std::span<const std::int32_t> expected, std::int32_t n, std::size_t first = 0) const;
  // Throws unless the word holds 1..W codes in 0..codes-1 and -1 in every other slot.
  void check_word(std::size_t element, std::span<const std::int32_t> buffer, std::int32_t size,
                  std::int32_t codes) const;
  // Throws unless `matrix` equals `expected` bit for bit.
  void compare_matrix(std::size_t element, std::span<const Complex> matrix,
                      std::span<const Complex> expected) const;

 private:
  void read_bytes(std::size_t offset, std::span<std::byte> bytes);

  std::string path_;
  int fd_ = -1;
};

// What a file of the group `Group` must hold besides the table rows, and the recipe
// that proves those: made by enumerating the group quietly, once per process, on the
// first load (every file of a group holds the same), and kept for the loads that
// follow and for the query objects' right-multiplication permutations.
template <class Group>
struct ExpectedFile {
  using Record = typename Group::Record;
  std::vector<std::int32_t> special;
  std::vector<Record> records;
  MultiplicationRecipe recipe;

  static const ExpectedFile& get() {
    static const ExpectedFile expected = [] {
      std::ostream quiet(nullptr);
      const auto group = Group::enumerate(quiet);
      std::vector<std::int32_t> special;
      for (const auto& key : Group::special_keys()) special.push_back(group.index_of(key));
      std::vector<Record> records = group_records<Record>(group);
      MultiplicationRecipe recipe(group, std::span<const Record>(records), Group::gates());
      return ExpectedFile{std::move(special), std::move(records), std::move(recipe)};
    }();
    return expected;
  }
};

// Reads a table file of the group `Group` (its kSpecials, kElements, kGateCodes,
// Record, enumerate, gates and special_keys) and proves it is the table generation
// writes; throws a runtime error naming the block and entry otherwise.
template <class Group>
TableFileData<typename Group::Record> read_table_file(const std::string& path) {
  using Record = typename Group::Record;
  using Layout = TableLayout<Group>;
  constexpr std::size_t n = Group::kElements;
  InputFile file(path, Layout::kFileSize);
  TableFileData<Record> data;
  data.special_operations.resize(Group::kSpecials);
  file.read(Layout::kSpecialsAt, std::span(data.special_operations));
  data.elements.resize(n);
  file.read(Layout::kRecordsAt, std::span(data.elements));
  data.inverse_table.resize(n);
  file.read(Layout::kInverseAt, std::span(data.inverse_table));

  const ExpectedFile<Group>& reference = ExpectedFile<Group>::get();
  const std::vector<Record>& records = reference.records;
  const MultiplicationRecipe& recipe = reference.recipe;
  file.compare("special operation", data.special_operations, reference.special, n);
  for (std::size_t i = 0; i < n; ++i) {
    const Record &got = data.elements[i], &want = records[i];
    file.check_word(i, got.buffer, got.size, Group::kGateCodes);
    if (got.size != want.size || got.buffer != want.buffer) {
      file.corrupt("element " + std::to_string(i) + " has word " +
                   format_word({got.buffer.data(), static_cast<std::size_t>(got.size)}) +
                   ", expected " +
                   format_word({want.buffer.data(), static_cast<std::size_t>(want.size)}));
    }
    file.compare_matrix(i, got.arr, want.arr);
  }
  file.compare("inverse table", data.inverse_table, recipe.inverse(), n);

  // Only a file whose other blocks are right costs the table's memory. The table is
  // read a run of rows at a time, and each run proven while it is still in cache.
  constexpr std::size_t kRows = 16;
  data.table = IndexTable(n * n);
  for (std::size_t first = 0; first < n; first += kRows) {
    const std::size_t end = std::min(n, first + kRows);
    file.read(Layout::row_at(first), std::span(data.table.data() + first * n, (end - first) * n));
    for (std::size_t i = first; i < end; ++i) {
      std::int32_t expected;
      const auto j = static_cast<std::size_t>(
          recipe.first_difference(static_cast<std::int32_t>(i), data.table.data(), &expected));
      if (j < n) {
        file.compare("multiplication table", {data.table.data() + i * n + j, 1}, {&expected, 1}, n,
                     i * n + j);
      }
    }
  }
  return data;
}

}  // namespace vantrel
