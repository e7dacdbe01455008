#include "tables/generate.h"

#include "clifford1q/clifford22.h"
#include "clifford2q/clifford44.h"
#include "tables/table_layout.h"
#include "tables/table_run.h"

namespace vantrel {

static_assert(TableLayout<Clifford22>::kFileSize == 4348);
static_assert(TableLayout<Clifford44>::kFileSize == 534574088);

int generate_table22(const std::string& path, std::ostream& console) {
  return generate_table<Clifford22>(path, console);
}

int generate_table44(const std::string& path, std::ostream& console) {
  return generate_table<Clifford44>(path, console);
}

}  // namespace vantrel
