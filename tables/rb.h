// Query objects: a loaded table file answering products, inverses, matrices and
// words by element index, and turning drawn element sequences into gate sequences.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tables/table_reader.h"

namespace vantrel {

template <class Group>
class RB {
 public:
  using Record = typename Group::Record;
  using Sequences = std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>>;

  const std::int32_t N = Group::kElements;

  // Replaces all arrays with the file's, or throws and leaves the object as it was:
  // "File not found." for a path that cannot be opened, and a runtime error for a
  // file of the wrong size or with values outside their ranges.
  bool load_from_file(const std::string& path) {
    data_ = read_table_file<Group>(path);
    right_ = ExpectedFile<Group>::get().recipe.right().data();
    loaded_ = true;
    return true;
  }

  // Every operation below but get_special_operations_str throws "Load data before
  // using RB classes!" until a load has succeeded, and a runtime error for an
  // element index outside 0..N-1.

  std::int32_t get_multiplication_table_elem(std::int32_t row, std::int32_t col) const {
    check_loaded();
    return data_.table[static_cast<std::size_t>(check_index(row)) * N + check_index(col)];
  }
  std::int32_t get_inverse(std::int32_t index) const {
    check_loaded();
    return data_.inverse_table[check_index(index)];
  }
  const std::vector<Record>& get_group_elements() const { return checked().elements; }
  const IndexTable& get_table() const { return checked().table; }
  const std::vector<std::int32_t>& get_inverse_table() const { return checked().inverse_table; }
  const auto& get_matrix(std::int32_t index) const { return element(index).arr; }
  const auto& get_generator(std::int32_t index) const { return element(index).buffer; }
  std::int32_t get_generator_size(std::int32_t index) const { return element(index).size; }
  const std::vector<std::int32_t>& get_special_operations() const {
    return checked().special_operations;
  }
  std::vector<std::string> get_special_operations_str() const {
    return {Group::kSpecialLabels.begin(), Group::kSpecialLabels.end()};
  }

  // The words of the sequence's elements, concatenated, and the stored word of the
  // inverse of their product (first element leftmost). Applied one after the other,
  // the two gate sequences multiply to the identity up to a global phase.
  //
  // The product is the table chain, taken through the words instead: M_a·M_e is M_a
  // times the gates of e's word in turn, and each gate is one step of its
  // right-multiplication permutation. Those stay in cache, where a fresh sequence
  // would make every table look-up a miss.
  Sequences get_full_sequence_and_inverse_sequence(
      const std::vector<std::int32_t>& sequence) const {
    check_loaded();
    if (sequence.empty()) throw std::runtime_error("the element sequence is empty");
    Sequences out;
    out.first.reserve(sequence.size() * 8);
    std::int32_t product = -1;
    for (std::int32_t e : sequence) {
      const Record& rec = element(e);
      const auto word = std::span(rec.buffer).first(static_cast<std::size_t>(rec.size));
      if (product < 0) {
        product = e;
      } else {
        for (std::int32_t g : word) product = right_[g * N + product];
      }
      out.first.insert(out.first.end(), word.begin(), word.end());
    }
    const Record& inverse = data_.elements[data_.inverse_table[product]];
    out.second.assign(inverse.buffer.begin(), inverse.buffer.begin() + inverse.size);
    return out;
  }

 private:
  void check_loaded() const {
    if (!loaded_) throw std::runtime_error("Load data before using RB classes!");
  }
  const TableFileData<Record>& checked() const {
    check_loaded();
    return data_;
  }
  std::int32_t check_index(std::int32_t index) const {
    if (index < 0 || index >= N) {
      throw std::runtime_error("element index " + std::to_string(index) + " is outside 0.." +
                               std::to_string(N - 1));
    }
    return index;
  }
  const Record& element(std::int32_t index) const {
    check_loaded();
    return data_.elements[check_index(index)];
  }

  TableFileData<Record> data_;
  // The group's, not the file's: right_[g·N + x] is the index of M_x·G_g for every
  // gate code g, kept for the life of the process once a file was loaded.
  const std::uint16_t* right_ = nullptr;
  bool loaded_ = false;
};

}  // namespace vantrel
