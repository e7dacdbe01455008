// Fuzzes loading a two-qubit table file. A table file is half a gigabyte, so every
// input is an overlay (see fuzz_support.h): the patch is written into a valid file
// generated once per process, the file is loaded, and the original bytes are put
// back. An input thus costs one load, not one copy of the file.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "tables/rb44.h"

namespace {

using vantrel::Clifford44;
using vantrel::RB44;
using namespace vantrel::fuzz;

HiddenFile& valid_file() {
  static HiddenFile file = [] {
    HiddenFile f = HiddenFile::generate<Clifford44>(vantrel::generate_table44);
    // The unpatched file loads, and every accessor holds (over the table's first
    // rows: all of it takes seconds).
    RB44 rb;
    rb.load_from_file(f.path());
    check_loaded(rb, 0, 64);
    return f;
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  HiddenFile& file = valid_file();
  using Layout = vantrel::TableLayout<Clifford44>;
  Overlay overlay;
  if (!parse_overlay({data, size}, Layout::kBlockBytes, overlay)) return 0;

  const std::vector<std::uint8_t> original = file.read_at(overlay.offset, overlay.patch.size());
  file.write_at(overlay.offset, overlay.patch);
  RB44 rb;
  bool loaded = false;
  try {
    loaded = rb.load_from_file(file.path());
  } catch (const std::runtime_error& e) {
    FUZZ_CHECK(std::strncmp(e.what(), "table file ", 11) == 0);
  }
  file.write_at(overlay.offset, original);

  if (!loaded) {
    // A failed load leaves the object unloaded.
    const std::string what = expect_runtime_error([&] { rb.get_inverse(0); });
    FUZZ_CHECK(what == "Load data before using RB classes!");
    return 0;
  }
  // Only the table rows the patch touched can differ from the valid file's.
  const std::size_t begin = std::max(overlay.offset, Layout::kTableAt);
  const std::size_t end =
      std::min(overlay.offset + overlay.patch.size(), Layout::kTableAt + Layout::kTableBytes);
  std::int32_t row_begin = 0, row_end = 0;
  if (begin < end) {
    const std::size_t row_bytes = Layout::row_at(1) - Layout::row_at(0);
    row_begin = static_cast<std::int32_t>((begin - Layout::kTableAt) / row_bytes);
    row_end = static_cast<std::int32_t>((end - 1 - Layout::kTableAt) / row_bytes + 1);
  }
  check_loaded(rb, row_begin, row_end);
  return 0;
}
