// Fuzzes the two gate-sequence checkers. The first byte splits the rest, read as
// little-endian int32 codes, into a sequence and an inverse sequence. A code
// outside the gate set must throw its list's message and nothing else; in-range
// codes must not throw, and any sequence followed by its gate-wise inverse, in
// reverse order, must check as the identity.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "tables/checkers.h"

namespace {

using Codes = std::vector<std::int32_t>;
using Checker = bool (*)(const Codes&, const Codes&);

// The inverse of each gate code, by code.
const Codes kInverse22 = {0, 1, 2, 5, 6, 3, 4};  // SX <-> SXdag, SY <-> SYdag
const Codes kInverse44 = {0, 1, 2, 3, 4, 6, 5, 8, 7, 10, 9, 12, 11, 13};

bool all_in(const Codes& codes, const Codes& inverse) {
  return std::all_of(codes.begin(), codes.end(), [&](std::int32_t g) {
    return g >= 0 && static_cast<std::size_t>(g) < inverse.size();
  });
}

void check(Checker checker, const Codes& inverse, const char* bad_in_inverse, const Codes& seq,
           const Codes& inv) {
  const bool seq_ok = all_in(seq, inverse), inv_ok = all_in(inv, inverse);
  if (!seq_ok || !inv_ok) {
    const std::string what = vantrel::fuzz::expect_runtime_error([&] { checker(seq, inv); });
    FUZZ_CHECK(what == (seq_ok ? bad_in_inverse : "Bad gate in sequence"));
    return;
  }
  checker(seq, inv);
  Codes undo(seq.rbegin(), seq.rend());
  for (std::int32_t& g : undo) g = inverse[g];
  FUZZ_CHECK(checker(seq, undo));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Codes codes((size - 1) / 4);
  if (!codes.empty()) std::memcpy(codes.data(), data + 1, codes.size() * 4);
  const std::size_t split = data[0] % (codes.size() + 1);
  const Codes seq(codes.begin(), codes.begin() + split), inv(codes.begin() + split, codes.end());
  check(vantrel::rb22_checker, kInverse22, "Bad gate in inv_sequence", seq, inv);
  // The two-qubit checker names the sequence for a bad code in either list.
  check(vantrel::rb44_checker, kInverse44, "Bad gate in sequence", seq, inv);
  return 0;
}
