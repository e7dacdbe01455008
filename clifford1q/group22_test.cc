#include "clifford1q/group22.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "engine/generators22.h"

namespace vantrel {
namespace {

// Parses "0", "1", "-1", "i", "-i", "r", "-r", "ir", "-ir" (r = kHalfSqrt2).
Complex parse_entry(std::string t) {
  const double sign = t[0] == '-' ? -1.0 : 1.0;
  if (t[0] == '-') t = t.substr(1);
  if (t == "0") return {0.0, 0.0};
  if (t == "1") return {sign, 0.0};
  if (t == "i") return {0.0, sign};
  if (t == "r") return {sign * kHalfSqrt2, 0.0};
  if (t == "ir") return {0.0, sign * kHalfSqrt2};
  ADD_FAILURE() << "bad entry " << t;
  return {};
}

struct Element {
  Word word;
  const char* entries;  // e0 e1 e2 e3
};

// The whole group in index order.
const Element kGroup[24] = {
    {{2}, "0 1 -1 0"},       {{5, 6, 5}, "0 1 -i 0"}, {{3, 6, 3}, "0 1 i 0"},
    {{1}, "0 1 1 0"},        {{1, 6}, "r -r -r -r"},  {{3, 6}, "r -r -ir -ir"},
    {{5, 6}, "r -r ir ir"},  {{6}, "r -r r r"},       {{4, 3}, "r -ir -r -ir"},
    {{3}, "r -ir -ir r"},    {{2, 3}, "r -ir ir -r"}, {{6, 3}, "r -ir r ir"},
    {{4, 5}, "r ir -r ir"},  {{2, 5}, "r ir -ir -r"}, {{5}, "r ir ir r"},
    {{6, 5}, "r ir r -ir"},  {{4}, "r r -r r"},       {{3, 4}, "r r -ir ir"},
    {{5, 4}, "r r ir -ir"},  {{1, 4}, "r r r -r"},    {{2, 1}, "1 0 0 -1"},
    {{3, 6, 5}, "1 0 0 -i"}, {{5, 6, 3}, "1 0 0 i"},  {{0}, "1 0 0 1"},
};

TEST(Group22, EnumeratesTheWholeGroupInKeyOrder) {
  std::ostringstream console;
  const GroupMap22 group = enumerate_group22(console);
  EXPECT_EQ(console.str(), "Group size = 20\nGroup size = 24\nGroup size = 24\n");
  ASSERT_EQ(group.size(), 24u);
  const auto records = group_records<KeyValueClifford22>(group);
  for (int i = 0; i < 24; ++i) {
    std::istringstream in(kGroup[i].entries);
    Matrix22 key;
    for (Complex& z : key) {
      std::string t;
      in >> t;
      z = parse_entry(t);
    }
    EXPECT_EQ(group.entries()[i].key, key) << i;
    EXPECT_EQ(group.entries()[i].word, kGroup[i].word) << i;
    EXPECT_EQ(group.index_of(key), i);
    // Records: same key bit for bit (every zero +0.0), word, -1 beyond it.
    const auto& rec = records[i];
    EXPECT_EQ(std::memcmp(&rec.arr, &group.entries()[i].key, sizeof rec.arr), 0) << i;
    for (const Complex& z : rec.arr) {
      EXPECT_FALSE(std::signbit(z.real()) && z.real() == 0) << i;
      EXPECT_FALSE(std::signbit(z.imag()) && z.imag() == 0) << i;
    }
    ASSERT_EQ(rec.size, static_cast<int>(kGroup[i].word.size()));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(rec.buffer[k], k < rec.size ? kGroup[i].word[k] : -1) << i;
    }
    // Every word multiplies out to its key.
    Matrix22 product = identity22();
    for (int g : kGroup[i].word) {
      product = normalize_phase22(multiply<2>(product, normalized_generators22()[g]));
    }
    EXPECT_EQ(std::memcmp(&product, &rec.arr, sizeof product), 0) << i;
  }
}

TEST(Group22, GeneratorIndicesAndMisses) {
  std::ostringstream console;
  const GroupMap22 group = enumerate_group22(console);
  const int expected[kGenerators22] = {23, 3, 0, 9, 16, 14, 7};
  for (int g = 0; g < kGenerators22; ++g) {
    EXPECT_EQ(group.index_of(normalize_phase22(generator_matrix22(g))), expected[g]);
  }
  EXPECT_EQ(group.index_of(Matrix22{}), 24);
  EXPECT_EQ(group.index_of(generator_matrix22(Generator_Y)), 24);  // not normalised
}

TEST(Group22, RecordsRefuseLongWords) {
  GroupMap22 group;
  group.assign_sorted({{identity22(), {1, 2, 3}}, {generator_matrix22(1), {1, 2, 3, 4}}}, {}, {});
  EXPECT_THROW(
      {
        try {
          group_records<KeyValueClifford22>(group);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "more than 3");
          throw;
        }
      },
      std::runtime_error);
}

}  // namespace
}  // namespace vantrel
