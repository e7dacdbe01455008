#include "clifford2q/gates44.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

namespace vantrel {
namespace {

// "1", "-1", "r", "-r", "ir", "-ir", "0" as in the gate listing; r = kHalfSqrt2.
Complex entry(const std::string& t) {
  if (t == "0") return {0, 0};
  const double sign = t[0] == '-' ? -1 : 1;
  const std::string v = t[0] == '-' ? t.substr(1) : t;
  if (v == "1") return {sign, 0};
  if (v == "r") return {sign * kHalfSqrt2, 0};
  if (v == "ir") return {0, sign * kHalfSqrt2};
  ADD_FAILURE() << t;
  return {};
}

// The phase-normalised gate matrices, storage positions 0..15 (column by column).
const char* const kGateEntries[kGates44] = {
    "1 0 0 0  0 1 0 0  0 0 1 0  0 0 0 1",     "0 0 1 0  0 0 0 1  1 0 0 0  0 1 0 0",
    "0 1 0 0  1 0 0 0  0 0 0 1  0 0 1 0",     "0 0 1 0  0 0 0 1  -1 0 0 0  0 -1 0 0",
    "0 1 0 0  -1 0 0 0  0 0 0 1  0 0 -1 0",   "r 0 -ir 0  0 r 0 -ir  -ir 0 r 0  0 -ir 0 r",
    "r 0 ir 0  0 r 0 ir  ir 0 r 0  0 ir 0 r", "r -ir 0 0  -ir r 0 0  0 0 r -ir  0 0 -ir r",
    "r ir 0 0  ir r 0 0  0 0 r ir  0 0 ir r", "r 0 r 0  0 r 0 r  -r 0 r 0  0 -r 0 r",
    "r 0 -r 0  0 r 0 -r  r 0 r 0  0 r 0 r",   "r r 0 0  -r r 0 0  0 0 r r  0 0 -r r",
    "r -r 0 0  r r 0 0  0 0 r -r  0 0 r r",   "1 0 0 0  0 1 0 0  0 0 1 0  0 0 0 -1",
};

bool same_bits(const Matrix44& a, const Matrix44& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Matrix44 adjoint(const Matrix44& m) {
  Matrix44 a;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) a[4 * c + r] = std::conj(m[4 * r + c]);
  }
  return a;
}

TEST(Gates44, MatricesAreExactAndUnitary) {
  for (int g = 0; g < kGates44; ++g) {
    std::istringstream in(kGateEntries[g]);
    Matrix44 expected;
    for (Complex& z : expected) {
      std::string t;
      in >> t;
      z = entry(t);
    }
    const Matrix44 m = gate_matrix44(g);
    EXPECT_TRUE(same_bits(m, expected)) << g;  // every zero +0.0
    EXPECT_TRUE(same_bits(normalize_phase44(m), m)) << g;
    EXPECT_TRUE(approx_equal<4>(multiply<4>(m, adjoint(m)), identity44())) << g;
    EXPECT_TRUE(same_bits(gate_matrices44()[g], m)) << g;
  }
  EXPECT_TRUE(same_bits(gate_matrix44(0), identity44()));
  EXPECT_TRUE(same_bits(gate_matrix44(13), cz44()));
  for (int bad : {14, -1}) {
    try {
      gate_matrix44(bad);
      ADD_FAILURE() << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Bad gate in sequence");
    }
  }
}

TEST(Gates44, KroneckerPutsTheFirstFactorOnTheHighBit) {
  Matrix22 x = {{{0, 0}, {1, 0}, {1, 0}, {0, 0}}};
  const Matrix44 k = kronecker22(x, identity22());
  for (int p = 0; p < 16; ++p) {
    const bool one = p == 2 || p == 7 || p == 8 || p == 13;
    EXPECT_EQ(k[p], Complex(one ? 1 : 0, 0)) << p;
  }
}

TEST(Gates44, NormalizePhase) {
  const Complex i(0, 1);
  Matrix44 m = identity44();
  for (Complex& z : m) z = mul(z, i);
  EXPECT_TRUE(same_bits(normalize_phase44(m), identity44()));
  for (int g = 0; g < kGates44; ++g) {
    Matrix44 negated = gate_matrix44(g);
    for (Complex& z : negated) z = -z;
    EXPECT_TRUE(same_bits(normalize_phase44(negated), gate_matrix44(g))) << g;
  }
  // The pivot is the first entry of column 0 of modulus 1e-8 or more.
  Matrix44 small = identity44();
  small[0] = Complex(1e-8, 0);
  EXPECT_EQ(normalize_phase44(small)[0].real(), 1e-8);
  small[0] = Complex(0, 9.99e-9);
  small[1] = Complex(0, -1);
  EXPECT_EQ(normalize_phase44(small)[1], Complex(1, 0));
  // A vanishing column 0 is refused even when the rest is not zero.
  Matrix44 hollow = identity44();
  hollow[0] = 0;
  for (const Matrix44& bad : {hollow, Matrix44{}}) {
    try {
      normalize_phase44(bad);
      ADD_FAILURE();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "what matrix?");
    }
  }
}

TEST(Gates44, InversePairs) {
  for (auto [a, b] : {std::pair{13, 13}, {5, 6}, {9, 10}, {7, 8}, {11, 12}, {1, 1}, {4, 4}}) {
    EXPECT_TRUE(
        same_bits(normalize_phase44(multiply<4>(gate_matrix44(a), gate_matrix44(b))), identity44()))
        << a << " " << b;
  }
  for (int g = 0; g < kGates44; ++g) {
    EXPECT_TRUE(same_bits(multiply<4>(identity44(), gate_matrix44(g)), gate_matrix44(g)));
    EXPECT_TRUE(same_bits(multiply<4>(gate_matrix44(g), identity44()), gate_matrix44(g)));
  }
}

}  // namespace
}  // namespace vantrel
