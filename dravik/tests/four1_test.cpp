#include "dravik/measure/uFour1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

namespace dravik {
namespace {

using LComplex = std::complex<long double>;

// Point k of an interleaved vector.
LComplex Point(const TDataVector& v, int k) { return {v[2 * k], v[2 * k + 1]}; }

// The plain transform sum_j x[j]·exp(+2πi·j·k/nn), with exact twiddle indices (j·k mod nn).
std::vector<LComplex> PlainDft(const TDataVector& x, int nn) {
  std::vector<LComplex> twiddle(nn);
  for (int m = 0; m < nn; ++m) twiddle[m] = std::polar(1.0L, TwoPi * m / nn);
  std::vector<LComplex> result(nn);
  for (int k = 0; k < nn; ++k)
    for (int j = 0; j < nn; ++j) result[k] += Point(x, j) * twiddle[(int64_t{j} * k) % nn];
  return result;
}

TEST(Four1, MatchesPlainTransformToExtendedPrecision) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> sample(-1, 1);
  for (int nn = 1; nn <= 4096; nn *= 2) {
    TDataVector x(2 * nn);
    for (long double& v : x) v = sample(rng);
    const std::vector<LComplex> expected = PlainDft(x, nn);
    TDataVector y = x;
    Four1(y.data(), nn, 1);
    long double error = 0, norm = 0;
    for (int k = 0; k < nn; ++k) {
      error += std::norm(Point(y, k) - expected[k]);
      norm += std::norm(expected[k]);
    }
    // Double precision would leave about 1e-16 here; extended reaches about 1e-18.
    EXPECT_LT(std::sqrt(error / norm), 1e-17L) << "nn = " << nn;
  }
}

// Input x[j] = exp(sign·2πi·j·k0/nn), transformed with isign = +1.
TDataVector Tone(int nn, int k0, int sign) {
  TDataVector v(2 * nn);
  for (int j = 0; j < nn; ++j) {
    const LComplex z = std::polar(1.0L, sign * TwoPi * ((int64_t{j} * k0) % nn) / nn);
    v[2 * j] = z.real();
    v[2 * j + 1] = z.imag();
  }
  Four1(v.data(), nn, 1);
  return v;
}

TEST(Four1, PureTonesLandOnOnePoint) {
  struct Case { int nn, k0, sign, peak; };
  for (const Case c : {Case{64, 5, -1, 5}, Case{64, 5, +1, 59}, Case{1024, 512, -1, 512},
                       Case{8, 1, +1, 7}, Case{4096, 1, -1, 1}}) {
    const TDataVector v = Tone(c.nn, c.k0, c.sign);
    for (int k = 0; k < c.nn; ++k) {
      const LComplex expected = k == c.peak ? LComplex(c.nn, 0) : LComplex(0, 0);
      EXPECT_LT(std::abs(Point(v, k) - expected), 1e-15L * c.nn) << c.nn << " point " << k;
    }
  }
}

TEST(Four1, TrivialInputs) {
  TDataVector single{0.25L, -3};
  Four1(single.data(), 1, 1);
  EXPECT_EQ(single, (TDataVector{0.25L, -3}));

  TDataVector zeros(64, 0);
  Four1(zeros.data(), 32, 1);
  EXPECT_EQ(zeros, TDataVector(64, 0));

  TDataVector impulse(16, 0);
  impulse[0] = 1;
  Four1(impulse.data(), 8, 1);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Point(impulse, k), LComplex(1, 0)) << k;
}

TEST(Four1, ForwardThenBackwardScalesByLength) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> sample(-1, 1);
  const int nn = 512;
  TDataVector x(2 * nn);
  for (long double& v : x) v = sample(rng);
  TDataVector y = x;
  Four1(y.data(), nn, 1);
  Four1(y.data(), nn, -1);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i], nn * x[i], 1e-15L) << i;
}

// Both complex parts, with the sign of zero (which tells the two Smith branches apart).
void ExpectComplex(const TComplex& r, long double re, long double im, const char* what) {
  EXPECT_EQ(r.Re, re) << what;
  EXPECT_EQ(r.Im, im) << what;
  EXPECT_EQ(std::signbit(r.Re), std::signbit(re)) << what << " sign of Re";
  EXPECT_EQ(std::signbit(r.Im), std::signbit(im)) << what << " sign of Im";
}

TEST(ComplexOps, DivisionBranchesAndZeroRules) {
  struct Case { TComplex a, b; long double re, im; const char* what; };
  const Case cases[] = {
      {{0, 0}, {1, 2}, 0, 0, "zero numerator"},
      {{1, 2}, {0, 0}, 0, 0, "zero denominator"},
      {{-0.0L, -0.0L}, {1, 1}, 0, 0, "negative zero is zero"},
      {{1, 0}, {0, 1}, 0, -1, "pure imaginary divisor is not zero"},
      {{0, 3}, {2, 0}, 0, 1.5L, "pure imaginary numerator is not zero"},
      {{2, 4}, {1, 1}, 3, 1, "equal magnitudes"},
      // Equal magnitudes: only the first branch gives +0 here (the second gives -0).
      {{1, 1}, {1, -1}, 0, 1, "equal magnitudes take the first branch"},
      {{1, -1}, {1, -1}, 1, 0, "equal magnitudes take the first branch (Im)"},
      // Each branch avoids the overflow that the other one would run into.
      {{1, 1}, {0x1p-9000L, 0x1p9000L}, 0x1p-9000L, -0x1p-9000L, "|Re| < |Im|: second branch"},
      {{1, 1}, {0x1p9000L, 0x1p-9000L}, 0x1p-9000L, 0x1p-9000L, "|Re| > |Im|: first branch"},
  };
  for (const Case& c : cases) {
    TComplex r{9, 9};
    ComplexDiv(c.a, c.b, r);
    ExpectComplex(r, c.re, c.im, c.what);
  }
}

TEST(ComplexOps, ReciprocalBranchesAndZeroRule) {
  struct Case { TComplex z; long double re, im; const char* what; };
  const Case cases[] = {
      {{0, 0}, 0, 0, "zero"},
      {{0, 2}, 0, -0.5L, "pure imaginary"},
      {{4, 0}, 0.25L, -0.0L, "real"},
      {{1, 1}, 0.5L, -0.5L, "equal magnitudes"},
      {{0x1p-9000L, 0x1p9000L}, 0, -0x1p-9000L, "|Re| < |Im|: second branch"},
      {{0x1p9000L, 0x1p-9000L}, 0x1p-9000L, -0.0L, "|Re| > |Im|: first branch"},
  };
  for (const Case& c : cases) {
    TComplex r{9, 9};
    ComplexInv(c.z, r);
    ExpectComplex(r, c.re, c.im, c.what);
  }
}

} // namespace
} // namespace dravik
