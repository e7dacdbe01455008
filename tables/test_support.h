// Helpers shared by the C++ tests: a scratch directory and whole-file reads.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vantrel::testing_support {

// A fresh directory, removed with everything in it when the object dies. While it
// lives it is also the working directory, where the listings are written.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vantrel-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(path_);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_, old_cwd_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace vantrel::testing_support
