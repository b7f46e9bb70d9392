#include "dravik/measure/uLCRAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>

namespace dravik {
namespace {

using LComplex = std::complex<long double>;
// Zx at an angular frequency, in the physics convention (an inductance has Im > 0).
using TImpedance = std::function<LComplex(long double omega)>;

TImpedance SeriesRL(long double r, long double l) {
  return [=](long double w) { return LComplex(r, w * l); };
}
TImpedance SeriesRC(long double r, long double c) {
  return [=](long double w) { return LComplex(r, -1 / (w * c)); };
}

// A block with one tone at each point k = 2^i; channel 0 is the voltage across Zx + Rref,
// channel 1 the voltage across Rref.
struct TSignal {
  TImpedance Zx;
  unsigned Fs = 48000;
  unsigned N = 2048;
  std::array<long double, 10> Amplitude = Equal(0.04L);

  static std::array<long double, 10> Equal(long double a) {
    std::array<long double, 10> all;
    all.fill(a);
    return all;
  }

  long double Omega(int i) const { return TwoPi * (1 << i) * Fs / N; }

  TDataMatrix Block(bool exchanged = false) const {
    TDataMatrix block(2, TDataVector(N, 0));
    for (int i = 0; i < 10; ++i) {
      const unsigned k = 1u << i;
      const LComplex h = 10.0L / (Zx(Omega(i)) + 10.0L);
      for (unsigned m = 0; m < N; ++m) {
        const LComplex u = std::polar(Amplitude[i], TwoPi * (k * m % N) / N + 0.7L * i);
        block[0][m] += u.real();
        block[1][m] += (h * u).real();
      }
    }
    if (exchanged) std::swap(block[0], block[1]);
    return block;
  }
};

class TRecordingOutput : public TAnalysisOutput {
public:
  void SetResistanceText(const std::string& text) override { R = text, ++Results; }
  void SetReactanceText(const std::string& text) override { Z = text; }
  void SetSeriesTitle(TSeriesId s, const std::string& t) override { Titles[Index(s)] = t; }
  void SetSeriesPoints(TSeriesId s, const TChartPoints& p) override { Points[Index(s)] = p; }
  static int Index(TSeriesId s) { return static_cast<int>(s); }

  std::string R, Z;
  int Results = 0;
  std::array<std::string, 3> Titles;
  std::array<TChartPoints, 3> Points;
};

class LCRAnalysis : public ::testing::Test {
protected:
  // Feeds a block after moving the clock on; true when the block produced a result.
  bool Feed(TDataMatrix block, double advanceMs = 0, unsigned fs = 48000, unsigned n = 2048) {
    Clock.AdvanceMs(advanceMs);
    const int before = Output.Results;
    EXPECT_FALSE(Analysis.AnalyseBlock(block, fs, n));
    return Output.Results > before;
  }
  const TChartPoints& Series(int i) const { return Output.Points[i]; }
  // The frequencies whose weight exceeds a tenth of the mean: those to be plotted.
  std::vector<int> Plotted() const {
    long double mean = 0;
    for (int i = 0; i < 10; ++i) mean += Analysis.WSum(i) / 10;
    std::vector<int> plotted;
    for (int i = 0; i < 10; ++i)
      if (10 * Analysis.WSum(i) > mean) plotted.push_back(i);
    return plotted;
  }

  platform::TManualClock Clock;
  TRecordingOutput Output;
  TLCRAnalysis Analysis{Output};
};

TEST_F(LCRAnalysis, FitsSeriesComponents) {
  struct Case { TImpedance zx; TReactanceKind kind; long double r, value; unsigned fs, n;
                const char *lblR, *lblZ; };
  const Case cases[] = {
      // Exactly 1 ohm and 1 mH (or 1 uF) come out within an ulp of the formatter's row limits,
      // where "1 Ohm" and "1E3 mOhm" are both right; their texts are not compared.
      {SeriesRL(1, 1e-3L), TReactanceKind::Inductance, 1, 1e-3L, 48000, 2048, nullptr, nullptr},
      {SeriesRC(5, 1e-6L), TReactanceKind::Capacitance, 5, 1e-6L, 48000, 2048, "Rx= 5 Ohm", nullptr},
      {SeriesRL(1.5L, 2.2e-3L), TReactanceKind::Inductance, 1.5L, 2.2e-3L, 48000, 2048,
       "Rx= 1.5 Ohm", "Lx= 2.2 mH"},
      {SeriesRC(4.7L, 3.3e-6L), TReactanceKind::Capacitance, 4.7L, 3.3e-6L, 44100, 2048,
       "Rx= 4.7 Ohm", "Cx= 3.3 \u00B5F"},
      {SeriesRL(3.3L, 4.7e-3L), TReactanceKind::Inductance, 3.3L, 4.7e-3L, 96000, 4096,
       "Rx= 3.3 Ohm", "Lx= 4.7 mH"},
      {SeriesRC(220, 1e-7L), TReactanceKind::Capacitance, 220, 1e-7L, 192000, 8192,
       "Rx= 220 Ohm", "Cx= 100 nF"},
  };
  for (const Case& c : cases) {
    for (const bool swap : {false, true}) {
      SCOPED_TRACE(testing::Message() << static_cast<double>(c.value) << (swap ? " swapped" : ""));
      const TSignal signal{c.zx, c.fs, c.n};
      Analysis.SetSwap(swap);
      ASSERT_TRUE(Feed(signal.Block(swap), 1000, c.fs, c.n));
      const TLCRFitResult& fit = Analysis.LastFit();
      EXPECT_NEAR(fit.R / c.r, 1, 1e-9L);
      EXPECT_EQ(fit.Kind, c.kind);
      EXPECT_NEAR(fit.Value / c.value, 1, 1e-9L);
      EXPECT_EQ(Output.R, c.lblR ? c.lblR : Output.R);
      EXPECT_EQ(Output.Z, c.lblZ ? c.lblZ : Output.Z);
      EXPECT_EQ(Output.Titles[2], c.kind == TReactanceKind::Inductance ? "Lx" : "Cx");
      const std::vector<int> plotted = Plotted();
      EXPECT_GE(plotted.size(), 4u);
      for (int s = 0; s < 3; ++s) ASSERT_EQ(Series(s).size(), plotted.size());
      for (std::size_t p = 0; p < plotted.size(); ++p) {
        const long double omega = signal.Omega(plotted[p]);
        const LComplex z = c.zx(omega);
        EXPECT_DOUBLE_EQ(Series(0)[p].X, static_cast<double>(omega / TwoPi));
        EXPECT_NEAR(Series(0)[p].Y, z.real(), 1e-9 * std::abs(z));
        EXPECT_NEAR(Series(1)[p].Y, z.imag(), 1e-9 * std::abs(z));
        EXPECT_NEAR(Series(2)[p].Y, z.imag(), 1e-9 * std::abs(z));
      }
    }
  }
}

TEST_F(LCRAnalysis, BlocksWithoutUsableBinsAddNothing) {
  const TSignal signal{SeriesRL(1, 1e-3L)};
  TDataMatrix silent = signal.Block(), equal = signal.Block(), broken = signal.Block();
  silent[0].assign(signal.N, 0); // X = 0 at every point
  equal[1] = equal[0];           // X = Y at every point
  broken[0][7] = std::nanl("");  // a block spoilt by a fault upstream
  for (const TDataMatrix& odd : {silent, equal, broken}) {
    ASSERT_TRUE(Feed(signal.Block(), 1000));
    ASSERT_FALSE(Feed(signal.Block(), 10));
    std::array<long double, 10> w;
    std::array<TComplex, 10> z;
    for (int i = 0; i < 10; ++i) w[i] = Analysis.WSum(i), z[i] = Analysis.ZSum(i);
    EXPECT_FALSE(Feed(odd, 10));
    EXPECT_EQ(Analysis.BlockCount(), 2);
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(Analysis.WSum(i), w[i]) << i;
      EXPECT_EQ(Analysis.ZSum(i).Re, z[i].Re) << i;
      EXPECT_EQ(Analysis.ZSum(i).Im, z[i].Im) << i;
    }
    ASSERT_TRUE(Feed(signal.Block(), 1000));
    EXPECT_NEAR(Analysis.LastFit().Value, 1e-3L, 1e-15L);
  }
}

TEST_F(LCRAnalysis, WeakFrequenciesNeitherEnterTheFitNorArePlotted) {
  for (const int weak : {2, 5, 9}) {
    SCOPED_TRACE(weak);
    TSignal signal{SeriesRL(1, 1e-3L)};
    signal.Amplitude[weak] = 1e-4L; // its weight falls far below a tenth of the mean
    const long double omegaWeak = signal.Omega(weak);
    // The weak frequency sees 2 ohm instead of 1: the fit must not hear of it.
    signal.Zx = [=](long double w) { return LComplex(w == omegaWeak ? 2 : 1, w * 1e-3L); };
    ASSERT_TRUE(Feed(signal.Block(), 1000));
    EXPECT_GT(Analysis.WSum(weak), 0);
    EXPECT_NEAR(Analysis.LastFit().R, 1, 1e-12L);
    EXPECT_NEAR(Analysis.LastFit().Value, 1e-3L, 1e-15L);
    const std::vector<int> plotted = Plotted();
    EXPECT_EQ(std::count(plotted.begin(), plotted.end(), weak), 0);
    for (int s = 0; s < 3; ++s) {
      ASSERT_EQ(Series(s).size(), plotted.size());
      for (std::size_t p = 0; p < plotted.size(); ++p)
        EXPECT_DOUBLE_EQ(Series(s)[p].X, static_cast<double>(signal.Omega(plotted[p]) / TwoPi));
    }
    // Plotted frequencies hold the impedance afterwards, the weak one the admittance.
    const LComplex admittance = 1.0L / signal.Zx(omegaWeak);
    EXPECT_NEAR(Analysis.ZSum(weak).Re, admittance.real(), 1e-6L);
    EXPECT_NEAR(Analysis.ZSum(plotted[0]).Re, 1, 1e-9L);
  }
}

// The test signal leaves the lowest point without a tone. With a high impedance the admittance
// read from its noise is a thousand times that of the real tones, so, weak as it is, it must not
// enter the fit.
TEST_F(LCRAnalysis, AToneLessPointOfNoiseDoesNotSwayAHighImpedance) {
  TSignal signal{SeriesRL(1e4L, 0)};
  signal.Amplitude[0] = 0;
  TDataMatrix block = signal.Block();
  uint32_t seed = 12345;
  for (auto& channel : block) {
    for (long double& x : channel) {
      seed = seed * 1664525u + 1013904223u;
      x += 1e-6L * (static_cast<long double>(seed) / 4294967296.0L - 0.5L);
    }
  }
  ASSERT_TRUE(Feed(block, 1000));
  EXPECT_NEAR(Analysis.LastFit().R / 1e4L, 1, 1e-3L);
}

TEST_F(LCRAnalysis, InductiveBelowCapacitiveAboveGivesNoReactance) {
  TSignal signal;
  signal.Zx = [&](long double w) {
    return w < signal.Omega(5) ? SeriesRL(2, 1e-3L)(w) : SeriesRC(2, 1e-6L)(w);
  };
  ASSERT_TRUE(Feed(signal.Block(), 1000));
  EXPECT_EQ(Output.R, "Rx= 2 Ohm");
  EXPECT_EQ(Output.Z, "Lx, Cx= ?");
  EXPECT_EQ(Output.Titles[2], " ");
  EXPECT_TRUE(Series(2).empty());
  EXPECT_EQ(Series(0).size(), Plotted().size());
}

TEST_F(LCRAnalysis, NoUsableDataShowsQuestionMarksAndKeepsRunning) {
  const TSignal signal{SeriesRL(2.2L, 1e-3L)};
  struct Case { long double ref; bool silent; };
  // 1e-4940 ohm overflows the normalisation; a silent input gives no weight at all.
  for (const Case c : {Case{0, false}, Case{-10, false}, Case{std::nanl(""), false},
                       Case{INFINITY, false}, Case{1e-4940L, false}, Case{10, true}}) {
    SCOPED_TRACE(static_cast<double>(c.ref));
    Analysis.SetRefResistance(c.ref);
    TDataMatrix block = signal.Block();
    if (c.silent) block = TDataMatrix(2, TDataVector(signal.N, 0));
    ASSERT_TRUE(Feed(block, 1000));
    EXPECT_EQ(Output.R, "Rx= ?");
    EXPECT_EQ(Output.Z, "Lx, Cx= ?");
    EXPECT_EQ(Output.Titles[2], " ");
    for (int s = 0; s < 3; ++s) EXPECT_TRUE(Series(s).empty());
    EXPECT_EQ(Analysis.BlockCount(), 0);
    Analysis.SetRefResistance(10);
    ASSERT_TRUE(Feed(signal.Block(), 1000));
    EXPECT_EQ(Output.R, "Rx= 2.2 Ohm");
  }
}

TEST(LCRFit, SumsThatDivideByZeroGiveNoValue) {
  struct Case { TLCRFitSums sums; bool hasR; TReactanceKind kind; long double value; };
  const Case cases[] = {
      {{0, 0, 0, 0, 0, 0, {}}, false, TReactanceKind::Unknown, 0},
      {{2, 1, 8, -4, 0.5L, -1, {}}, true, TReactanceKind::Inductance, 0.5L},
      {{2, 1, 8, 4, 0.5L, 1, {}}, true, TReactanceKind::Capacitance, 0.5L},
      {{2, 1, 8, 0, 0.5L, 0, {}}, true, TReactanceKind::Inductance, 0},   // purely resistive
      {{2, 1, 8, 4, 0.5L, 0, {}}, true, TReactanceKind::Unknown, 0},      // S6 = 0
      {{2, 1, 8, 4, 1e10L, 1e-4940L, {}}, true, TReactanceKind::Unknown, 0}, // C overflows
  };
  for (const Case& c : cases) {
    const TLCRFitResult fit = SolveLCRFit(c.sums);
    EXPECT_EQ(fit.HasResistance, c.hasR);
    EXPECT_EQ(fit.Kind, c.kind);
    EXPECT_EQ(fit.Value, c.value);
  }
}

TEST_F(LCRAnalysis, MalformedBlocksAreIgnored) {
  const TSignal signal{SeriesRL(1, 1e-3L)};
  const TDataVector good = signal.Block()[0];
  struct Case { TDataMatrix block; unsigned fs, n; };
  const Case cases[] = {
      {{TDataVector(1000, 0.1L), TDataVector(1000, 0.1L)}, 48000, 1000}, // no point 512
      {{TDataVector(3000, 0.1L), TDataVector(3000, 0.1L)}, 48000, 3000}, // not a power of two
      {{good, TDataVector(1024, 0.1L)}, 48000, 2048},                     // lengths differ
      {{good}, 48000, 2048},                                              // one channel
      {{good, good}, 0, 2048},
      {{good, good}, 48000, 0},
  };
  for (const Case& c : cases) {
    TDataMatrix block = c.block;
    EXPECT_FALSE(Feed(block, 1000, c.fs, c.n));
    EXPECT_EQ(Analysis.BlockCount(), 0);
  }
  EXPECT_EQ(Output.Results, 0);
}

TEST_F(LCRAnalysis, ResultsComeAtMostOncePerSecond) {
  const TDataMatrix block = TSignal{SeriesRL(1, 1e-3L)}.Block();
  struct Step { double advanceMs; bool result; int32_t blockCount; };
  const Step steps[] = {
      {0, true, 0},         // the first block after creation
      {500, false, 1},   {499, false, 2}, {1, true, 0},   // 1000 ms after the previous result
      {999.4, false, 1}, {0.2, true, 0},                  // 999.6 ms rounds to 1000
      {10, false, 1},    {-60000, true, 0},               // a clock set back
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.advanceMs);
    EXPECT_EQ(Feed(block, s.advanceMs), s.result);
    EXPECT_EQ(Analysis.BlockCount(), s.blockCount);
    if (s.result) {
      EXPECT_EQ(Analysis.LastResultTime(), Clock.Now());
    }
  }
}

TEST_F(LCRAnalysis, ResetBlockCountStartsAFreshAverage) {
  const TSignal rl{SeriesRL(1, 1e-3L)}, rc{SeriesRC(5, 3.3e-6L)};
  ASSERT_TRUE(Feed(rl.Block(), 0));
  Feed(rl.Block(), 10);
  Analysis.ResetBlockCount();
  ASSERT_TRUE(Feed(rc.Block(), 1000)); // only this block is in the sums
  EXPECT_EQ(Output.Z, "Cx= 3.3 \u00B5F");
}

TEST_F(LCRAnalysis, WaveformViewShowsTheFirstTenMilliseconds) {
  struct Case { unsigned fs; std::size_t length0, length1, points; };
  for (const Case c : {Case{44100, 2048, 2048, 441}, Case{44100, 300, 300, 299},
                       Case{22050, 2048, 2048, 220}, Case{192000, 8192, 8192, 1920},
                       Case{48000, 2048, 100, 100}, Case{48000, 0, 0, 0},
                       Case{0, 2048, 2048, 0}}) {
    SCOPED_TRACE(c.fs);
    TDataMatrix block{TDataVector(c.length0), TDataVector(c.length1)};
    for (std::size_t m = 0; m < c.length0; ++m) block[0][m] = m * 1e-4L;
    for (std::size_t m = 0; m < c.length1; ++m) block[1][m] = -(m * 1e-4L);
    Output.Points[2] = {{1, 1}};
    Analysis.ShowWaveforms(block, c.fs);
    ASSERT_EQ(Series(0).size(), c.points);
    ASSERT_EQ(Series(1).size(), c.points);
    EXPECT_TRUE(Series(2).empty());
    for (std::size_t m = 0; m < c.points; ++m) {
      EXPECT_DOUBLE_EQ(Series(0)[m].X, m * 1000.0 / c.fs);
      EXPECT_EQ(Series(0)[m].Y, static_cast<double>(block[0][m]));
      EXPECT_EQ(Series(1)[m].Y, static_cast<double>(block[1][m]));
    }
  }
}

} // namespace
} // namespace dravik
