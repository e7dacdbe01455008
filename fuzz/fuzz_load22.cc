// Fuzzes loading a one-qubit table file. An input at least as long as a table file
// is the whole file, which reaches the size check and, at the exact size, every
// value check. A shorter input is an overlay (see fuzz_support.h) patched onto a
// valid file, so most inputs reach value validation instead of failing on size.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "tables/rb22.h"

namespace {

using vantrel::Clifford22;
using vantrel::RB22;
using namespace vantrel::fuzz;

struct State {
  HiddenFile valid = HiddenFile::generate<Clifford22>(vantrel::generate_table22);
  HiddenFile raw = HiddenFile::create();
  RB22 reference;
  State() { reference.load_from_file(valid.path()); }
};

// The loaded arrays of a and b are byte for byte the same.
bool same_data(const RB22& a, const RB22& b) {
  const auto same = [](const auto& x, const auto& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0;
  };
  return same(a.get_special_operations(), b.get_special_operations()) &&
         same(a.get_table(), b.get_table()) && same(a.get_inverse_table(), b.get_inverse_table()) &&
         same(a.get_group_elements(), b.get_group_elements());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static State state;
  const std::span<const std::uint8_t> input(data, size);
  const std::size_t file_size = state.valid.size();

  const HiddenFile* file = &state.raw;
  Overlay overlay{};
  std::vector<std::uint8_t> original;
  if (size >= file_size) {
    state.raw.assign(input);
  } else {
    if (!parse_overlay(input, vantrel::TableLayout<Clifford22>::kBlockBytes, overlay)) return 0;
    original = state.valid.read_at(overlay.offset, overlay.patch.size());
    state.valid.write_at(overlay.offset, overlay.patch);
    file = &state.valid;
  }

  // The object starts out loaded, so a failed load can be seen to leave it alone.
  RB22 rb = state.reference;
  bool loaded = false;
  try {
    loaded = rb.load_from_file(file->path());
  } catch (const std::runtime_error& e) {
    FUZZ_CHECK(std::strncmp(e.what(), "table file ", 11) == 0);
  }
  if (file == &state.valid) state.valid.write_at(overlay.offset, original);

  if (loaded) {  // only the table generation writes loads
    FUZZ_CHECK(file != &state.raw || size == file_size);
    FUZZ_CHECK(same_data(rb, state.reference));
    check_loaded(rb, 0, rb.N);
  } else {
    FUZZ_CHECK(same_data(rb, state.reference));
  }
  return 0;
}
