#include "tables/checkers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

using Codes = std::vector<std::int32_t>;

struct CheckerCase {
  Codes sequence, inverse;
  bool identity;
};
void PrintTo(const CheckerCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.sequence) << " then " << ::testing::PrintToString(c.inverse);
}

class Checker22 : public ::testing::TestWithParam<CheckerCase> {};

TEST_P(Checker22, MultipliesOutBothLists) {
  const CheckerCase& c = GetParam();
  EXPECT_EQ(rb22_checker(c.sequence, c.inverse), c.identity);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Checker22,
    ::testing::Values(CheckerCase{{}, {}, true}, CheckerCase{{1}, {1}, true},
                      CheckerCase{{3}, {5}, true}, CheckerCase{{3}, {3}, false},
                      CheckerCase{{2}, {}, false}, CheckerCase{{0, 0, 0}, {}, true},
                      CheckerCase{{4, 4}, {2}, true}, CheckerCase{{3, 3}, {1}, true},
                      CheckerCase{{3, 4}, {6, 5}, true}, CheckerCase{{3, 4}, {5, 6}, false}));

std::string error_of(const Codes& sequence, const Codes& inverse) {
  try {
    rb22_checker(sequence, inverse);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(Checker22, RefusesCodesOutsideTheGateSet) {
  EXPECT_EQ(error_of({7}, {}), "Bad gate in sequence");
  EXPECT_EQ(error_of({1, -1}, {}), "Bad gate in sequence");
  EXPECT_EQ(error_of({1}, {7}), "Bad gate in inv_sequence");
  EXPECT_EQ(error_of({9}, {7}), "Bad gate in sequence");  // the first bad code decides
}

}  // namespace
}  // namespace vantrel
