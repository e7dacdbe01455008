// The readable listing of a group ("readable_group22.txt", "readable_group44.txt"):
// one line per element, its index and its generator word.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/group.h"

namespace vantrel {

// "[c1, c2, ...]", "[]" for an empty word.
std::string format_word(std::span<const std::int32_t> word);

// The listing's text: one "%5d : %s\n" line per word, its index and format_word.
std::string listing_text(std::span<const Word> words);

}  // namespace vantrel
