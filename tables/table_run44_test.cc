#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "clifford2q/clifford44.h"
#include "tables/generate.h"
#include "tables/rb44.h"
#include "tables/test_support.h"

namespace vantrel {
namespace {

using testing_support::read_file;
using testing_support::ScratchDir;

std::string enumeration_lines() {
  std::string out;
  for (int size : {75, 239, 456, 560, 576, 576, 1152, 1152, 3456, 5760, 5760, 8064, 8064, 10368,
                   10944, 10944, 11520, 11520, 11520}) {
    out += "Group size = " + std::to_string(size) + "\n";
  }
  return out;
}

std::string table_lines() {
  std::string out = "Generating table: \n";
  for (int b = 0; b < 288; ++b) out += "block_id = " + std::to_string(b) + " finished.\n";
  return out;
}

// One generation for the whole suite: it writes half a gigabyte.
class GenerateTable44 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    std::ostringstream console;
    result_ = generate_table44(dir_->file("rb44.dat"), console);
    console_ = new std::string(console.str());
    listing_ = new std::string(read_file("readable_group44.txt"));
    rb_ = new RB44;
    rb_->load_from_file(dir_->file("rb44.dat"));
    std::ostringstream quiet;
    group_ = new GroupMap44(enumerate_group44(quiet));
  }
  static void TearDownTestSuite() {
    delete group_;
    delete rb_;
    delete listing_;
    delete console_;
    delete dir_;
  }
  // The element index of M_i·M_j by an explicit product and look-up.
  static std::int32_t product(std::int32_t i, std::int32_t j) {
    return group_->index_of(normalize_phase44(multiply<4>(rb_->get_matrix(i), rb_->get_matrix(j))));
  }

  static ScratchDir* dir_;
  static int result_;
  static std::string* console_;
  static std::string* listing_;
  static RB44* rb_;
  static GroupMap44* group_;
};
ScratchDir* GenerateTable44::dir_;
int GenerateTable44::result_;
std::string* GenerateTable44::console_;
std::string* GenerateTable44::listing_;
RB44* GenerateTable44::rb_;
GroupMap44* GenerateTable44::group_;

TEST_F(GenerateTable44, ConsoleFileAndListing) {
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(*console_,
            enumeration_lines() + table_lines() + enumeration_lines() + "Generate End\n");
  EXPECT_EQ(std::filesystem::file_size(dir_->file("rb44.dat")), 534574088u);
  EXPECT_EQ(std::count(listing_->begin(), listing_->end(), '\n'), 11520);
  EXPECT_TRUE(listing_->starts_with("    0 : [3, 7, 12, 7, 5, 13, 6]\n    1 : [2, 10, 13, 10]\n"));
  EXPECT_TRUE(listing_->ends_with("11518 : [0, 13]\n11519 : [0]\n"));
  EXPECT_EQ(rb_->get_special_operations(), (std::vector<std::int32_t>{11519, 11518}));
}

TEST_F(GenerateTable44, TableIsTheProductOfItsElements) {
  const std::int32_t n = 11520;
  for (std::int32_t fixed : {0, 1, 5000, 11518, 11519}) {
    for (std::int32_t k = 0; k < n; ++k) {
      ASSERT_EQ(rb_->get_multiplication_table_elem(fixed, k), product(fixed, k))
          << fixed << "," << k;
      ASSERT_EQ(rb_->get_multiplication_table_elem(k, fixed), product(k, fixed))
          << k << "," << fixed;
    }
  }
  std::mt19937 rng(44);
  std::uniform_int_distribution<std::int32_t> index(0, n - 1);
  for (int trial = 0; trial < 200000; ++trial) {
    const std::int32_t i = index(rng), j = index(rng);
    ASSERT_EQ(rb_->get_multiplication_table_elem(i, j), product(i, j)) << i << "," << j;
  }
}

TEST_F(GenerateTable44, RowsArePermutationsWithTheirInverses) {
  const std::int32_t n = 11520;
  const auto& table = rb_->get_table();
  for (std::int32_t i = 0; i < n; ++i) {
    std::vector<bool> seen(n);
    for (std::int32_t j = 0; j < n; ++j) seen[table[static_cast<std::size_t>(i) * n + j]] = true;
    ASSERT_EQ(std::count(seen.begin(), seen.end(), true), n) << i;
    ASSERT_EQ(table[static_cast<std::size_t>(i) * n + rb_->get_inverse(i)], 11519) << i;
    ASSERT_EQ(table[static_cast<std::size_t>(11519) * n + i], i);
    ASSERT_EQ(table[static_cast<std::size_t>(i) * n + 11519], i);
  }
  EXPECT_EQ(rb_->get_multiplication_table_elem(11518, 11518), 11519);
  EXPECT_EQ(rb_->get_inverse(11518), 11518);
  EXPECT_EQ(rb_->get_inverse(11519), 11519);
}

TEST_F(GenerateTable44, SequencesAndIndexChecks) {
  using Seq = RB44::Sequences;
  EXPECT_EQ(rb_->get_full_sequence_and_inverse_sequence({11518, 11518}),
            (Seq{{0, 13, 0, 13}, {0}}));
  EXPECT_THROW(rb_->get_inverse(11520), std::runtime_error);
  EXPECT_THROW(rb_->get_full_sequence_and_inverse_sequence({}), std::runtime_error);
}

TEST(GenerateTable44Failure, WriteErrorIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  ScratchDir dir;
  std::ostringstream console;
  EXPECT_EQ(generate_table44("/dev/full", console), -1);
  EXPECT_TRUE(
      console.str().ends_with(table_lines() + "Cannot write file: /dev/full\nGenerate Failed.\n"));
  EXPECT_FALSE(std::filesystem::exists("readable_group44.txt"));
}

}  // namespace
}  // namespace vantrel
