// The one-qubit query object.
#pragma once

#include "clifford1q/clifford22.h"
#include "tables/rb.h"

namespace vantrel {

using RB22 = RB<Clifford22>;

}  // namespace vantrel
