// How the rows of an enumerated group's multiplication table follow from one
// another: the recipe makes the table row by row without a matrix product per entry,
// and proves a table read back, row by row. It never holds the table itself.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <span>
#include <stdexcept>
#include <vector>

#include "engine/group.h"

namespace vantrel {

// Progress lines: the rows are split into `blocks` runs, one line each.
struct TableProgress {
  const char* label;
  int blocks;
};

// Entry i·n + j is the index of M_i·M_j.
//
// Everything follows from the permutations right_g (x to the index of M_x·G_g),
// which the enumeration found while closing the group, and from the words: element
// e with word w + [g] is M_p·G_g up to phase, p having word w (the identity when w
// is empty). Hence
//   - row i at e is right_g of row i at p (the "word walk": a whole row from i alone);
//   - if M_i·G_h is M_a, then M_i is M_a·G_h⁻¹ and row i is row a permuted by the row
//     of G_h⁻¹; if G_h·M_i is M_b, row i is the row of G_h⁻¹ applied to row b.
// Rows are produced in index order; each comes from a recent row by one of the last
// two rules where some gate links them, otherwise by the word walk. The inverse
// table follows from the words too: M_e⁻¹ is G_g⁻¹·M_p⁻¹.
class MultiplicationRecipe {
 public:
  // Checks every relation the rows are made from ("Bad generation." otherwise).
  // Products are formed only for gates the enumeration did not multiply by.
  template <int D, class Record>
  MultiplicationRecipe(const GroupMap<D>& group, std::span<const Record> records,
                       std::span<const Matrix<D>> gates);

  std::int32_t size() const { return n_; }
  // Entry i: the index of the inverse of element i.
  const std::vector<std::int32_t>& inverse() const { return inverse_; }
  // Entry g·n + x: the index of M_x·G_g, for every gate code g, in 16 bits.
  const std::vector<std::uint16_t>& right() const { return right16_; }

  // The first column at which row i of `table` (row-major, n entries a row) differs
  // from row i, with the entry row i holds there in *expected, or n when it is row
  // i. Rows before i must already be proven equal: most rows are checked against
  // the earlier row they are made from, with one look-up per entry.
  std::int32_t first_difference(std::int32_t i, const std::int32_t* table,
                                std::int32_t* expected) const;

  // Prints "Generating table: " and the progress lines to `console`, and hands `emit`
  // the table in order, a run of whole rows at a time, each run just after it is made.
  void produce(TableProgress progress, std::ostream& console,
               const std::function<void(std::span<const std::int32_t>)>& emit) const;

 private:
  struct Step {
    std::int32_t element, parent, gate;  // parent -1: the row's own element
  };
  enum class From { kWords, kRight, kLeft };
  struct Recipe {
    From from;
    std::int32_t source;       // an earlier row
    std::int32_t permutation;  // the element G_h⁻¹, whose row permutes it
  };

  // The rest of the construction, on indices only.
  void plan(std::vector<std::vector<std::int32_t>> words);
  void walk_words(std::int32_t i, std::int32_t* row) const;

  std::int32_t n_ = 0, identity_ = 0, gates_ = 0;
  std::vector<std::int32_t> right_;  // right_[g·n + x]
  std::vector<Step> steps_;          // by word length, so parents come first
  // For comparing rows: by element, its parent (the identity for a one-code word,
  // since row i holds i there) and g·n for its last gate g, and right_ in 16 bits,
  // so that both stay in cache.
  struct Check {
    std::int32_t parent, offset;
  };
  std::vector<Check> checks_;
  std::vector<std::uint16_t> right16_;
  // The rows of the gates and their inverses, in 16 bits to stay in cache.
  std::map<std::int32_t, std::vector<std::uint16_t>> rows_;
  std::vector<Recipe> recipes_;
  std::vector<std::int32_t> inverse_;
};

template <int D, class Record>
MultiplicationRecipe::MultiplicationRecipe(const GroupMap<D>& group,
                                           std::span<const Record> records,
                                           std::span<const Matrix<D>> gates)
    : n_(static_cast<std::int32_t>(records.size())),
      gates_(static_cast<std::int32_t>(gates.size())) {
  if (n_ > 65536) throw std::length_error("group too large for 16-bit permutations");
  identity_ = group.index_of(identity_matrix<D>());
  if (identity_ == n_) throw std::runtime_error("Bad generation.");
  right_.reserve(gates.size() * n_);
  for (std::size_t g = 0; g < gates.size(); ++g) {
    const auto known = group.right(g);
    if (known.size() == static_cast<std::size_t>(n_)) {
      right_.insert(right_.end(), known.begin(), known.end());
      continue;
    }
    for (std::int32_t x = 0; x < n_; ++x) {
      const Matrix<D> p = normalize_phase<D>(multiply<D>(records[x].arr, gates[g]));
      const std::int32_t d = group.index_of(p);
      if (!(d < n_ && approx_equal<D>(normalize_phase<D>(records[d].arr), p))) {
        throw std::runtime_error("Bad generation.");
      }
      right_.push_back(d);
    }
  }
  std::vector<std::vector<std::int32_t>> words;
  for (const Record& rec : records) {
    words.emplace_back(rec.buffer.begin(), rec.buffer.begin() + rec.size);
  }
  plan(std::move(words));
}

}  // namespace vantrel
