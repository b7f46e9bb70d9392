// The analysis's whole-signal points, its uncertainties, the inputs' response and the readout.
#include "dravik/measure/uInputResponse.h"
#include "dravik/measure/uLCRAnalysis.h"
#include "dravik/measure/uReadout.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <random>

namespace dravik {
namespace {

using LComplex = std::complex<long double>;
constexpr unsigned Fs = 48000;
constexpr unsigned N = 2048;

long double Omega(int i) { return TwoPi * AnalysisBin(i) * Fs / N; }

TDataVector Transformed(TDataVector x) {
  Four1(x.data(), static_cast<int>(x.size() / 2), 1);
  return x;
}

TEST(RealSpectrum, EveryBinEqualsTheDirectTransformOfTheRealSamples) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise;
  TDataVector x(N);
  for (auto& v : x) v = noise(random);
  const TDataVector packed = Transformed(x);
  for (const std::size_t k : {0u, 1u, 2u, 3u, 512u, 1000u, 1023u, 1024u}) {
    SCOPED_TRACE(k);
    LComplex direct = 0;
    for (std::size_t n = 0; n < N; ++n) direct += x[n] * std::polar(1.0L, TwoPi * (k * n % N) / N);
    const TComplex bin = RealSpectrumBin(packed, k);
    EXPECT_NEAR(static_cast<double>(bin.Re), static_cast<double>(direct.real()), 1e-9);
    EXPECT_NEAR(static_cast<double>(bin.Im), static_cast<double>(direct.imag()), 1e-9);
  }
}

TEST(RealSpectrum, APointNoLongerHearsItsMirrorFrequency) {
  // A tone at N/2 - 4 cycles per block lands on packed point 4 as well; the real spectrum at
  // bin 4 holds nothing of it.
  TDataVector x(N);
  for (std::size_t n = 0; n < N; ++n) x[n] = std::cos(TwoPi * ((N / 2 - 4) * n % N) / N);
  const TDataVector packed = Transformed(x);
  EXPECT_GT(std::hypot(packed[8], packed[9]), 100);
  const TComplex bin = RealSpectrumBin(packed, 4);
  EXPECT_LT(std::hypot(static_cast<double>(bin.Re), static_cast<double>(bin.Im)), 1e-9);
}

// Zx in the physics convention (an inductance has Im > 0).
using TImpedance = std::function<LComplex(long double omega)>;

// Blocks with a tone at every analysis point, channel 0 across the pair and channel 1 across
// the reference resistor, white noise sigma on each input, channel 1 seen through `response`.
struct TNoisySignal {
  TImpedance Zx;
  long double Rref = 10;
  long double Amplitude = 0.04L;
  long double Sigma = 0;
  std::function<LComplex(int point)> Response = [](int) { return LComplex(1); };

  LComplex Ratio(int i) const { return Rref / (Zx(Omega(i)) + Rref); }

  TDataMatrix Clean() const {
    TDataMatrix block(2, TDataVector(N, 0));
    for (int i = 0; i < AnalysisPointCount; ++i) {
      const std::size_t k = AnalysisBin(i);
      for (std::size_t m = 0; m < N; ++m) {
        const LComplex u = std::polar(Amplitude, TwoPi * (k * m % N) / N + 0.3L * i);
        block[0][m] += u.real();
        block[1][m] += (Ratio(i) * Response(i) * u).real();
      }
    }
    return block;
  }

  // The smallest standard deviation of R and of L (or C) from `blocks` blocks: each point's
  // Z = Rref (U - V) / V has per part the variance Rref² (v/|V|² + |U|² v/|V|⁴), v = N σ²/2.
  std::pair<long double, long double> Bound(long double blocks, bool capacitive,
                                            long double c = 0) const {
    const long double v = N * Sigma * Sigma / 2, u2 = std::norm(Amplitude * N / 2);
    long double infoR = 0, infoX = 0;
    for (int i = 0; i < AnalysisPointCount; ++i) {
      const long double v2 = u2 * std::norm(Ratio(i)), w = Omega(i);
      const long double s = Rref * Rref * (v / v2 + u2 * v / (v2 * v2));
      infoR += 1 / s;
      infoX += capacitive ? 1 / (w * w * c * c * c * c * s) : w * w / s;
    }
    return {1 / std::sqrt(infoR * blocks), 1 / std::sqrt(infoX * blocks)};
  }
};

class Analysis : public ::testing::Test {
protected:
  // One result from `blocks` blocks (the clock moves on by a second before the last one).
  TLCRFitResult Reading(const TNoisySignal& signal, int blocks) {
    analysis.SetRefResistance(signal.Rref);
    analysis.ResetBlockCount();
    const TDataMatrix clean = signal.Clean();
    std::normal_distribution<long double> noise(0, signal.Sigma);
    for (int b = 0; b < blocks; ++b) {
      clock.AdvanceMs(b + 1 == blocks ? 1000 : 0);
      TDataMatrix block = clean;
      if (signal.Sigma > 0)
        for (auto& channel : block)
          for (auto& v : channel) v += noise(random);
      analysis.AnalyseBlock(block, Fs, N);
    }
    return analysis.LastFit();
  }

  platform::TManualClock clock;
  TNoAnalysisOutput output;
  TLCRAnalysis analysis{output};
  std::mt19937 random{2024};
};

TEST_F(Analysis, UncertaintiesAreHonestAndNearTheBound) {
  struct Case {
    const char* name;
    TNoisySignal signal;
    long double r, x;
    bool capacitive;
  };
  const Case cases[] = {
      {"2.2 mH + 1.5 ohm", {[](long double w) { return LComplex(1.5L, w * 2.2e-3L); }, 10, 0.04L, 3e-5L},
       1.5L, 2.2e-3L, false},
      {"1 uF + 0.1 ohm", {[](long double w) { return LComplex(0.1L, -1 / (w * 1e-6L)); }, 100, 0.04L, 3e-5L},
       0.1L, 1e-6L, true},
      {"47 ohm", {[](long double) { return LComplex(47); }, 100, 0.04L, 1e-4L}, 47, 0, false},
  };
  constexpr int Readings = 60, Blocks = 23;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reading(c.signal, 1);
    long double z2 = 0, u2 = 0;
    int outside = 0;
    for (int r = 0; r < Readings; ++r) {
      const TLCRFitResult fit = Reading(c.signal, Blocks);
      ASSERT_TRUE(fit.HasUncertainty);
      const long double z = (fit.R - c.r) / fit.UR;
      z2 += z * z / Readings;
      u2 += fit.UR * fit.UR / Readings;
      outside += std::fabs(z) > 3;
      if (c.x > 0) {
        const long double zx = (fit.Value - c.x) / fit.UValue;
        outside += std::fabs(zx) > 3;
        z2 += zx * zx / Readings;
      }
    }
    const long double count = c.x > 0 ? 2 : 1;
    EXPECT_GT(std::sqrt(z2 / count), 0.75L);
    EXPECT_LT(std::sqrt(z2 / count), 1.3L);
    EXPECT_LE(outside, 3); // of 60 or 120 errors, each a normal one outside 3 with p = 0.27 %
    const long double bound = c.signal.Bound(Blocks, c.capacitive, c.x).first;
    EXPECT_LT(std::sqrt(u2), 1.5L * bound);
    EXPECT_GT(std::sqrt(u2), 0.9L * bound);
  }
}

TEST_F(Analysis, ASingleBlockGivesAReadingWithoutUncertainty) {
  const TNoisySignal signal{[](long double w) { return LComplex(1, w * 1e-3L); }, 10, 0.04L, 3e-5L};
  const TLCRFitResult fit = Reading(signal, 1);
  EXPECT_TRUE(fit.HasResistance);
  EXPECT_FALSE(fit.HasUncertainty);
  EXPECT_NE(ReadoutText(fit).find("± ?"), std::string::npos);
}

TEST_F(Analysis, TheResponseIsDividedOutAtItsOwnRateAndBlockLengthOnly) {
  // A 1/f phase and a small gain difference, as inputs with different AC-coupling corners have.
  const auto card = [](int i) { return std::polar(0.99L + 0.001L * i, 0.4L * N / (Fs * AnalysisBin(i))); };
  TNoisySignal signal{[](long double w) { return LComplex(40, w * 0.47L); }, 1000, 0.04L, 0};
  signal.Response = card;
  TInputResponse response;
  response.Rate = Fs;
  response.Frames = N;
  for (int i = 0; i < AnalysisPointCount; ++i) {
    // The transform's conjugate convention: a ratio h appears as conj(h) on the bins.
    const LComplex h = std::conj(card(i));
    response.Points[static_cast<std::size_t>(i)].Ratio = {h.real(), h.imag()};
  }
  struct Case { uint32_t rate, frames; bool corrected; };
  for (const Case c : {Case{Fs, N, true}, Case{96000, N, false}, Case{Fs, 4096, false}}) {
    response.Rate = c.rate;
    response.Frames = c.frames;
    analysis.SetResponse(response);
    const TLCRFitResult fit = Reading(signal, 2);
    EXPECT_EQ(std::fabs(fit.R / 40 - 1) < 1e-6L, c.corrected) << fit.R;
    EXPECT_EQ(std::fabs(fit.Value / 0.47L - 1) < 1e-6L, c.corrected) << fit.Value;
  }
}

TEST(ResponseMeter, MeasuresTheRatioAndRefusesWhatNoCardGives) {
  struct Case {
    const char* name;
    LComplex ratio;
    long double level1;
    TResponseOutcome outcome;
  };
  const Case cases[] = {
      {"a card's inputs", std::polar(1.002L, 0.01L), 1, TResponseOutcome::Measured},
      {"one input 3 times the other", 3, 1, TResponseOutcome::Implausible},
      {"channel 1 silent", 1, 0, TResponseOutcome::NoSignal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(3);
    std::normal_distribution<long double> noise(0, 3e-5L);
    TResponseMeter meter;
    meter.Start(Fs, N);
    EXPECT_EQ(meter.BlocksNeeded(), 94); // four seconds of blocks
    bool enough = false;
    for (int b = 0; b < meter.BlocksNeeded(); ++b) {
      TDataMatrix block(2, TDataVector(N, 0));
      // Tones at points 2 .. 512, none at point 1, as the multi-tone plays them.
      for (int i = 1; i < AnalysisPointCount; ++i)
        for (std::size_t m = 0; m < N; ++m) {
          const LComplex u = std::polar(0.04L, TwoPi * (AnalysisBin(i) * m % N) / N);
          block[0][m] += u.real();
          block[1][m] += c.level1 * (c.ratio * u).real();
        }
      for (auto& channel : block)
        for (auto& v : channel) v += noise(random);
      EXPECT_EQ(enough, false);
      enough = meter.AddBlock(block);
    }
    EXPECT_TRUE(enough);
    TInputResponse response;
    ASSERT_EQ(meter.Result(response), c.outcome);
    if (c.outcome != TResponseOutcome::Measured) {
      EXPECT_FALSE(response.Measured()); // left as it was
      continue;
    }
    EXPECT_EQ(response.Rate, Fs);
    EXPECT_EQ(response.Frames, N);
    // Point 1 heard no tone: no correction there.
    EXPECT_EQ(response.Points[0].Ratio.Re, 1);
    EXPECT_EQ(response.Points[0].Variance, 0);
    for (int i = 1; i < AnalysisPointCount; ++i) {
      const TResponsePoint& p = response.Points[static_cast<std::size_t>(i)];
      EXPECT_NEAR(static_cast<double>(p.Ratio.Re), static_cast<double>(c.ratio.real()), 1e-4);
      EXPECT_NEAR(static_cast<double>(p.Ratio.Im), static_cast<double>(-c.ratio.imag()), 1e-4);
      EXPECT_GT(p.Variance, 0);
      EXPECT_LT(p.Variance, 1e-8L);
    }
    EXPECT_NEAR(static_cast<double>(response.LargestPhaseDifference()), 0.01, 1e-4);
    EXPECT_NEAR(static_cast<double>(response.LargestGainDifference()), 0.002, 1e-4);
  }
}

TEST(LCRFit, UncertaintiesFollowTheFitToFirstOrder) {
  // Each fitted value's variance is the sum over the points of its gradient times the point's
  // covariance: compare with the change the fit itself shows when one part of one point moves.
  struct Case { const char* name; std::function<LComplex(long double)> zx; };
  const Case cases[] = {{"R-L", [](long double w) { return LComplex(3.3L, w * 1e-3L); }},
                        {"R-C", [](long double w) { return LComplex(0.2L, -1 / (w * 1e-5L)); }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TFitPoint> points;
    for (int i = 1; i < AnalysisPointCount; ++i) {
      const LComplex a = 1.0L / c.zx(Omega(i));
      const long double s = 1e-6L * std::norm(a);
      points.push_back({1 + 0.1L * i, {a.real(), -a.imag()}, Omega(i), {s, 2 * s, 0.5L * s}, true});
    }
    const auto solve = [](const std::vector<TFitPoint>& ps) {
      TLCRFitSums sums;
      for (const auto& p : ps) sums.Add(p);
      return SolveLCRFit(sums);
    };
    const TLCRFitResult fit = solve(points);
    ASSERT_TRUE(fit.HasUncertainty);
    long double varR = 0, varX = 0;
    for (std::size_t p = 0; p < points.size(); ++p) {
      long double dR[2], dX[2];
      for (int part = 0; part < 2; ++part) {
        std::vector<TFitPoint> moved = points;
        long double& value = part == 0 ? moved[p].Admittance.Re : moved[p].Admittance.Im;
        const long double h = 1e-7L * std::sqrt(ComplexSqrAbs(points[p].Admittance));
        value += h;
        const TLCRFitResult up = solve(moved);
        dR[part] = (up.R - fit.R) / h;
        dX[part] = (up.Value - fit.Value) / h;
      }
      const TAdmittanceCovariance& k = points[p].Covariance;
      varR += dR[0] * dR[0] * k.ReRe + dR[1] * dR[1] * k.ImIm + 2 * dR[0] * dR[1] * k.ReIm;
      varX += dX[0] * dX[0] * k.ReRe + dX[1] * dX[1] * k.ImIm + 2 * dX[0] * dX[1] * k.ReIm;
    }
    EXPECT_NEAR(static_cast<double>(fit.UR / std::sqrt(varR)), 1, 1e-4);
    EXPECT_NEAR(static_cast<double>(fit.UValue / std::sqrt(varX)), 1, 1e-4);
  }
}

TEST(Readout, DigitsFollowTheUncertainty) {
  struct Case { long double value, u; bool known; const char* unit; const char* text; };
  const Case cases[] = {
      {3.300123L, 0.000346L, true, "Ohm", "3.30012 ± 0.00035 Ohm"},
      {999.8712e-6L, 5.1e-9L, true, "H", "999.8712 ± 0.0051 µH"},
      {47.3L, 12.6L, true, "Ohm", "47 ± 13 Ohm"},
      {1.0e-8L, 2.2e-11L, true, "F", "10.000 ± 0.022 nF"},
      {2.6e-3L, 0.01L, true, "Ohm", "3 ± 10 mOhm"},
      {12345.6L, 0.05L, true, "Ohm", "12.345600 ± 0.000050 kOhm"},
      {3.3L, 0, false, "Ohm", "3.3 ± ? Ohm"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatMeasured(c.value, c.u, c.known, c.unit), c.text);
}

TEST(Readout, ValuesThatCannotBeToldFromZeroSaySo) {
  TLCRFitResult fit;
  fit.HasResistance = fit.HasUncertainty = true;
  fit.Strongest = {750, {3, 4}, 0.01L, 0.001L};
  struct Case {
    long double r, ur, value, uvalue;
    TReactanceKind kind;
    const char* lines[2];
  };
  const Case cases[] = {
      {3.3L, 1e-4L, 1e-3L, 1e-7L, TReactanceKind::Inductance, {"R = 3.30000 ± 0.00010 Ohm", "L = 1.00000 ± 0.00010 mH"}},
      {-0.0021L, 0.0015L, 2e-6L, 1e-9L, TReactanceKind::Capacitance, {"R < 3.0 mOhm", "C = 2.0000 ± 0.0010 µF"}},
      {0.0021L, 0.0015L, 7e-3L, 1, TReactanceKind::Capacitance, {"R < 5.1 mOhm", "Reads as a resistor: no L or C above the noise"}},
      {47, 1e-3L, 1e-9L, 1e-9L, TReactanceKind::Inductance, {"R = 47.0000 ± 0.0010 Ohm", "Reads as a resistor: no L or C above the noise"}},
  };
  for (const Case& c : cases) {
    fit.R = c.r, fit.UR = c.ur, fit.Value = c.value, fit.UValue = c.uvalue, fit.Kind = c.kind;
    fit.L = c.kind == TReactanceKind::Inductance ? c.value : -1, fit.UL = c.uvalue;
    const std::string text = ReadoutText(fit);
    EXPECT_EQ(text.substr(0, text.find('\n')), c.lines[0]);
    EXPECT_NE(text.find(std::string("\n") + c.lines[1] + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("|Z| = 5.000 ± 0.010 Ohm at 750 Hz\nPhase = 53.130 ± 0.057°"), std::string::npos) << text;
  }
}

} // namespace
} // namespace dravik
