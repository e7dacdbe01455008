// Complex values as every matrix of the system holds them, and the snapping that
// makes products of Clifford matrices bit-exact.
#pragma once

#include <cmath>
#include <complex>

namespace vantrel {

// Real part first, then imaginary part: 16 bytes, the layout of the table files.
using Complex = std::complex<double>;
static_assert(sizeof(Complex) == 16);

// Used with a strict "less than" by canonicalize, the pivot search of phase
// normalisation and approximate matrix equality.
inline constexpr double kTolerance = 1e-8;

// 0x3FE6A09E667F3BCC: one unit in the last place below the rounded square root of
// one half. Snapped values take this one, and the table files hold it.
inline constexpr double kHalfSqrt2 = 0.7071067811865475;

// Replaces a real number lying strictly within kTolerance of 0, ±kHalfSqrt2, ±0.5
// or ±1 by that exact value (zero as +0.0); anything else, NaN included, is kept.
// The canonical values lie at least 0.2 apart, so at most one of them can match, and
// |x ∓ c| is exactly ||x| - c|: testing the magnitude against the nearest of 0,
// 0.5, kHalfSqrt2 and 1 is the same as testing x against all seven values.
inline double canonical_part(double x) {
  const double a = std::abs(x);
  if (a < kTolerance) return 0.0;
  // Only the nearest of 0.5, kHalfSqrt2 and 1 can lie within kTolerance of a.
  const double c = a < 0.6 ? 0.5 : a < 0.85 ? kHalfSqrt2 : 1.0;
  return std::abs(a - c) < kTolerance ? std::copysign(c, x) : x;
}

// Snaps the real and the imaginary part of c independently.
inline void canonicalize(Complex& c) {
  c = Complex(canonical_part(c.real()), canonical_part(c.imag()));
}

}  // namespace vantrel
