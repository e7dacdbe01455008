// Fuzzes turning element sequences into gate sequences, for both groups on every
// input. The input, read as little-endian int32 element indices, is the sequence.
// An empty sequence or an index outside 0..N-1 must throw std::runtime_error;
// otherwise the result must be the elements' words concatenated, followed by a
// recovery sequence that the checker accepts.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "tables/checkers.h"
#include "tables/rb22.h"
#include "tables/rb44.h"

namespace {

using namespace vantrel::fuzz;

// Generates, loads and drops a group's table file.
template <class Group>
vantrel::RB<Group> load_generated(int (*generate)(const std::string&, std::ostream&)) {
  const HiddenFile file = HiddenFile::generate<Group>(generate);
  vantrel::RB<Group> rb;
  rb.load_from_file(file.path());
  return rb;
}

template <class Group>
void check(const vantrel::RB<Group>& rb,
           bool (*checker)(const std::vector<std::int32_t>&, const std::vector<std::int32_t>&),
           const std::vector<std::int32_t>& sequence) {
  const bool valid =
      !sequence.empty() && std::all_of(sequence.begin(), sequence.end(),
                                       [&](std::int32_t e) { return e >= 0 && e < rb.N; });
  if (!valid) {
    expect_runtime_error([&] { rb.get_full_sequence_and_inverse_sequence(sequence); });
    return;
  }
  const auto [gates, inverse] = rb.get_full_sequence_and_inverse_sequence(sequence);
  std::vector<std::int32_t> words;
  for (std::int32_t e : sequence) {
    const auto& word = rb.get_generator(e);
    words.insert(words.end(), word.begin(), word.begin() + rb.get_generator_size(e));
  }
  FUZZ_CHECK(gates == words);
  FUZZ_CHECK(checker(gates, inverse));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto rb22 = load_generated<vantrel::Clifford22>(vantrel::generate_table22);
  static const auto rb44 = load_generated<vantrel::Clifford44>(vantrel::generate_table44);
  std::vector<std::int32_t> sequence(size / 4);
  if (!sequence.empty()) std::memcpy(sequence.data(), data, sequence.size() * 4);
  check(rb22, vantrel::rb22_checker, sequence);
  check(rb44, vantrel::rb44_checker, sequence);
  return 0;
}
