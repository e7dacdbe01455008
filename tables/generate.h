// The generation runs of the two groups: each writes its table file at `path` and
// its listing ("readable_group22.txt", "readable_group44.txt") in the working
// directory, printing its progress and outcome on `console` (the module passes
// std::cout). Returns 0, or -1 when either file could not be written, and then
// leaves both names as they were. Throws std::invalid_argument for a path with a
// NUL character, before doing anything.
#pragma once

#include <ostream>
#include <string>

namespace vantrel {

int generate_table22(const std::string& path, std::ostream& console);
int generate_table44(const std::string& path, std::ostream& console);

}  // namespace vantrel
