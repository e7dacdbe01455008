#include "engine/matrix22.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/generators22.h"

namespace vantrel {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Every part of every entry equal bit for bit (so +0.0 and -0.0 differ).
void expect_same_bits(const Matrix22& a, const Matrix22& b) {
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(bits(a[k].real()), bits(b[k].real())) << "entry " << k;
    EXPECT_EQ(bits(a[k].imag()), bits(b[k].imag())) << "entry " << k;
  }
}

TEST(Canonicalize, SnapsNearCanonicalValuesOnly) {
  struct Case {
    double in, out;
  } cases[] = {
      {-0.0, 0.0},
      {-3e-9, 0.0},
      {0.7071067811865476, kHalfSqrt2},
      {-0.7071067811865476, -kHalfSqrt2},
      {0.50000000000000011, 0.5},
      {-0.5 + 5e-9, -0.5},
      {1.0 - 9e-9, 1.0},
      {-1.0 - 9e-9, -1.0},
      {0.3, 0.3},
      {0.5 + 1e-8, 0.5 + 1e-8},
      {1e-8, 1e-8},
  };
  for (const Case& c : cases) {
    Complex z(c.in, c.in);
    canonicalize(z);
    EXPECT_EQ(bits(z.real()), bits(c.out)) << c.in;
    EXPECT_EQ(bits(z.imag()), bits(c.out)) << c.in;
  }
  EXPECT_EQ(bits(kHalfSqrt2), 0x3FE6A09E667F3BCCu);
  Complex nan(std::numeric_limits<double>::quiet_NaN(), 2.0);
  canonicalize(nan);
  EXPECT_TRUE(std::isnan(nan.real()));
  EXPECT_EQ(nan.imag(), 2.0);
}

TEST(Matrix22, NormalizePhase) {
  const Complex i(0, 1);
  Matrix22 phased = identity22();
  for (Complex& z : phased) z = mul(z, i);
  expect_same_bits(normalize_phase22(phased), identity22());

  // Pivot e1 when e0 vanishes.
  const Matrix22 swap = {{{0, 0}, {1, 0}, {1, 0}, {0, 0}}};
  expect_same_bits(normalize_phase22(swap), swap);
  const Matrix22 iy = {{{0, 0}, {0, 1}, {0, -1}, {0, 0}}};
  expect_same_bits(normalize_phase22(iy), Matrix22{{{0, 0}, {1, 0}, {-1, 0}, {0, 0}}});

  // The pivot test is strict: modulus 1e-8 is a pivot, just below it is not.
  const Matrix22 small_e0 = {{{1e-8, 0}, {1, 0}, {1, 0}, {0, 0}}};
  EXPECT_EQ(normalize_phase22(small_e0)[0].real(), 1e-8);
  const Matrix22 tiny_e0 = {{{0, 9.9e-9}, {0, 1}, {0, 1}, {0, 0}}};
  expect_same_bits(normalize_phase22(tiny_e0), swap);

  EXPECT_THROW(normalize_phase22(Matrix22{}), std::runtime_error);
}

TEST(Matrix22, MultiplyAndCompare) {
  for (int g = 0; g < kGenerators22; ++g) {
    const Matrix22 m = generator_matrix22(g);
    expect_same_bits(multiply<2>(identity22(), m), multiply<2>(m, identity22()));
    EXPECT_TRUE(approx_equal<2>(multiply<2>(identity22(), m), m));
  }
  // SX·SY is not SY·SX: the order of the operands matters.
  const Matrix22 sx = generator_matrix22(Generator_SX), sy = generator_matrix22(Generator_SY);
  EXPECT_FALSE(approx_equal<2>(multiply<2>(sx, sy), multiply<2>(sy, sx)));

  Matrix22 near = identity22();
  near[3] += Complex(1e-12, -1e-12);
  EXPECT_TRUE(approx_equal<2>(near, identity22()));
  near[3] = Complex(1.0, 1e-8);
  EXPECT_FALSE(approx_equal<2>(near, identity22()));
}

TEST(Matrix22, KeyOrderIsExactAndLexicographic) {
  const Matrix22 a = identity22();
  Matrix22 b = a;
  EXPECT_FALSE(matrix_less<2>(a, b));
  b[1] = Complex(-0.0, -0.0);
  EXPECT_FALSE(matrix_less<2>(a, b));
  EXPECT_FALSE(matrix_less<2>(b, a));
  b[1] = Complex(0.0, 1e-300);  // an imaginary part decides when real parts tie
  EXPECT_TRUE(matrix_less<2>(a, b));
  b[0] = Complex(0.5, 0.0);  // an earlier entry outweighs any later one
  EXPECT_TRUE(matrix_less<2>(b, a));
}

TEST(Generators22, UnitaryAndInversePairs) {
  for (int g = 0; g < kGenerators22; ++g) {
    const Matrix22 m = generator_matrix22(g);
    Matrix22 dagger;
    for (int r = 0; r < 2; ++r) {
      for (int c = 0; c < 2; ++c) dagger[2 * c + r] = std::conj(m[2 * r + c]);
    }
    EXPECT_TRUE(approx_equal<2>(multiply<2>(m, dagger), identity22())) << g;
    // Normalisation changes only Y, whose pivot e1 is i.
    EXPECT_EQ(normalize_phase22(m) == m, g != Generator_Y) << g;
  }
  for (auto [a, b] : {std::pair{Generator_SX, Generator_SXdag}, {Generator_SY, Generator_SYdag}}) {
    EXPECT_TRUE(
        approx_equal<2>(multiply<2>(generator_matrix22(a), generator_matrix22(b)), identity22()));
  }
}

}  // namespace
}  // namespace vantrel
