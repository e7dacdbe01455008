#include "clifford1q/pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace vantrel {
namespace {

// Parts are taken in order, each after it was made, and part k is made only once
// part k - ahead was taken: what lets a part reuse that part's memory.
TEST(Pipeline, TakesInOrderAndMakesAtMostAheadOfTaking) {
  for (std::size_t ahead : {1, 3, 100}) {
    std::atomic<std::size_t> taken = 0;
    std::vector<std::atomic<bool>> made(100);
    std::atomic<bool> early = false;
    Pipeline pipeline(made.size(), ahead, [&](std::size_t k) {
      if (k + 1 > taken + ahead) early = true;
      made[k] = true;
    });
    pipeline.take_each([&](std::size_t k) {
      ASSERT_TRUE(made[k]);
      ASSERT_EQ(taken.exchange(k + 1), k);
    });
    EXPECT_EQ(taken, made.size());
    EXPECT_FALSE(early) << ahead;
  }
}

// A failure on either side ends the run without a hang; one in making arrives after
// every part made before it was taken, as it would without the second thread.
TEST(Pipeline, FailuresArriveInOrderAndStopBothSides) {
  std::vector<std::size_t> taken;
  Pipeline failing_make(50, 50, [](std::size_t k) {
    if (k == 20) throw std::runtime_error("make 20");
  });
  EXPECT_THROW(failing_make.take_each([&](std::size_t k) { taken.push_back(k); }),
               std::runtime_error);
  EXPECT_EQ(taken.size(), 20u);

  std::atomic<std::size_t> made = 0;
  {
    Pipeline failing_take(1000, 2, [&](std::size_t) { ++made; });
    EXPECT_THROW(failing_take.take_each([](std::size_t k) {
      if (k == 5) throw std::runtime_error("take 5");
    }), std::runtime_error);
  }
  EXPECT_LE(made, 7u);
}

}  // namespace
}  // namespace vantrel
