#include "engine/multiplication_recipe.h"

#include <algorithm>
#include <cassert>

#include "engine/index_table.h"

namespace vantrel {
namespace {

// Rows kept for building later ones; a row can come from any of the last kRing - 1.
constexpr std::int32_t kRing = 1024;
// Rows handed out at a time; a divisor of kRing.
constexpr std::int32_t kRun = 64;

}  // namespace

void MultiplicationRecipe::plan(std::vector<std::vector<std::int32_t>> words) {
  const auto bad = [] { return std::runtime_error("Bad generation."); };
  const auto right = [&](std::int32_t g, std::int32_t x) { return right_[g * n_ + x]; };

  // Each element's parent and last gate, checked against right_g.
  std::map<std::vector<std::int32_t>, std::int32_t> by_word;
  for (std::int32_t e = 0; e < n_; ++e) by_word.emplace(words[e], e);
  for (std::int32_t e = 0; e < n_; ++e) {
    const auto& word = words[e];
    if (word.empty()) throw bad();
    const std::int32_t g = word.back();
    if (g < 0 || g >= gates_) throw bad();
    std::int32_t parent = -1;
    if (word.size() > 1) {
      auto it = by_word.find(std::vector<std::int32_t>(word.begin(), word.end() - 1));
      if (it == by_word.end()) throw bad();
      parent = it->second;
    }
    if (right(g, parent < 0 ? identity_ : parent) != e) throw bad();
    steps_.push_back({e, parent, g});
    checks_.push_back({parent < 0 ? identity_ : parent, g * n_});
  }
  right16_.assign(right_.begin(), right_.end());
  std::stable_sort(steps_.begin(), steps_.end(), [&](const Step& a, const Step& b) {
    return words[a.element].size() < words[b.element].size();
  });

  // The elements G_h and G_h⁻¹ of every gate, and their rows.
  std::vector<std::int32_t> gate(gates_), inverse_gate(gates_);
  for (std::int32_t h = 0; h < gates_; ++h) {
    gate[h] = right(h, identity_);
    const auto* first = right_.data() + h * n_;
    const auto* at = std::find(first, first + n_, identity_);
    if (at == first + n_) throw bad();
    inverse_gate[h] = static_cast<std::int32_t>(at - first);
    for (std::int32_t element : {gate[h], inverse_gate[h]}) {
      if (rows_.contains(element)) continue;
      std::vector<std::int32_t> row(n_);
      walk_words(element, row.data());
      rows_.emplace(element, std::vector<std::uint16_t>(row.begin(), row.end()));
    }
  }

  // M_e⁻¹ = G_g⁻¹·M_p⁻¹.
  inverse_.assign(n_, 0);
  for (const Step& s : steps_) {
    inverse_[s.element] =
        rows_.at(inverse_gate[s.gate])[s.parent < 0 ? identity_ : inverse_[s.parent]];
  }

  // Each row from the most recent row a gate links it to, if one is still kept.
  recipes_.assign(n_, {From::kWords, -1, -1});
  std::vector<const std::uint16_t*> gate_rows;
  for (std::int32_t h = 0; h < gates_; ++h) gate_rows.push_back(rows_.at(gate[h]).data());
  for (std::int32_t i = 0; i < n_; ++i) {
    Recipe& best = recipes_[i];
    for (std::int32_t h = 0; h < gates_; ++h) {
      const std::int32_t a = right(h, i), b = gate_rows[h][i];
      if (a < i && i - a < kRing && a > best.source) best = {From::kRight, a, inverse_gate[h]};
      if (b < i && i - b < kRing && b > best.source) best = {From::kLeft, b, inverse_gate[h]};
    }
  }
}

void MultiplicationRecipe::walk_words(std::int32_t i, std::int32_t* row) const {
  for (const Step& s : steps_) {
    row[s.element] = right_[s.gate * n_ + (s.parent < 0 ? i : row[s.parent])];
  }
}

std::int32_t MultiplicationRecipe::first_difference(std::int32_t i, const std::int32_t* table,
                                                    std::int32_t* expected) const {
  const std::int32_t* row = table + static_cast<std::size_t>(i) * n_;
  std::uint32_t diff = 0;
  const Recipe& r = recipes_[i];
  if (r.from != From::kWords) {
    // The recipe that made the row, from an earlier row that is already proven: one
    // look-up per entry, in a permutation or a row that stays in cache.
    const std::int32_t* source = table + static_cast<std::size_t>(r.source) * n_;
    const std::uint16_t* permutation = rows_.at(r.permutation).data();
    if (r.from == From::kRight) {
      for (std::int32_t j = 0; j < n_; ++j) diff |= row[j] ^ source[permutation[j]];
    } else {
      for (std::int32_t j = 0; j < n_; ++j) diff |= row[j] ^ permutation[source[j]];
    }
  } else {
    // Row i holds i at the identity and, at every other element, right_g of its own
    // entry at the element's parent: these fix every entry from i alone, shortest
    // words first. A wrong parent entry fails its own comparison; it is clamped only
    // so that it cannot index outside right_.
    const auto last = static_cast<std::uint32_t>(n_ - 1);
    diff = static_cast<std::uint32_t>(row[identity_] ^ i);
    for (std::int32_t e = 0; e < n_; ++e) {
      const Check c = checks_[e];
      const std::uint32_t x = std::min(static_cast<std::uint32_t>(row[c.parent]), last);
      diff |= static_cast<std::uint32_t>(row[e]) ^ right16_[c.offset + x];
    }
  }
  if (diff == 0) return n_;
  std::vector<std::int32_t> truth(n_);
  walk_words(i, truth.data());
  const auto j = std::mismatch(truth.begin(), truth.end(), row).first - truth.begin();
  *expected = truth[j];
  return static_cast<std::int32_t>(j);
}

void MultiplicationRecipe::produce(
    TableProgress progress, std::ostream& console,
    const std::function<void(std::span<const std::int32_t>)>& emit) const {
  const std::int32_t ring_rows = std::min(n_, kRing), run = std::min(n_, kRun);
  IndexTable ring(static_cast<std::size_t>(ring_rows) * n_);
  const auto row = [&](std::int32_t i) {
    return ring.data() + static_cast<std::size_t>(i % ring_rows) * n_;
  };
  const auto make_row = [&](std::int32_t i) {
    std::int32_t* out = row(i);
    const Recipe& r = recipes_[i];
    if (r.from == From::kWords) {
      walk_words(i, out);
    } else {
      const std::int32_t* source = row(r.source);
      const std::uint16_t* permutation = rows_.at(r.permutation).data();
      if (r.from == From::kRight) {
        for (std::int32_t j = 0; j < n_; ++j) out[j] = source[permutation[j]];
      } else {
        for (std::int32_t j = 0; j < n_; ++j) out[j] = permutation[source[j]];
      }
    }
    assert(out[inverse_[i]] == identity_);
  };
  // A run is handed out as soon as it is made, while it is still in cache. A row is
  // made from one among the ring_rows - 1 before it, all still in place.
  console << "Generating table: " << std::endl;
  const std::int32_t rows_per_block = std::max(n_ / progress.blocks, 1);
  for (std::int32_t first = 0; first < n_; first += run) {
    const std::int32_t end = std::min(n_, first + run);
    for (std::int32_t i = first; i < end; ++i) make_row(i);
    emit({row(first), static_cast<std::size_t>(end - first) * n_});
    for (std::int32_t i = first; i < end; ++i) {
      // The last block takes the rows left over by the division.
      const int block = std::min(i / rows_per_block, progress.blocks - 1);
      if (block + 1 < progress.blocks ? (i + 1) % rows_per_block == 0 : i + 1 == n_) {
        console << progress.label << block << " finished.\n";
      }
    }
  }
  for (int b = std::min(n_, progress.blocks); b < progress.blocks; ++b) {
    console << progress.label << b << " finished.\n";  // more blocks than rows
  }
}

}  // namespace vantrel
