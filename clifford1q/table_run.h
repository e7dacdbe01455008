// The generation run shared by both groups: enumerate, build the multiplication and
// inverse tables, write the table file and the readable listing, report on stdout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "clifford1q/group.h"
#include "tables/table_file.h"

namespace vantrel {

// "[c1, c2, ...]", "[]" for an empty word.
std::string format_word(std::span<const std::int32_t> word);

// Entry i is the smallest column of row i of the n·n table holding `identity`.
// Throws "Cannot find in line" for a row without it.
template <class Index>
std::vector<std::int32_t> build_inverse_table(std::span<const Index> table, std::int32_t n,
                                              std::int32_t identity) {
  std::vector<std::int32_t> inverse(n);
  for (std::int32_t i = 0; i < n; ++i) {
    const auto row = table.subspan(static_cast<std::size_t>(i) * n, n);
    const auto it = std::find(row.begin(), row.end(), identity);
    if (it == row.end()) throw std::runtime_error("Cannot find in line");
    inverse[i] = static_cast<std::int32_t>(it - row.begin());
  }
  return inverse;
}

// Writes one "%5d : %s\n" line per word (its index and the word) to `name`. Prints
// "File not found." when the file cannot be opened and "Cannot write file: " when
// writing fails; returns 0 on success, -1 otherwise.
int write_listing(const char* name, std::span<const Word> words);

// Table progress: the rows are split into `blocks` runs of rows, one line each.
struct TableProgress {
  const char* label;
  int blocks;
};

// The n·n multiplication table: entry i·n + j is the index of M_i·M_j.
//
// No product of two elements is formed. Everything follows from the permutations
// right_g (x to the index of M_x·G_g), which the enumeration found while closing
// the group (computed here, with checks, for gates it did not use), and from the
// words: element e with word w + [g] is M_p·G_g up to phase, p having word w (the
// identity when w is empty). So row i at e is right_g of row i at p, which fills
// the rows of the gates themselves; and row e is row p permuted by the row of G_g,
// entry j being row p at (row G_g at j). Rows are filled in order of word length,
// so every parent is ready before its children, and siblings follow each other so
// their parent's row stays in cache. A progress line is printed once all rows of
// its block, and of the blocks before it, are done.
template <int D, class Record>
CompactTable build_table(const GroupMap<D>& group, std::span<const Record> records,
                         std::span<const Matrix<D>> gates, TableProgress progress) {
  const auto n = static_cast<std::int32_t>(records.size());
  if (n > 65536) throw std::length_error("group too large for 16-bit table entries");
  const auto bad = [] { return std::runtime_error("Bad generation."); };

  std::vector<std::vector<std::int32_t>> right(gates.size());
  for (std::size_t g = 0; g < gates.size(); ++g) {
    const auto known = group.right(g);
    if (known.size() == static_cast<std::size_t>(n)) {
      right[g].assign(known.begin(), known.end());
      continue;
    }
    for (std::int32_t x = 0; x < n; ++x) {
      const Matrix<D> p = normalize_phase<D>(multiply<D>(records[x].arr, gates[g]));
      const std::int32_t d = group.index_of(p);
      if (!(d < n && approx_equal<D>(normalize_phase<D>(records[d].arr), p))) throw bad();
      right[g].push_back(d);
    }
  }

  // For every element: its parent (-1 for one-code words) and its last gate.
  std::map<std::vector<std::int32_t>, std::int32_t> by_word;
  for (std::int32_t e = 0; e < n; ++e) {
    const auto& rec = records[e];
    by_word.emplace(std::vector<std::int32_t>(rec.buffer.begin(), rec.buffer.begin() + rec.size),
                    e);
  }
  const std::int32_t identity = group.index_of(identity_matrix<D>());
  if (identity == n) throw bad();
  struct Step {
    std::int32_t element, parent, gate;
  };
  std::vector<Step> steps;
  for (const auto& [word, e] : by_word) {
    const std::int32_t g = word.back();
    if (g < 0 || static_cast<std::size_t>(g) >= gates.size()) throw bad();
    std::int32_t parent = -1;
    if (word.size() > 1) {
      auto it = by_word.find(std::vector<std::int32_t>(word.begin(), word.end() - 1));
      if (it == by_word.end()) throw bad();
      parent = it->second;
    }
    if (right[g][parent < 0 ? identity : parent] != e) throw bad();
    steps.push_back({e, parent, g});
  }
  std::stable_sort(steps.begin(), steps.end(), [&](const Step& a, const Step& b) {
    const auto sa = records[a.element].size, sb = records[b.element].size;
    return sa != sb ? sa < sb : a.parent < b.parent;
  });

  // The rows of the gates: gate_row[g·n + j] is the index of G_g·M_j.
  std::vector<CompactIndex> gate_row(gates.size() * n);
  for (std::size_t g = 0; g < gates.size(); ++g) {
    CompactIndex* out = gate_row.data() + g * n;
    const std::int32_t row_element = right[g][identity];
    for (const Step& s : steps) {
      const std::int32_t at = s.parent < 0 ? row_element : out[s.parent];
      out[s.element] = static_cast<CompactIndex>(right[s.gate][at]);
    }
  }

  CompactTable table(static_cast<std::size_t>(n) * n);
  const auto row = [&](std::int32_t i) { return table.data() + static_cast<std::size_t>(i) * n; };
  std::cout << "Generating table: " << std::endl;
  const std::int32_t rows_per_block = std::max(n / progress.blocks, 1);
  const auto block_of = [&](std::int32_t i) {
    return std::min(i / rows_per_block, progress.blocks - 1);
  };
  std::vector<std::int32_t> rows_left(progress.blocks, 0);
  for (std::int32_t i = 0; i < n; ++i) ++rows_left[block_of(i)];
  int printed = 0;
  for (const Step& s : steps) {
    CompactIndex* out = row(s.element);
    const CompactIndex* by_gate = gate_row.data() + static_cast<std::size_t>(s.gate) * n;
    if (s.parent < 0) {
      std::copy(by_gate, by_gate + n, out);
    } else {
      const CompactIndex* from = row(s.parent);
      for (std::int32_t j = 0; j < n; ++j) out[j] = from[by_gate[j]];
    }
    --rows_left[block_of(s.element)];
    for (; printed < progress.blocks && rows_left[printed] == 0; ++printed) {
      std::cout << progress.label << printed << " finished.\n";
    }
  }
  return table;
}

// One group's run. `Group` supplies kDim, Record, kProgress, kListingName and
// enumerate(), gates() (normalised, by code) and special_keys().
// Returns 0 when the table file and the listing were written, -1 otherwise; throws
// for a path with a NUL character before doing anything.
template <class Group>
int generate_table(const std::string& path) {
  reject_nul(path);
  using Record = typename Group::Record;
  WriteStatus status;
  {
    const auto group = Group::enumerate();
    const std::vector<Record> records = group_records<Record>(group);
    std::vector<std::int32_t> special;
    for (const auto& key : Group::special_keys()) special.push_back(group.index_of(key));
    const CompactTable table =
        build_table<Group::kDim, Record>(group, records, Group::gates(), Group::kProgress);
    const auto n = static_cast<std::int32_t>(records.size());
    const std::vector<std::int32_t> inverse =
        build_inverse_table<CompactIndex>(table, n, special[0]);
    status = write_table_file<Record>(path, special, table, inverse, records);
  }
  switch (status) {
    case WriteStatus::kOk:
      break;
    case WriteStatus::kOpenFailed:
      std::cout << "Cannot open file: " << path << std::endl;
      std::cout << "Generate Failed." << std::endl;
      return -1;
    case WriteStatus::kWriteFailed:
      std::cout << "Cannot write file: " << path << std::endl;
      std::cout << "Generate Failed." << std::endl;
      return -1;
  }

  // The listing comes from an enumeration of its own.
  const auto group = Group::enumerate();
  std::vector<Word> words;
  for (const auto& entry : group.entries()) words.push_back(entry.word);
  if (write_listing(Group::kListingName, words) != 0) {
    std::cout << "Generate Failed." << std::endl;
    return -1;
  }
  std::cout << "Generate End" << std::endl;
  return 0;
}

}  // namespace vantrel
