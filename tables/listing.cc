#include "tables/listing.h"

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

std::string listing_text(std::span<const Word> words) {
  std::string text;
  char index[16];
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::snprintf(index, sizeof index, "%5d : ", static_cast<int>(i));
    text.append(index).append(format_word(words[i])).append("\n");
  }
  return text;
}

}  // namespace vantrel
