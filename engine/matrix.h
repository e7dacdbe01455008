// Square complex matrices of dimension D (2 for one qubit, 4 for two) and the
// arithmetic both Clifford groups share. The 22/44 headers give these their names.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "engine/canonical.h"

namespace vantrel {

// Entries stored column by column: position D*c + r holds row r, column c. This is
// the order of the table files, of the Python lists and of the key comparison.
template <int D>
using Matrix = std::array<Complex, D * D>;

// The product written out, so that no library routine or contraction changes a bit.
inline Complex mul(Complex a, Complex b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

template <int D>
Matrix<D> identity_matrix() {
  Matrix<D> m{};
  for (int k = 0; k < D; ++k) m[D * k + k] = 1.0;
  return m;
}

// a·b, each entry summed from +0.0 over k in increasing order. Not normalised.
// A term whose b factor is zero is skipped: for finite a it is a signed zero, and
// adding one never changes a sum that starts at +0.0. Gates are mostly zeros.
template <int D>
Matrix<D> multiply(const Matrix<D>& a, const Matrix<D>& b) {
  Matrix<D> p;
  for (int c = 0; c < D; ++c) {
    Complex sum[D] = {};
    for (int k = 0; k < D; ++k) {
      const Complex y = b[D * c + k];
      if (y.real() == 0 && y.imag() == 0) continue;
      for (int r = 0; r < D; ++r) sum[r] += mul(a[D * k + r], y);
    }
    for (int r = 0; r < D; ++r) p[D * c + r] = sum[r];
  }
  return p;
}

// The modulus of z is below kTolerance. hypot is at least the larger part, so it
// is needed only when both parts are small.
inline bool negligible(Complex z) {
  if (z.real() == 0 && z.imag() == 0) return true;
  return std::abs(z.real()) < kTolerance && std::abs(z.imag()) < kTolerance &&
         std::hypot(z.real(), z.imag()) < kTolerance;
}

// True when every entry of a lies strictly within kTolerance of b's (NaN fails).
template <int D>
bool approx_equal(const Matrix<D>& a, const Matrix<D>& b) {
  for (std::size_t j = 0; j < a.size(); ++j) {
    if (!negligible(a[j] - b[j])) return false;
  }
  return true;
}

// Removes the global phase: the first entry of column 0 whose modulus is not below
// kTolerance becomes real and positive, every entry keeps its modulus, and every
// entry is then canonicalised. Matrices that differ by a unit factor give the same
// result. Throws "what matrix?" when column 0 vanishes, which no unitary matrix does.
template <int D>
Matrix<D> normalize_phase(const Matrix<D>& m) {
  int k = 0;
  while (k < D && negligible(m[k])) ++k;
  if (k == D) throw std::runtime_error("what matrix?");
  const Complex q(m[k].real(), -m[k].imag());  // conj(pivot)
  Matrix<D> n;
  if (q.imag() == 0) {
    // A real pivot, the usual case: hypot(x, 0) is |x| exactly, and the terms with
    // q.imag() can only change the sign of a zero, which canonicalize clears.
    const double s = 1.0 / std::abs(q.real());
    for (std::size_t j = 0; j < m.size(); ++j) {
      n[j] = Complex(m[j].real() * q.real() * s, m[j].imag() * q.real() * s);
      canonicalize(n[j]);
    }
    return n;
  }
  const double s = 1.0 / std::hypot(q.real(), q.imag());
  for (std::size_t j = 0; j < m.size(); ++j) {
    const Complex t = mul(m[j], q);
    n[j] = Complex(t.real() * s, t.imag() * s);
    canonicalize(n[j]);
  }
  return n;
}

// The exact order of group-map keys: entries in storage order, each by real part and
// then imaginary part. No tolerance; +0.0 and -0.0 compare equal.
template <int D>
bool matrix_less(const Matrix<D>& a, const Matrix<D>& b) {
  for (std::size_t j = 0; j < a.size(); ++j) {
    if (a[j].real() < b[j].real()) return true;
    if (a[j].real() > b[j].real()) return false;
    if (a[j].imag() < b[j].imag()) return true;
    if (a[j].imag() > b[j].imag()) return false;
  }
  return false;
}

// Equality and hash consistent with matrix_less for keys without NaN.
template <int D>
struct MatrixEqual {
  bool operator()(const Matrix<D>& a, const Matrix<D>& b) const { return a == b; }
};

template <int D>
struct MatrixHash {
  std::size_t operator()(const Matrix<D>& m) const {
    // Four independent lanes keep the multiplications from waiting on each other.
    std::uint64_t lane[4] = {1, 2, 3, 4};
    for (std::size_t j = 0; j < m.size(); j += 2) {
      // Adding +0.0 turns -0.0 into +0.0, which compares equal to it.
      const double parts[4] = {m[j].real(), m[j].imag(), m[j + 1].real(), m[j + 1].imag()};
      for (int k = 0; k < 4; ++k) {
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(parts[k] + 0.0);
        lane[k] = std::rotl((lane[k] ^ bits) * 0x9E3779B97F4A7C15u, 31);
      }
    }
    const std::uint64_t h =
        lane[0] ^ std::rotl(lane[1], 16) ^ std::rotl(lane[2], 32) ^ std::rotl(lane[3], 48);
    return h ^ (h >> 29);
  }
};

}  // namespace vantrel
