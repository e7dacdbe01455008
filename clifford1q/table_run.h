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
std::vector<std::int32_t> build_inverse_table(std::span<const std::int32_t> table, std::int32_t n,
                                              std::int32_t identity);

// Writes one "%5d : %s\n" line per record (its index and word) to `name`. Prints
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
// Only the products M_x·G_g with the gates are formed (each checked against the
// element found, "Bad generation." otherwise). The rest follows from the words:
// element e with word w + [g] is M_p·G_g up to phase, where p has word w (or is the
// row element itself when w is empty), so row i reads right_g[row i at p] at e.
// Filling a row in order of word length makes every p ready before its e.
template <int D, class Record>
std::vector<std::int32_t> build_table(const GroupMap<D>& group, std::span<const Record> records,
                                      std::span<const Matrix<D>> gates, TableProgress progress) {
  const auto n = static_cast<std::int32_t>(records.size());
  const auto bad = [] { return std::runtime_error("Bad generation."); };

  // right[g·n + x]: the index of M_x·G_g.
  std::vector<std::int32_t> right(gates.size() * n);
  for (std::size_t g = 0; g < gates.size(); ++g) {
    for (std::int32_t x = 0; x < n; ++x) {
      const Matrix<D> p = normalize_phase<D>(multiply<D>(records[x].arr, gates[g]));
      const std::int32_t d = group.index_of(p);
      if (!(d < n && approx_equal<D>(normalize_phase<D>(records[d].arr), p))) throw bad();
      right[g * n + x] = d;
    }
  }

  struct Step {
    std::int32_t element, parent, offset;  // offset of right_g; parent -1: the row element
  };
  std::map<std::vector<std::int32_t>, std::int32_t> by_word;
  for (std::int32_t e = 0; e < n; ++e) {
    by_word.emplace(std::vector<std::int32_t>(records[e].buffer.begin(),
                                              records[e].buffer.begin() + records[e].size),
                    e);
  }
  const std::int32_t identity = group.index_of(identity_matrix<D>());
  if (identity == n) throw bad();
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
    // The recurrence holds exactly when M_parent·G_g is M_e.
    if (right[g * n + (parent < 0 ? identity : parent)] != e) throw bad();
    steps.push_back({e, parent, g * n});
  }
  std::stable_sort(steps.begin(), steps.end(), [&](const Step& a, const Step& b) {
    return records[a.element].size < records[b.element].size;
  });
  const auto first_long =
      std::find_if(steps.begin(), steps.end(), [](const Step& s) { return s.parent >= 0; });

  std::vector<std::int32_t> table(static_cast<std::size_t>(n) * n);
  std::cout << "Generating table: " << std::endl;
  const std::int32_t rows_per_block = n / progress.blocks;
  for (int b = 0; b < progress.blocks; ++b) {
    const std::int32_t end = b + 1 == progress.blocks ? n : (b + 1) * rows_per_block;
    for (std::int32_t i = b * rows_per_block; i < end; ++i) {
      std::int32_t* row = table.data() + static_cast<std::size_t>(i) * n;
      for (auto s = steps.begin(); s != first_long; ++s) row[s->element] = right[s->offset + i];
      for (auto s = first_long; s != steps.end(); ++s) {
        row[s->element] = right[s->offset + row[s->parent]];
      }
    }
    std::cout << progress.label << b << " finished.\n";
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
  TableFileData<Record> data;
  {
    const auto group = Group::enumerate();
    data.elements = group_records<Record>(group);
    for (const auto& key : Group::special_keys()) {
      data.special_operations.push_back(group.index_of(key));
    }
    data.table =
        build_table<Group::kDim, Record>(group, data.elements, Group::gates(), Group::kProgress);
  }
  const auto n = static_cast<std::int32_t>(data.elements.size());
  data.inverse_table = build_inverse_table(data.table, n, data.special_operations[0]);

  switch (write_table_file(path, data)) {
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
  data = {};  // the listing enumerates the group afresh

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
