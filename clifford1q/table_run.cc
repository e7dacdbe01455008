#include "clifford1q/table_run.h"

#include <cstdio>

namespace vantrel {

std::string format_word(std::span<const std::int32_t> word) {
  std::string text = "[";
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (k > 0) text += ", ";
    text += std::to_string(word[k]);
  }
  return text + "]";
}

int write_listing(const char* name, std::span<const Word> words) {
  OutputFile out(name, "w");
  std::FILE* f = out.stream();
  if (f == nullptr) {
    std::cout << "File not found." << std::endl;
    return -1;
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (std::fprintf(f, "%5d : %s\n", static_cast<int>(i), format_word(words[i]).c_str()) < 0) {
      out.fail();
    }
  }
  if (out.close() != WriteStatus::kOk) {
    std::cout << "Cannot write file: " << name << std::endl;
    return -1;
  }
  return 0;
}

}  // namespace vantrel
