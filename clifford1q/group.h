// The ordered group map and the closure that enumerates a Clifford group from its
// gates, shared by the one- and two-qubit sides.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "clifford1q/matrix.h"

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
  struct Entry {
    Key key;
    Word word;
  };

  const std::vector<Entry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  bool contains(const Key& m) const { return positions_.contains(m); }

  // The element index of m, or size() when m is not a key.
  std::int32_t index_of(const Key& m) const {
    auto it = positions_.find(m);
    return it == positions_.end() ? static_cast<std::int32_t>(size()) : it->second;
  }

  // Adds the entries whose keys are not yet present. Among equal keys the earliest
  // entry of `fresh` wins; an entry already present keeps its word.
  void insert(std::vector<Entry> fresh) {
    std::vector<Entry> added;
    for (Entry& e : fresh) {
      if (positions_.emplace(e.key, 0).second) added.push_back(std::move(e));
    }
    auto by_key = [](const Entry& a, const Entry& b) { return matrix_less<D>(a.key, b.key); };
    std::sort(added.begin(), added.end(), by_key);
    std::vector<Entry> merged;
    merged.reserve(entries_.size() + added.size());
    std::merge(std::make_move_iterator(entries_.begin()), std::make_move_iterator(entries_.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged), by_key);
    entries_ = std::move(merged);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      positions_.find(entries_[i].key)->second = static_cast<std::int32_t>(i);
    }
  }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<Key, std::int32_t, MatrixHash<D>, MatrixEqual<D>> positions_;
};

// Enumerates a group: the seeds (gate codes, each with the one-code word) first, then
// one phase per gate list. A phase repeats passes until a pass finds nothing new.
// A pass multiplies every element, in key order, on the right by each gate of the
// list in turn; products not yet in the map are added when the pass ends, with the
// element's word plus the gate (the first product found wins). So an element gets a
// word of least length under the phase order. Each pass prints "Group size = ".
template <int D>
GroupMap<D> enumerate_group(std::span<const Matrix<D>> gates, std::span<const std::int32_t> seeds,
                            std::span<const std::vector<std::int32_t>> phases) {
  using Map = GroupMap<D>;
  Map group;
  std::vector<typename Map::Entry> seed_entries;
  for (std::int32_t code : seeds) seed_entries.push_back({gates[code], {code}});
  group.insert(std::move(seed_entries));

  for (const std::vector<std::int32_t>& phase : phases) {
    for (bool found = true; found;) {
      found = false;
      std::unordered_map<Matrix<D>, Word, MatrixHash<D>, MatrixEqual<D>> fresh;
      for (const typename Map::Entry& e : group.entries()) {
        for (std::int32_t code : phase) {
          Matrix<D> p = normalize_phase<D>(multiply<D>(e.key, gates[code]));
          if (group.contains(p)) continue;
          found = true;
          auto [it, inserted] = fresh.try_emplace(p);
          if (inserted) {
            it->second.reserve(e.word.size() + 1);
            it->second = e.word;
            it->second.push_back(code);
          }
        }
      }
      std::vector<typename Map::Entry> added;
      added.reserve(fresh.size());
      for (auto& [key, word] : fresh) added.push_back({key, std::move(word)});
      group.insert(std::move(added));
      std::cout << "Group size = " << group.size() << "\n";
    }
  }
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
