// Shared pieces of the fuzz targets: table files that vanish with the process,
// the overlay format that patches a valid file, and the invariants every loaded
// query object must satisfy.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/generate.h"
#include "tables/rb.h"
#include "tables/table_layout.h"

// Like assert, but never compiled out and with a message libFuzzer shows.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace vantrel::fuzz {

// Runs f and requires it to throw std::runtime_error (anything else propagates, and
// libFuzzer reports the uncaught exception). Returns the message.
template <class F>
std::string expect_runtime_error(F&& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  std::fprintf(stderr, "expected a std::runtime_error\n");
  std::abort();
}

// A file with no name on disk, reached through /proc/self/fd: it disappears with
// the process however it ends, including libFuzzer's _Exit after a crash, so a
// half-gigabyte table never outlives its run.
class HiddenFile {
 public:
  // An empty file.
  static HiddenFile create() {
    const std::string dir = make_temp_dir();
    const std::string name = dir + "/input.bin";
    HiddenFile f(name);
    rmdir(dir.c_str());
    return f;
  }

  // The valid table file of Group, made by `generate` (generate_table22 or
  // generate_table44) in a temporary directory, quietly; the readable listing it
  // writes to the working directory is dropped.
  template <class Group>
  static HiddenFile generate(int (*generate)(const std::string&, std::ostream&)) {
    const std::string dir = make_temp_dir();
    const int cwd = open(".", O_RDONLY | O_DIRECTORY);
    FUZZ_CHECK(cwd >= 0 && chdir(dir.c_str()) == 0);
    std::ostream quiet(nullptr);
    FUZZ_CHECK(generate(dir + "/table.bin", quiet) == 0);
    FUZZ_CHECK(fchdir(cwd) == 0 && close(cwd) == 0);
    HiddenFile f(dir + "/table.bin");
    unlink((dir + "/" + Group::kListingName).c_str());
    rmdir(dir.c_str());
    return f;
  }

  const std::string& path() const { return path_; }

  std::size_t size() const {
    const off_t end = lseek(fd_, 0, SEEK_END);
    FUZZ_CHECK(end >= 0);
    return static_cast<std::size_t>(end);
  }

  // Replaces the whole contents.
  void assign(std::span<const std::uint8_t> bytes) {
    FUZZ_CHECK(ftruncate(fd_, 0) == 0);
    write_at(0, bytes);
  }

  void write_at(std::size_t offset, std::span<const std::uint8_t> bytes) {
    FUZZ_CHECK(pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(bytes.size()));
  }

  std::vector<std::uint8_t> read_at(std::size_t offset, std::size_t n) const {
    std::vector<std::uint8_t> bytes(n);
    FUZZ_CHECK(pread(fd_, bytes.data(), n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n));
    return bytes;
  }

  HiddenFile(HiddenFile&& other) : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }
  HiddenFile& operator=(HiddenFile&&) = delete;
  ~HiddenFile() {
    if (fd_ >= 0) close(fd_);
  }

 private:
  // Opens (creating if needed) and unlinks name.
  explicit HiddenFile(const std::string& name) : fd_(open(name.c_str(), O_RDWR | O_CREAT, 0600)) {
    FUZZ_CHECK(fd_ >= 0 && unlink(name.c_str()) == 0);
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }

  static std::string make_temp_dir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vantrel-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(templ.data()) != nullptr);
    return templ;
  }

  int fd_;
  std::string path_;
};

// An overlay input is [block: 1 byte][offset: 4 bytes, little-endian][patch bytes]:
// the patch lands at offset (modulo the block's size) within block (modulo 4), and
// is cut at the end of the file. Spreading offsets per block lets small blocks be
// hit as often as the half-gigabyte multiplication table.
struct Overlay {
  std::size_t offset;
  std::span<const std::uint8_t> patch;
};

// Returns false for an input too short to hold a header and one patch byte.
// `blocks` are the sizes of the file's blocks (TableLayout::kBlockBytes).
inline bool parse_overlay(std::span<const std::uint8_t> input, std::span<const std::size_t> blocks,
                          Overlay& out) {
  if (input.size() < 6) return false;
  const std::size_t block = input[0] % blocks.size();
  std::uint32_t offset;
  std::memcpy(&offset, input.data() + 1, sizeof offset);
  std::size_t start = 0, total = 0;
  for (std::size_t b = 0; b < blocks.size(); ++b) (b < block ? start : total) += blocks[b];
  total += start;
  out.offset = start + offset % blocks[block];
  out.patch = input.subspan(5, std::min(input.size() - 5, total - out.offset));
  return true;
}

// Checks every accessor of a loaded query object against the ranges the loader
// promises, with the multiplication table row by row over rows [row_begin,
// row_end) (all of it is too slow for the two-qubit group on every input).
template <class Group>
void check_loaded(const RB<Group>& rb, std::int32_t row_begin, std::int32_t row_end) {
  const std::int32_t n = Group::kElements;
  const auto in_range = [&](std::int32_t v) { return v >= 0 && v < n; };
  FUZZ_CHECK(rb.N == n);
  FUZZ_CHECK(rb.get_table().size() == std::size_t{n} * n);
  FUZZ_CHECK(rb.get_inverse_table().size() == std::size_t(n));
  FUZZ_CHECK(rb.get_group_elements().size() == std::size_t(n));
  FUZZ_CHECK(rb.get_special_operations().size() == std::size_t{Group::kSpecials});
  FUZZ_CHECK(rb.get_special_operations_str().size() == std::size_t{Group::kSpecials});
  for (std::int32_t s : rb.get_special_operations()) FUZZ_CHECK(in_range(s));
  for (std::int32_t i = row_begin; i < row_end; ++i) {
    for (std::int32_t j = 0; j < n; ++j)
      FUZZ_CHECK(in_range(rb.get_multiplication_table_elem(i, j)));
  }
  std::size_t total_size = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    FUZZ_CHECK(in_range(rb.get_inverse(i)) && rb.get_inverse(i) == rb.get_inverse_table()[i]);
    const std::int32_t size = rb.get_generator_size(i);
    const auto& word = rb.get_generator(i);
    FUZZ_CHECK(size >= 1 && static_cast<std::size_t>(size) <= word.size());
    for (std::size_t k = 0; k < word.size(); ++k) {
      FUZZ_CHECK(k < static_cast<std::size_t>(size) ? word[k] >= 0 && word[k] < Group::kGateCodes
                                                    : word[k] == -1);
    }
    FUZZ_CHECK(&rb.get_matrix(i) == &rb.get_group_elements()[i].arr);
    // A one-element sequence is its own word followed by its inverse's word.
    const auto [gates, inverse] = rb.get_full_sequence_and_inverse_sequence({i});
    FUZZ_CHECK(gates.size() == static_cast<std::size_t>(size));
    FUZZ_CHECK(!inverse.empty() && inverse.size() <= word.size());
    total_size += gates.size();
  }
  // The whole group as one sequence: every gate code in range, words concatenated.
  std::vector<std::int32_t> all(n);
  for (std::int32_t i = 0; i < n; ++i) all[i] = i;
  const auto [gates, inverse] = rb.get_full_sequence_and_inverse_sequence(all);
  FUZZ_CHECK(gates.size() == total_size && !inverse.empty());
  for (std::int32_t g : gates) FUZZ_CHECK(g >= 0 && g < Group::kGateCodes);
  for (std::int32_t g : inverse) FUZZ_CHECK(g >= 0 && g < Group::kGateCodes);
  // Indices outside 0..N-1 are refused, not read.
  for (std::int32_t bad : {-1, n, INT32_MIN, INT32_MAX}) {
    expect_runtime_error([&] { rb.get_inverse(bad); });
    expect_runtime_error([&] { rb.get_generator_size(bad); });
    expect_runtime_error([&] { rb.get_multiplication_table_elem(0, bad); });
    expect_runtime_error([&] { rb.get_multiplication_table_elem(bad, 0); });
    expect_runtime_error([&] { rb.get_full_sequence_and_inverse_sequence({0, bad}); });
  }
}

}  // namespace vantrel::fuzz
