#include "clifford1q/clifford22.h"

namespace vantrel {

int generate_table22(const std::string& path) { return generate_table<Clifford22>(path); }

}  // namespace vantrel
