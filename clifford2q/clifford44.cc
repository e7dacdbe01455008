#include "clifford2q/clifford44.h"

namespace vantrel {

int generate_table44(const std::string& path) { return generate_table<Clifford44>(path); }

}  // namespace vantrel
