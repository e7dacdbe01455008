#include "tables/table_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "clifford1q/clifford22.h"
#include "tables/generate.h"
#include "tables/table_layout.h"
#include "tables/test_support.h"

namespace vantrel {
namespace {

using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;
using Layout = TableLayout<Clifford22>;

// Two entries of a row swapped leave it a permutation of in-range indices, which
// only the proof of the row itself can tell from the right one. Every row is
// refused: the rows proven through the words and the rows proven against the
// earlier row they are made from.
TEST(TableReader22, RefusesEveryRowWithTwoEntriesSwapped) {
  ScratchDir dir;
  std::ostringstream quiet;
  ASSERT_EQ(generate_table22("rb22.dat", quiet), 0);
  const std::string good = read_file("rb22.dat");
  for (std::size_t i = 0; i < Layout::kElements; ++i) {
    const std::size_t j = i % (Layout::kElements - 1), at = Layout::row_at(i) + 4 * j;
    std::int32_t entry, next;
    std::memcpy(&entry, good.data() + at, 4);
    std::memcpy(&next, good.data() + at + 4, 4);
    std::string bad = good;
    std::memcpy(bad.data() + at, &next, 4);
    std::memcpy(bad.data() + at + 4, &entry, 4);
    write_file("bad.dat", bad);
    try {
      read_table_file<Clifford22>("bad.dat");
      ADD_FAILURE() << "row " << i << " loaded";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), "table file bad.dat is corrupt: multiplication table entry " +
                              std::to_string(i * Layout::kElements + j) + " is " +
                              std::to_string(next) + ", expected " + std::to_string(entry));
    }
  }
}

}  // namespace
}  // namespace vantrel
