#include "clifford2q/group44.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

#include "clifford2q/gates44.h"

namespace vantrel {
namespace {

class Group44 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ostringstream console;
    group_ = new GroupMap44(enumerate_group44(console));
    console_ = new std::string(console.str());
    records_ = new std::vector<KeyValueClifford44>(group_records<KeyValueClifford44>(*group_));
  }
  static void TearDownTestSuite() {
    delete group_;
    delete console_;
    delete records_;
  }
  static GroupMap44* group_;
  static std::string* console_;
  static std::vector<KeyValueClifford44>* records_;
};
GroupMap44* Group44::group_;
std::string* Group44::console_;
std::vector<KeyValueClifford44>* Group44::records_;

TEST_F(Group44, PrintsOneLinePerPass) {
  std::string expected;
  for (int size : {75, 239, 456, 560, 576, 576, 1152, 1152, 3456, 5760, 5760, 8064, 8064, 10368,
                   10944, 10944, 11520, 11520, 11520}) {
    expected += "Group size = " + std::to_string(size) + "\n";
  }
  EXPECT_EQ(*console_, expected);
}

TEST_F(Group44, IndicesAndWords) {
  ASSERT_EQ(group_->size(), 11520u);
  const int expected[kGates44] = {11519, 1087,  2875,  1072, 2698,  9730, 10717,
                                  9244,  11119, 10896, 9551, 11150, 9213, 11518};
  for (int g = 0; g < kGates44; ++g) {
    EXPECT_EQ(group_->index_of(gate_matrix44(g)), expected[g]) << g;
  }
  EXPECT_EQ(group_->index_of(group_->entries()[0].key), 0);
  EXPECT_EQ(group_->index_of(Matrix44{}), 11520);
  EXPECT_EQ(group_->entries()[11519].word, (Word{0}));
  EXPECT_EQ(group_->entries()[11518].word, (Word{0, 13}));
  EXPECT_EQ(group_->entries()[0].word, (Word{3, 7, 12, 7, 5, 13, 6}));
  EXPECT_EQ(group_->entries()[1].word, (Word{2, 10, 13, 10}));
  std::map<int, int> lengths;
  for (const auto& e : group_->entries()) ++lengths[static_cast<int>(e.word.size())];
  EXPECT_EQ(lengths.begin()->first, 1);
  EXPECT_EQ(lengths[1], 13);
  EXPECT_EQ(lengths.rbegin()->first, 13);
  EXPECT_EQ(lengths[13], 32);
}

TEST_F(Group44, RecordsMultiplyOutBitForBit) {
  for (std::size_t i = 0; i < records_->size(); ++i) {
    const KeyValueClifford44& rec = (*records_)[i];
    ASSERT_GE(rec.size, 1);
    ASSERT_LE(rec.size, 13);
    Matrix44 m = identity44();
    for (int k = 0; k < rec.size; ++k) m = multiply<4>(m, gate_matrix44(rec.buffer[k]));
    m = normalize_phase44(m);
    ASSERT_EQ(std::memcmp(&m, &rec.arr, sizeof m), 0) << i;
    for (int k = rec.size; k < 14; ++k) ASSERT_EQ(rec.buffer[k], -1);
    ASSERT_EQ(rec.reserved, 0);
    for (const Complex& z : rec.arr) {
      for (double part : {z.real(), z.imag()}) {
        const double a = std::abs(part);
        ASSERT_TRUE(part == 0 ? !std::signbit(part) : a == 1 || a == 0.5 || a == kHalfSqrt2);
      }
    }
  }
}

TEST(GroupRecords44, WordCapacity) {
  GroupMap44 group;
  group.assign_sorted({{identity44(), Word(14, 1)}}, {}, {});
  EXPECT_EQ(group_records<KeyValueClifford44>(group)[0].buffer[13], 1);
  group.assign_sorted({{identity44(), Word(14, 1)}, {cz44(), Word(15, 1)}}, {}, {});
  try {
    group_records<KeyValueClifford44>(group);
    ADD_FAILURE();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "more than 14");
  }
}

}  // namespace
}  // namespace vantrel
