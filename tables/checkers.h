// Checks a gate sequence and its recovery sequence from the gate matrices alone.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "engine/matrix.h"

namespace vantrel {

// True when the product of the gates of `sequence` and then `inv_sequence`, first
// gate leftmost, is the identity up to a global phase. A code outside the gate set
// throws the message given for its list when its turn comes.
template <int D>
bool product_is_identity(std::span<const Matrix<D>> gates, std::span<const std::int32_t> sequence,
                         std::span<const std::int32_t> inv_sequence, const char* bad_in_sequence,
                         const char* bad_in_inverse) {
  Matrix<D> m = identity_matrix<D>();
  const auto apply = [&](std::span<const std::int32_t> codes, const char* message) {
    for (std::int32_t g : codes) {
      if (g < 0 || static_cast<std::size_t>(g) >= gates.size()) throw std::runtime_error(message);
      m = multiply<D>(m, gates[g]);
    }
  };
  apply(sequence, bad_in_sequence);
  apply(inv_sequence, bad_in_inverse);
  return approx_equal<D>(normalize_phase<D>(m), identity_matrix<D>());
}

// Codes 0..6 of Generator22Enum, multiplied as their textbook matrices.
bool rb22_checker(const std::vector<std::int32_t>& sequence,
                  const std::vector<std::int32_t>& inv_sequence);

// Two-qubit gate codes 0..13, multiplied as their phase-normalised matrices. A bad
// code in either list throws "Bad gate in sequence".
bool rb44_checker(const std::vector<std::int32_t>& sequence,
                  const std::vector<std::int32_t>& inv_sequence);

}  // namespace vantrel
