#include "tables/table_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace vantrel {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void corrupt(const std::string& path, const std::string& what) {
  throw std::runtime_error("table file " + path + " is corrupt: " + what);
}

}  // namespace

void reject_nul(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    throw std::invalid_argument("path contains a NUL character");
  }
}

OutputFile::OutputFile(const std::string& path) {
  reject_nul(path);
  file_ = std::fopen(path.c_str(), "wb");
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void OutputFile::reserve(std::size_t size) {
  if (file_ == nullptr || size == 0) return;
  if (fallocate(fileno(file_), 0, 0, static_cast<off_t>(size)) != 0 && errno == ENOSPC) ok_ = false;
}

void OutputFile::write(std::span<const std::byte> bytes) {
  if (file_ == nullptr) return;
  ok_ = ok_ && std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

WriteStatus OutputFile::close() {
  if (file_ == nullptr) return WriteStatus::kOpenFailed;
  ok_ = std::fflush(file_) == 0 && ok_;
  ok_ = std::fclose(file_) == 0 && ok_;
  file_ = nullptr;
  return ok_ ? WriteStatus::kOk : WriteStatus::kWriteFailed;
}

void read_blocks(const std::string& path, std::span<const std::span<std::byte>> blocks) {
  reject_nul(path);
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) throw std::runtime_error("File not found.");
  std::size_t expected = 0;
  for (const auto& block : blocks) expected += block.size();
  struct stat st;
  if (fstat(fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw std::runtime_error("table file " + path + " is not a regular file");
  }
  if (static_cast<std::size_t>(st.st_size) != expected) {
    throw std::runtime_error("table file " + path + " has " + std::to_string(st.st_size) +
                             " bytes, expected " + std::to_string(expected));
  }
  for (const auto& block : blocks) {
    if (std::fread(block.data(), 1, block.size(), f.get()) != block.size()) {
      throw std::runtime_error("table file " + path + " could not be read");
    }
  }
}

void check_indices(const std::string& path, const char* what, std::span<const std::int32_t> values,
                   std::int32_t n) {
  // One branch-free pass over the whole block; the slow search only on failure.
  bool bad = false;
  for (std::int32_t v : values)
    bad |= static_cast<std::uint32_t>(v) >= static_cast<std::uint32_t>(n);
  if (!bad) return;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i] < 0 || values[i] >= n) {
      corrupt(path, std::string(what) + " entry " + std::to_string(i) + " is " +
                        std::to_string(values[i]) + ", outside 0.." + std::to_string(n - 1));
    }
  }
}

void check_word(const std::string& path, std::size_t element, std::span<const std::int32_t> buffer,
                std::int32_t size, std::int32_t codes) {
  if (size < 1 || static_cast<std::size_t>(size) > buffer.size()) {
    corrupt(path, "element " + std::to_string(element) + " has word length " +
                      std::to_string(size) + ", outside 1.." + std::to_string(buffer.size()));
  }
  for (std::size_t k = 0; k < buffer.size(); ++k) {
    const bool in_word = k < static_cast<std::size_t>(size);
    if (in_word ? buffer[k] < 0 || buffer[k] >= codes : buffer[k] != -1) {
      corrupt(path, "element " + std::to_string(element) + " holds " + std::to_string(buffer[k]) +
                        " in word slot " + std::to_string(k) +
                        (in_word ? ", outside 0.." + std::to_string(codes - 1) : ", not -1"));
    }
  }
}

}  // namespace vantrel
