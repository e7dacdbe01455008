#include "tables/table_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tables/platform.h"

namespace vantrel {
namespace {

std::string complex_text(Complex z) {
  char text[64];
  std::snprintf(text, sizeof text, "(%.17g, %.17g)", z.real(), z.imag());
  return text;
}

}  // namespace

InputFile::InputFile(const std::string& path, std::size_t size) : path_(path) {
  using namespace platform;
  reject_nul(path);
  // Without O_NONBLOCK, opening a FIFO would wait for a writer.
  fd_ = ::open(path.c_str(), O_RDONLY | kBinary | kCloseOnExec | kNonBlocking);
  if (fd_ < 0) throw std::runtime_error("File not found.");
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw std::runtime_error("table file " + path + " is not a regular file");
  }
  if (static_cast<std::size_t>(st.st_size) != size) {
    ::close(fd_);
    throw std::runtime_error("table file " + path + " has " + std::to_string(st.st_size) +
                             " bytes, expected " + std::to_string(size));
  }
}

InputFile::~InputFile() { ::close(fd_); }

void InputFile::read_bytes(std::size_t offset, std::span<std::byte> bytes) {
  const bool ok =
      ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset) &&
      platform::transfer_all(bytes.size(), [&](std::size_t at, unsigned count) {
        return ::read(fd_, bytes.data() + at, count);
      });
  if (!ok) throw std::runtime_error("table file " + path_ + " could not be read");
}

void InputFile::corrupt(const std::string& what) const {
  throw std::runtime_error("table file " + path_ + " is corrupt: " + what);
}

void InputFile::compare(const char* what, std::span<const std::int32_t> values,
                        std::span<const std::int32_t> expected, std::int32_t n,
                        std::size_t first) const {
  if (std::equal(values.begin(), values.end(), expected.begin(), expected.end())) return;
  const auto k = static_cast<std::size_t>(
      std::mismatch(values.begin(), values.end(), expected.begin()).first - values.begin());
  const std::int32_t v = values[k];
  corrupt(std::string(what) + " entry " + std::to_string(first + k) + " is " + std::to_string(v) +
          (v < 0 || v >= n ? ", outside 0.." + std::to_string(n - 1)
                           : ", expected " + std::to_string(expected[k])));
}

void InputFile::check_word(std::size_t element, std::span<const std::int32_t> buffer,
                           std::int32_t size, std::int32_t codes) const {
  if (size < 1 || static_cast<std::size_t>(size) > buffer.size()) {
    corrupt("element " + std::to_string(element) + " has word length " + std::to_string(size) +
            ", outside 1.." + std::to_string(buffer.size()));
  }
  for (std::size_t k = 0; k < buffer.size(); ++k) {
    const bool in_word = k < static_cast<std::size_t>(size);
    if (in_word ? buffer[k] < 0 || buffer[k] >= codes : buffer[k] != -1) {
      corrupt("element " + std::to_string(element) + " holds " + std::to_string(buffer[k]) +
              " in word slot " + std::to_string(k) +
              (in_word ? ", outside 0.." + std::to_string(codes - 1) : ", not -1"));
    }
  }
}

void InputFile::compare_matrix(std::size_t element, std::span<const Complex> matrix,
                               std::span<const Complex> expected) const {
  for (std::size_t k = 0; k < matrix.size(); ++k) {
    if (std::memcmp(&matrix[k], &expected[k], sizeof(Complex)) != 0) {
      corrupt("element " + std::to_string(element) + " has matrix entry " + std::to_string(k) +
              " " + complex_text(matrix[k]) + ", expected " + complex_text(expected[k]));
    }
  }
}

}  // namespace vantrel
