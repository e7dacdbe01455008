#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "clifford1q/clifford22.h"
#include "tables/generate.h"
#include "tables/listing.h"
#include "tables/test_support.h"

namespace vantrel {
namespace {

using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

// What the open file behind fd holds, from its start.
std::string read_descriptor(int fd) {
  std::string bytes(64, '\0');
  const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

std::string enumeration_lines() { return "Group size = 20\nGroup size = 24\nGroup size = 24\n"; }

std::string table_lines() {
  std::string out = "Generating table: \n";
  for (int i = 0; i < 24; ++i) out += "i = " + std::to_string(i) + " finished.\n";
  return out;
}

int run(const std::string& path, std::string* console) {
  std::ostringstream out;
  const int result = generate_table22(path, out);
  *console = out.str();
  return result;
}

template <class T>
void append_bytes(std::string& out, const std::vector<T>& v) {
  out.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

TEST(GenerateTable22, WritesTheFileAndListing) {
  ScratchDir dir;
  std::string console;
  ASSERT_EQ(run("rb22.dat", &console), 0);
  EXPECT_EQ(console, enumeration_lines() + table_lines() + enumeration_lines() + "Generate End\n");

  // The expected file, built here from explicit products and look-ups.
  std::ostringstream quiet;
  const GroupMap22 group = enumerate_group22(quiet);
  const auto records = group_records<KeyValueClifford22>(group);
  std::vector<std::int32_t> table;
  for (const auto& a : records) {
    for (const auto& b : records) {
      table.push_back(group.index_of(normalize_phase22(multiply<2>(a.arr, b.arr))));
    }
  }
  const std::vector<std::int32_t> special = {23, 3, 0, 9, 16, 14, 7};
  const std::vector<std::int32_t> inverse = {0, 1,  2, 3,  4, 12, 8,  16, 6,  14, 10, 18,
                                             5, 13, 9, 17, 7, 15, 11, 19, 20, 22, 21, 23};
  std::string expected;
  append_bytes(expected, special);
  append_bytes(expected, table);
  append_bytes(expected, inverse);
  append_bytes(expected, records);
  ASSERT_EQ(expected.size(), 4348u);
  EXPECT_TRUE(read_file("rb22.dat") == expected);

  // A Latin square whose identity row and column are 0..23, with inverses as stored.
  std::vector<std::int32_t> iota(24);
  std::iota(iota.begin(), iota.end(), 0);
  for (int i = 0; i < 24; ++i) {
    std::vector<std::int32_t> row(table.begin() + 24 * i, table.begin() + 24 * i + 24), col;
    for (int j = 0; j < 24; ++j) col.push_back(table[24 * j + i]);
    if (i == 23) {
      EXPECT_EQ(row, iota);
      EXPECT_EQ(col, iota);
    }
    std::sort(row.begin(), row.end());
    std::sort(col.begin(), col.end());
    EXPECT_EQ(row, iota) << i;
    EXPECT_EQ(col, iota) << i;
    EXPECT_EQ(table[24 * i + inverse[i]], 23) << i;
  }
  EXPECT_EQ(table[24 * 3 + 3], 23);  // X·X
  EXPECT_EQ(table[24 * 9 + 9], 3);   // SX·SX is X
  EXPECT_EQ(table[24 * 3 + 0], 20);  // X·Y is Z
  EXPECT_EQ(table[24 * 0 + 3], 20);  // Y·X is Z

  const std::string listing = read_file("readable_group22.txt");
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 24);
  EXPECT_EQ(listing.substr(0, 30), "    0 : [2]\n    1 : [5, 6, 5]\n");
  EXPECT_TRUE(listing.ends_with("   23 : [0]\n"));
}

TEST(GenerateTable22, ReportsFilesThatCannotBeWritten) {
  ScratchDir dir;
  std::string console;
  const std::string missing = dir.file("no/such/dir/rb22.dat");
  EXPECT_EQ(run(missing, &console), -1);
  EXPECT_EQ(console, enumeration_lines() + table_lines() + "Cannot open file: " + missing +
                         "\nGenerate Failed.\n");
  EXPECT_FALSE(std::filesystem::exists("readable_group22.txt"));

  EXPECT_EQ(run(dir.file("."), &console), -1);  // a directory
  EXPECT_TRUE(console.ends_with("Cannot open file: " + dir.file(".") + "\nGenerate Failed.\n"));

  EXPECT_THROW(run(std::string("rb22.dat\0x", 10), &console), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists("rb22.dat"));

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  EXPECT_EQ(run("/dev/full", &console), -1);  // every write fails
  EXPECT_TRUE(console.ends_with("Cannot write file: /dev/full\nGenerate Failed.\n"));
  EXPECT_FALSE(std::filesystem::exists("readable_group22.txt"));
}

TEST(GenerateTable22, ReportsAListingThatCannotBeWritten) {
  ScratchDir dir;
  const std::string table = dir.file("rb22.dat");
  // A working directory that no longer exists refuses new files, even to root.
  const std::string gone = dir.file("gone");
  std::filesystem::create_directory(gone);
  std::filesystem::current_path(gone);
  std::filesystem::remove(gone);
  write_file(table, "old table");
  std::string console;
  EXPECT_EQ(run(table, &console), -1);
  EXPECT_TRUE(console.ends_with(enumeration_lines() + "File not found.\nGenerate Failed.\n"));
  // A run that fails leaves the old table whole, and no new file beside it.
  EXPECT_TRUE(read_file(table) == "old table");  // not a dump of the new table
  const std::filesystem::directory_iterator files(std::filesystem::path(table).parent_path());
  EXPECT_EQ(std::distance(begin(files), end(files)), 1);
}

// A run puts new files at the names instead of writing into the old ones, so whoever
// still has an old file open reads it whole.
TEST(GenerateTable22, ReplacesTheOldFilesInsteadOfWritingIntoThem) {
  ScratchDir dir;
  write_file("rb22.dat", "old table");
  write_file("readable_group22.txt", "old listing");
  const int old_table = ::open("rb22.dat", O_RDONLY),
            old_listing = ::open("readable_group22.txt", O_RDONLY);
  std::string console;
  EXPECT_EQ(run("rb22.dat", &console), 0);
  EXPECT_EQ(read_descriptor(old_table), "old table");
  EXPECT_EQ(read_descriptor(old_listing), "old listing");
  EXPECT_EQ(std::filesystem::file_size("rb22.dat"), 4348u);
  EXPECT_TRUE(read_file("readable_group22.txt").ends_with("   23 : [0]\n"));
  ::close(old_table);
  ::close(old_listing);
}

TEST(TableRun, FormatWord) {
  EXPECT_EQ(format_word(std::vector<std::int32_t>{}), "[]");
  EXPECT_EQ(format_word(std::vector<std::int32_t>{0, 13}), "[0, 13]");
}

}  // namespace
}  // namespace vantrel
