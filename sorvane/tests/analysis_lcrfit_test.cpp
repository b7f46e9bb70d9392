// The weighted series-model fit and its uncertainties, the block-to-block scatter behind the
// weights, and the texts that show a value with its uncertainty.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "sorvane/analysis/uBinNoise.h"
#include "sorvane/numeric/uFFT.h"
#include "sorvane/analysis/uFormatEng.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uLcrFit.h"
#include "sorvane/numeric/uSpectrumMoments.h"

namespace sorvane {
namespace {

using Complex = std::complex<double>;
constexpr double Pi = std::numbers::pi;

TEST(SpectrumMoments, CovarianceOfTheMeanFromTheBlocksOwnSpectra) {
  // Blocks whose spectra differ by known amounts at bin 5: the covariance of their mean is the
  // sample covariance divided by the number of blocks.
  constexpr int N = 64;
  const std::vector<Complex> d0 = {{1, 0}, {-1, 2}, {0, -2}, {3, 1}};
  const std::vector<Complex> d1 = {{0, 1}, {1, 1}, {-2, 0}, {0.5, -1}};
  TSpectrumMoments m;
  for (size_t b = 0; b < d0.size(); ++b) {
    // A block whose bin 5 is 10 + d, built from its spectrum by the inverse transform.
    std::vector<double> left(N, 0.0), right(N, 0.0);
    const Complex v0 = Complex(10, 0) + d0[b], v1 = Complex(5, 5) + d1[b];
    left[10] = v0.real(), left[11] = v0.imag();
    right[10] = v1.real(), right[11] = v1.imag();
    RealFFT(left.data(), N, false);
    RealFFT(right.data(), N, false);
    m.AddBlock(left, right);
  }
  ASSERT_EQ(m.Blocks(), 4);
  Complex mean0, mean1;
  for (size_t b = 0; b < 4; ++b) mean0 += d0[b] / 4.0, mean1 += d1[b] / 4.0;
  double c00 = 0, c11 = 0;
  Complex c01;
  for (size_t b = 0; b < 4; ++b) {
    c00 += std::norm(d0[b] - mean0) / 12, c11 += std::norm(d1[b] - mean1) / 12;
    c01 += (d0[b] - mean0) * std::conj(d1[b] - mean1) / 12.0;
  }
  const TBinCovariance c = m.MeanCovariance(5);
  EXPECT_NEAR(c.C00, c00, 1e-9);
  EXPECT_NEAR(c.C11, c11, 1e-9);
  EXPECT_NEAR(c.C01.Re, c01.real(), 1e-9);
  EXPECT_NEAR(c.C01.Im, c01.imag(), 1e-9);
  EXPECT_NEAR(m.MeanCovariance(6).C00, 0, 1e-12) << "a bin that never changed";
  // A block of another length starts anew; one block tells no scatter.
  m.AddBlock(std::vector<double>(32, 0.0), std::vector<double>(32, 0.0));
  EXPECT_EQ(m.Blocks(), 1);
  EXPECT_EQ(m.MeanCovariance(5).C00, 0);
  EXPECT_TRUE(NoiseSpectrumOf(m, {}).empty());
}

TEST(BinNoise, RatioVarianceFollowsTheQuotientToFirstOrder) {
  // Independent noise on both inputs: E|d(A/B)|^2 = (C_AA + |A/B|^2 C_BB) / |B|^2; a noise
  // common to both inputs in the ratio of the signals cancels.
  const TComplexD a{3, 1}, b{1, -1};
  const TBinCovariance independent{0.02, 0.01, {0, 0}};
  const double rho2 = (3 * 3 + 1) / 2.0;
  EXPECT_NEAR(RatioVariance(independent, a, b, false), (0.02 + rho2 * 0.01) / 2, 1e-12);
  EXPECT_NEAR(RatioVariance({0.01, 0.02, {0, 0}}, a, b, true), (0.02 + rho2 * 0.01) / 2, 1e-12)
      << "with swap A is channel 1";
  // dA = rho dB exactly: C_AA = |rho|^2 C_BB, C_AB = rho C_BB.
  const Complex rho = Complex(3, 1) / Complex(1, -1);
  const double cbb = 0.01;
  const TBinCovariance common{std::norm(rho) * cbb, cbb, {rho.real() * cbb, rho.imag() * cbb}};
  EXPECT_NEAR(RatioVariance(common, a, b, false), 0, 1e-12);
  EXPECT_TRUE(std::isinf(RatioVariance(independent, a, {0, 0}, false)));
}

// Many noisy readings of one component: the fit is unbiased, its spread matches the
// uncertainty it reports, and a bin made noisy by a large variance does not move it.
TEST(LcrFit, WeightedFitSpreadMatchesItsUncertainty) {
  struct TCase {
    const char* Name;
    double R, L, C;
  };
  for (const TCase& c : {TCase{"coil", 40, 0.47, 0}, TCase{"capacitor", 0.2, 0, 2.2e-6},
                         TCase{"resistor", 47, 0, 0}}) {
    SCOPED_TRACE(c.Name);
    std::mt19937 rng(7);
    std::normal_distribution<double> gauss;
    std::vector<double> rs, xs, urs, uxs;
    int resistorReadings = 0;
    for (int trial = 0; trial < 400; ++trial) {
      std::vector<TLcrPoint> points;
      for (int k = 1; k <= 300; ++k) {
        const double w = 2 * Pi * 23.4375 * k;
        const double x = c.L > 0 ? w * c.L : c.C > 0 ? -1 / (w * c.C) : 0;
        // The variance grows with |Z|, as the ratio's noise does.
        const double sd = 1e-3 * (1 + std::hypot(c.R, x));
        points.push_back({w, {c.R + sd * gauss(rng), x + sd * gauss(rng)}, sd * sd});
      }
      const TLcrFit fit = FitSeriesModel(points, true);
      ASSERT_TRUE(fit.HasUncertainty);
      rs.push_back(fit.R), urs.push_back(fit.UR);
      if (c.L > 0 || c.C > 0) {
        ASSERT_EQ(fit.Kind, c.L > 0 ? TReactanceKind::Inductance : TReactanceKind::Capacitance);
        xs.push_back(fit.Value), uxs.push_back(fit.UValue);
      } else if (!(fit.Value > 2 * fit.UValue)) {
        ++resistorReadings;
      }
    }
    const auto stats = [](const std::vector<double>& v) {
      double m = 0, s = 0;
      for (const double x : v) m += x / v.size();
      for (const double x : v) s += (x - m) * (x - m) / (v.size() - 1);
      return std::pair(m, std::sqrt(s));
    };
    const auto [mr, sr] = stats(rs);
    EXPECT_NEAR(mr, c.R, 3 * sr / std::sqrt(rs.size()));
    EXPECT_NEAR(sr / urs[0], 1, 0.15);
    if (!xs.empty()) {
      const double truth = c.L > 0 ? c.L : c.C;
      const auto [mx, sx] = stats(xs);
      EXPECT_NEAR(mx, truth, 4 * sx / std::sqrt(xs.size()));
      EXPECT_NEAR(sx / uxs[0], 1, 0.15);
    } else {
      // Either sign of reactance may pass two uncertainties: about 95 % read as a resistor.
      EXPECT_GT(resistorReadings, 360);
    }
  }
}

TEST(LcrFit, ABinWithALargeVarianceCountsForLittle) {
  std::vector<TLcrPoint> points;
  for (int k = 1; k <= 100; ++k) points.push_back({1000.0 * k, {3.3, 1e-3 * 1000 * k}, 1e-6});
  points[50].Z = {1000, -500}; // a wild bin that says of itself that it is wild
  points[50].Var = 1e12;
  const TLcrFit fit = FitSeriesModel(points, true);
  EXPECT_NEAR(fit.R, 3.3, 1e-6);
  EXPECT_NEAR(fit.Value, 1e-3, 1e-9);
  EXPECT_NEAR(fit.UR, 1e-3 / std::sqrt(99.0), 1e-5);
  // Relative weights: the scale comes from the scatter about the model.
  std::vector<TLcrPoint> relative;
  for (int k = 1; k <= 100; ++k)
    relative.push_back({1000.0 * k, {3.3 + (k % 2 ? 0.01 : -0.01), 1e-3 * 1000 * k}, 1});
  EXPECT_NEAR(FitSeriesModel(relative, false).UR, 0.01 * std::sqrt(100.0 / 99) / 10, 1e-6);
}

TEST(LcrText, ValuesWithTheirUncertaintiesBoundsAndResistors) {
  struct TCase {
    TLcrResult Result;
    const char* Text;
  };
  TLcrResult coil;
  coil.R = 3.300123, coil.UR = 0.000351, coil.L = 999.4123e-6, coil.UL = 0.0234e-6, coil.T = 0.177;
  TLcrResult capacitor;
  capacitor.R = 0.0004, capacitor.UR = 0.0007, capacitor.C = 2.2e-9, capacitor.UC = 1.5e-12;
  capacitor.T = 1e-3;
  TLcrResult resistor;
  resistor.R = 47.00012, resistor.UR = 0.0012, resistor.ReadsAsResistor = true;
  TLcrResult negative = resistor;
  negative.R = -0.0031, negative.UR = 0.001;
  for (TLcrResult* r : {&coil, &capacitor, &resistor, &negative}) r->ReactiveBins = 900, r->HasUncertainty = true;
  const TCase cases[] = {
      {coil, "Lx= 999.412 \u00B1 0.023 \u00B5H\r\nR= 3.30012 \u00B1 0.00035 Ohm\r\ntg= 1.8E-01"},
      {capacitor, "Cx= 2.2000 \u00B1 0.0015 nF\r\nR= < 1.8 mOhm\r\ntg= 1.0E-03"},
      {resistor, "Reads as a resistor: no L or C above the noise\r\nR= 47.0001 \u00B1 0.0012 Ohm\r\ntg= ?"},
      {negative, "Reads as a resistor: no L or C above the noise\r\nR= < 2.0 mOhm\r\ntg= ?"},
      {TLcrResult{}, "Im= ?\r\nR= ? Ohm\r\ntg= ?"},
  };
  for (const TCase& c : cases) EXPECT_EQ(LcrText(c.Result), c.Text);
  EXPECT_EQ(LcrResultLine(coil), "result: R=3.300123 uR=0.000351 L=0.0009994123 uL=2.34e-08");
  EXPECT_EQ(LcrResultLine(capacitor), "result: R=0.0004 uR=0.0007 C=2.2e-09 uC=1.5e-12");
  EXPECT_EQ(LcrResultLine(resistor), "result: R=47.00012 uR=0.0012");
  EXPECT_EQ(FormatMeasured(12345.678, 12, "Ohm"), "12.346 \u00B1 0.012 kOhm");
  EXPECT_EQ(FormatMeasured(0.5, 0, "H"), "500 mH") << "without an uncertainty as FormatEng";
  EXPECT_EQ(FormatBound(0.00123, "Ohm"), "< 1.3 mOhm");
}

// The impedance of a block with its scatter: a bin whose inputs are noisy is weighted down,
// and the result carries the uncertainty the scatter gives.
TEST(LcrFit, ImpedanceBlockUsesTheNoiseSpectrum) {
  constexpr int N = 2048;
  constexpr double Fs = 48000, Rref = 10;
  TWaveData block{TChannelData(N, 0.0), TChannelData(N, 0.0)};
  TNoiseSpectrum noise(N / 2);
  for (int k = 1; k < N / 2; ++k) {
    const Complex zx(3.3, 2 * Pi * k * Fs / N * 1e-3);
    const Complex v1(100, 0), v0 = std::conj(1.0 + zx / Rref) * v1;
    block[0][2 * k] = v0.real(), block[0][2 * k + 1] = v0.imag();
    block[1][2 * k] = v1.real(), block[1][2 * k + 1] = v1.imag();
    noise[k] = {1e-4, 1e-4, {0, 0}};
  }
  // Bin 300 is off by a lot, and its inputs were seen to scatter by as much.
  block[0][600] += 50;
  noise[300] = {1e4, 1e4, {0, 0}};
  TWaveData plain = block;
  const TLcrResult weighted = ComputeImpedanceBins(block, false, {1, 900}, Rref, true, Fs, noise);
  EXPECT_NEAR(weighted.R, 3.3, 1e-4);
  EXPECT_NEAR(weighted.L, 1e-3, 1e-8);
  EXPECT_GT(weighted.UR, 0);
  EXPECT_FALSE(weighted.ReadsAsResistor);
  const TLcrResult unweighted = ComputeImpedanceBins(plain, false, {1, 900}, Rref, true, Fs);
  EXPECT_GT(std::fabs(unweighted.R - 3.3), 10 * std::fabs(weighted.R - 3.3));
}

// Where the reference input carries a thousandth of the signal (10 kOhm against 10 ohm), a bin's
// own noisy reference spectrum must not set its weight: the bins where noise raised it would
// count more, and the mean reading would sit a few of its own uncertainties off.
TEST(LcrFit, AWeakReferenceInputLeavesNoBias) {
  constexpr int N = 2048, Bins = 939, Trials = 200;
  constexpr double Fs = 48000, Rref = 10, Rx = 1e4, Sigma = 0.1;
  std::mt19937 rng(11);
  std::normal_distribution<double> gauss(0, Sigma / std::sqrt(2.0));
  TNoiseSpectrum noise(N / 2, TBinCovariance{Sigma * Sigma, Sigma * Sigma, {0, 0}});
  double sumError = 0, sumU = 0;
  int within = 0;
  for (int trial = 0; trial < Trials; ++trial) {
    TWaveData block{TChannelData(N, 0.0), TChannelData(N, 0.0)};
    for (int k = 1; k <= Bins; ++k) {
      block[0][2 * k] = 1 + Rx / Rref + gauss(rng), block[0][2 * k + 1] = gauss(rng);
      block[1][2 * k] = 1 + gauss(rng), block[1][2 * k + 1] = gauss(rng);
    }
    const TLcrResult r = ComputeImpedanceBins(block, false, {1, Bins}, Rref, true, Fs, noise);
    ASSERT_TRUE(r.HasUncertainty);
    sumError += r.R - Rx, sumU += r.UR;
    within += std::fabs(r.R - Rx) <= 3 * r.UR;
  }
  EXPECT_LT(std::fabs(sumError / sumU), 0.5);
  EXPECT_GE(within, Trials * 95 / 100);
}

} // namespace
} // namespace sorvane
