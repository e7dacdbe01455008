// The two-qubit query object.
#pragma once

#include "clifford2q/clifford44.h"
#include "tables/rb.h"

namespace vantrel {

using RB44 = RB<Clifford44>;

}  // namespace vantrel
