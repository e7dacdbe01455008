// The ordered group map and the closure that enumerates a Clifford group from its
// gates, for both groups.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/matrix.h"

namespace vantrel {

using Word = std::vector<std::int32_t>;

// Group elements keyed by their phase-normalised matrix, in matrix_less order, each
// with the generator word that first produced it. The position of a key in that
// order is the element's index; it is kept beside the key, so a look-up is one hash
// probe rather than a walk from the first entry.
template <int D>
class GroupMap {
 public:
  using Key = Matrix<D>;
  using Positions = std::unordered_map<Key, std::int32_t, MatrixHash<D>, MatrixEqual<D>>;
  struct Entry {
    Key key;
    Word word;
  };

  const std::vector<Entry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }

  // The element index of m, or size() when m is not a key.
  std::int32_t index_of(const Key& m) const {
    auto it = positions_.find(m);
    return it == positions_.end() ? static_cast<std::int32_t>(size()) : it->second;
  }

  // right(g)[x] is the index of M_x·G_g for each gate g that the enumeration that
  // made this map multiplied by; empty for other gates and other maps.
  std::span<const std::int32_t> right(std::size_t code) const {
    if (code >= right_.size()) return {};
    return right_[code];
  }

  // Takes over entries already in key order, each key's position in `positions`,
  // and the right-multiplication permutations on those positions.
  void assign_sorted(std::vector<Entry> entries, Positions positions,
                     std::vector<std::vector<std::int32_t>> right) {
    entries_ = std::move(entries);
    positions_ = std::move(positions);
    right_ = std::move(right);
  }

 private:
  std::vector<Entry> entries_;
  Positions positions_;
  std::vector<std::vector<std::int32_t>> right_;
};

// The closure of a set of seeds under right multiplication by some gates, with the
// index of every product: what the enumeration's passes run on.
template <int D>
struct Closure {
  std::vector<Matrix<D>> keys;                   // each element once
  typename GroupMap<D>::Positions found;         // key -> its index in keys
  std::vector<std::vector<std::int32_t>> right;  // right[g][x]: index of M_x·G_g
};

// Collects the closure of the seeds (gate codes) under the gates `codes`, numbered in
// order of discovery. right[g] is empty for a gate not in `codes`. Each product
// matrix is formed once.
template <int D>
Closure<D> close_under(std::span<const Matrix<D>> gates, std::span<const std::int32_t> seeds,
                       std::span<const std::int32_t> codes) {
  Closure<D> c;
  const auto add = [&](const Matrix<D>& key) {
    auto [it, inserted] = c.found.try_emplace(key, static_cast<std::int32_t>(c.keys.size()));
    if (inserted) c.keys.push_back(key);
    return it->second;
  };
  for (std::int32_t code : seeds) add(gates[code]);
  c.right.resize(gates.size());
  for (std::size_t x = 0; x < c.keys.size(); ++x) {
    for (std::int32_t code : codes) {
      const Matrix<D> p = normalize_phase<D>(multiply<D>(c.keys[x], gates[code]));
      c.right[code].push_back(add(p));
    }
  }
  return c;
}

// Renumbers the closure in key order (matrix_less), so that key order is plain
// index order.
template <int D>
void renumber_in_key_order(Closure<D>& c) {
  const auto n = static_cast<std::int32_t>(c.keys.size());
  std::vector<std::int32_t> order(n), rank(n);
  for (std::int32_t x = 0; x < n; ++x) order[x] = x;
  std::sort(order.begin(), order.end(),
            [&](std::int32_t a, std::int32_t b) { return matrix_less<D>(c.keys[a], c.keys[b]); });
  for (std::int32_t r = 0; r < n; ++r) rank[order[r]] = r;
  std::vector<Matrix<D>> keys(n);
  for (std::int32_t r = 0; r < n; ++r) keys[r] = c.keys[order[r]];
  c.keys = std::move(keys);
  for (auto& [key, id] : c.found) id = rank[id];
  for (std::vector<std::int32_t>& perm : c.right) {
    if (perm.empty()) continue;
    std::vector<std::int32_t> renamed(n);
    for (std::int32_t x = 0; x < n; ++x) renamed[rank[x]] = rank[perm[x]];
    perm = std::move(renamed);
  }
}

// The passes on element indices, with right[g] the right-multiplication
// permutation of each gate g of the phases. words[x] is element x's word, empty while
// x is not reached; it comes in holding the seeds' words.
inline void run_passes(std::span<const std::vector<std::int32_t>> right, std::vector<Word>& words,
                       std::span<const std::vector<std::int32_t>> phases, std::ostream& progress) {
  const std::size_t n = words.size();
  std::size_t size =
      std::count_if(words.begin(), words.end(), [](const Word& w) { return !w.empty(); });
  for (const std::vector<std::int32_t>& phase : phases) {
    for (bool more = true; more;) {
      more = false;
      std::vector<Word> fresh(n);
      for (std::size_t r = 0; r < n; ++r) {
        if (words[r].empty()) continue;
        for (std::int32_t code : phase) {
          const std::int32_t p = right[code][r];
          if (!words[p].empty()) continue;
          more = true;
          if (fresh[p].empty()) {
            fresh[p].reserve(words[r].size() + 1);
            fresh[p] = words[r];
            fresh[p].push_back(code);
          }
        }
      }
      for (std::size_t r = 0; r < n; ++r) {
        if (!fresh[r].empty()) words[r] = std::move(fresh[r]), ++size;
      }
      progress << "Group size = " << size << "\n";
    }
  }
}

// Enumerates a group: the seeds (gate codes, each with the one-code word) first, then
// one phase per gate list. A phase repeats passes until a pass finds nothing new.
// A pass multiplies every element, in key order, on the right by each gate of the
// list in turn; products not yet in the map are added when the pass ends, with the
// element's word plus the gate (the first product found wins). So an element gets a
// word of least length under the phase order. Each pass prints "Group size = " to
// `progress`.
//
// The passes only ask which element a product is, so the matrices are multiplied
// once, in the closure, and the passes run on its indices. The phases must reach the
// whole closure (they do for both groups); std::logic_error otherwise.
template <int D>
GroupMap<D> enumerate_group(std::span<const Matrix<D>> gates, std::span<const std::int32_t> seeds,
                            std::span<const std::vector<std::int32_t>> phases,
                            std::ostream& progress) {
  std::vector<std::int32_t> codes;  // every gate some phase multiplies by
  for (const auto& phase : phases) codes.insert(codes.end(), phase.begin(), phase.end());
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());

  Closure<D> closure = close_under<D>(gates, seeds, codes);
  renumber_in_key_order<D>(closure);
  std::vector<Word> words(closure.keys.size());
  for (std::int32_t code : seeds) {
    Word& w = words[closure.found.at(gates[code])];
    if (w.empty()) w = {code};
  }
  run_passes(closure.right, words, phases, progress);

  std::vector<typename GroupMap<D>::Entry> entries;
  entries.reserve(words.size());
  for (std::size_t x = 0; x < words.size(); ++x) {
    if (words[x].empty()) throw std::logic_error("the passes did not reach the whole closure");
    entries.push_back({closure.keys[x], std::move(words[x])});
  }
  GroupMap<D> group;
  group.assign_sorted(std::move(entries), std::move(closure.found), std::move(closure.right));
  return group;
}

// One record per map entry, in index order: the key, the word in the first `size`
// slots and -1 in the others. Every byte not set is zero. Throws "more than W" when a
// word does not fit the record's W slots.
template <class Record, int D>
std::vector<Record> group_records(const GroupMap<D>& group) {
  constexpr std::size_t kSlots = std::tuple_size_v<decltype(Record::buffer)>;
  std::vector<Record> records(group.size());
  for (std::size_t i = 0; i < group.size(); ++i) {
    const auto& [key, word] = group.entries()[i];
    Record& rec = records[i];
    rec.arr = key;
    rec.buffer.fill(-1);
    if (word.size() > kSlots) throw std::runtime_error("more than " + std::to_string(kSlots));
    std::copy(word.begin(), word.end(), rec.buffer.begin());
    rec.size = static_cast<std::int32_t>(word.size());
  }
  return records;
}

}  // namespace vantrel
