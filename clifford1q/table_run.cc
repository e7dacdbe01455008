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

int write_listing(OutputFile& out, const char* name, std::span<const Word> words) {
  if (!out.is_open()) {
    std::cout << "File not found." << std::endl;
    return -1;
  }
  std::string text;
  char index[16];
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::snprintf(index, sizeof index, "%5d : ", static_cast<int>(i));
    text.append(index).append(format_word(words[i])).append("\n");
  }
  out.write_bytes(std::as_bytes(std::span(text)));
  if (out.close() != WriteStatus::kOk) {
    std::cout << "Cannot write file: " << name << std::endl;
    return -1;
  }
  return 0;
}

bool commit(OutputFile& out, const std::string& name) {
  if (out.commit()) return true;
  std::cout << "Cannot write file: " << name << std::endl;
  return false;
}

}  // namespace vantrel
