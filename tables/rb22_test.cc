#include "tables/rb22.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "tables/checkers.h"
#include "tables/generate.h"
#include "tables/table_layout.h"
#include "tables/test_support.h"

namespace vantrel {
namespace {

using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

using Layout = TableLayout<Clifford22>;
// Within a record, the word starts at byte 64 and its length at 76.
constexpr std::size_t kRecords = Layout::kRecordsAt;

std::string error_of(RB22& rb, const std::string& path) {
  try {
    rb.load_from_file(path);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

class RB22File : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ostringstream quiet;
    ASSERT_EQ(generate_table22(good_, quiet), 0);
    bytes_ = read_file(good_);
  }
  ScratchDir dir_;
  const std::string good_ = dir_.file("rb22.dat");
  std::string bytes_;
};

struct Corruption {
  std::size_t offset;
  std::int32_t value;
  const char* message;
};
void PrintTo(const Corruption& c, std::ostream* os) { *os << c.message; }

class RB22Corrupt : public RB22File, public ::testing::WithParamInterface<Corruption> {};

TEST_P(RB22Corrupt, RefusedAndObjectKept) {
  const Corruption& c = GetParam();
  std::memcpy(bytes_.data() + c.offset, &c.value, 4);
  const std::string bad = dir_.file("bad.dat");
  write_file(bad, bytes_);
  RB22 rb;
  EXPECT_EQ(error_of(rb, bad), "table file " + bad + " is corrupt: " + c.message);
  EXPECT_THROW(rb.get_table(), std::runtime_error);  // still not loaded
  ASSERT_TRUE(rb.load_from_file(good_));
  EXPECT_NE(error_of(rb, bad), "no error");
  EXPECT_EQ(rb.get_special_operations()[0], 23);  // the earlier data answers
}

INSTANTIATE_TEST_SUITE_P(
    Values, RB22Corrupt,
    ::testing::Values(
        Corruption{0, 24, "special operation entry 0 is 24, outside 0..23"},
        Corruption{Layout::kTableAt + 4 * 5, -1,
                   "multiplication table entry 5 is -1, outside 0..23"},
        Corruption{Layout::kInverseAt + 4 * 23, 24, "inverse table entry 23 is 24, outside 0..23"},
        Corruption{kRecords + 76, 0, "element 0 has word length 0, outside 1..3"},
        Corruption{kRecords + 76, 4, "element 0 has word length 4, outside 1..3"},
        Corruption{kRecords + 80 * 23 + 64, 7, "element 23 holds 7 in word slot 0, outside 0..6"},
        Corruption{kRecords + 80 * 23 + 68, 0, "element 23 holds 0 in word slot 1, not -1"}));

// Two entries of a row swapped leave it a permutation of in-range indices, which
// only the proof of the row itself can tell from the right one. Every row is
// refused: the rows proven through the words and the rows proven against the
// earlier row they are made from.
TEST_F(RB22File, RefusesEveryRowWithTwoEntriesSwapped) {
  const std::string bad = dir_.file("bad.dat");
  RB22 rb;
  for (std::size_t i = 0; i < Layout::kElements; ++i) {
    const std::size_t j = i % (Layout::kElements - 1), at = Layout::row_at(i) + 4 * j;
    std::string bytes = bytes_;
    std::int32_t entry, next;
    std::memcpy(&entry, bytes.data() + at, 4);
    std::memcpy(&next, bytes.data() + at + 4, 4);
    std::memcpy(bytes.data() + at, &next, 4);
    std::memcpy(bytes.data() + at + 4, &entry, 4);
    write_file(bad, bytes);
    EXPECT_EQ(error_of(rb, bad), "table file " + bad + " is corrupt: multiplication table entry " +
                                     std::to_string(i * Layout::kElements + j) + " is " +
                                     std::to_string(next) + ", expected " + std::to_string(entry));
  }
}

TEST_F(RB22File, RefusesFilesOfAnotherSize) {
  RB22 rb;
  ASSERT_TRUE(rb.load_from_file(good_));
  for (std::size_t size : {0, 4347, 4349, 8}) {
    std::string bytes = bytes_;
    bytes.resize(size);
    const std::string bad = dir_.file("sized.dat");
    write_file(bad, bytes);
    EXPECT_EQ(error_of(rb, bad),
              "table file " + bad + " has " + std::to_string(size) + " bytes, expected 4348");
  }
  EXPECT_EQ(error_of(rb, dir_.file("missing.dat")), "File not found.");
  EXPECT_EQ(error_of(rb, dir_.file(".")),
            "table file " + dir_.file(".") + " is not a regular file");
  EXPECT_EQ(error_of(rb, good_ + std::string(1, '\0') + "x"), "path contains a NUL character");
  EXPECT_EQ(rb.get_inverse(5), 12);
}

TEST_F(RB22File, SequencesAndIndexChecks) {
  RB22 rb;
  EXPECT_THROW(rb.get_full_sequence_and_inverse_sequence({3}), std::runtime_error);
  ASSERT_TRUE(rb.load_from_file(good_));
  using Seq = RB22::Sequences;
  EXPECT_EQ(rb.get_full_sequence_and_inverse_sequence({3, 3}), (Seq{{1, 1}, {0}}));
  EXPECT_EQ(rb.get_full_sequence_and_inverse_sequence({9, 9}), (Seq{{3, 3}, {1}}));
  EXPECT_EQ(rb.get_full_sequence_and_inverse_sequence({23}), (Seq{{0}, {0}}));
  // X/2 and Y/2 do not commute: only the inverse of their product in this order
  // recovers, and the checker tells it from the other order's.
  const auto [full, recovery] = rb.get_full_sequence_and_inverse_sequence({9, 16});
  EXPECT_TRUE(rb22_checker(full, recovery));
  EXPECT_FALSE(rb22_checker(full, rb.get_full_sequence_and_inverse_sequence({16, 9}).second));
  for (std::int32_t bad : {-1, 24}) {
    EXPECT_THROW(rb.get_full_sequence_and_inverse_sequence({3, bad}), std::runtime_error);
    EXPECT_THROW(rb.get_multiplication_table_elem(0, bad), std::runtime_error);
    EXPECT_THROW(rb.get_matrix(bad), std::runtime_error);
  }
  EXPECT_THROW(rb.get_full_sequence_and_inverse_sequence({}), std::runtime_error);
}

}  // namespace
}  // namespace vantrel
