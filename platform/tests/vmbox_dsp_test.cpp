// The numeric parts of the virtual box: FFT, partitioned convolution, the jig's physics, the
// frequency-sampled filters, the noise and the bridge between output and input clocks.

#include "platform/vmbox/uBoxCircuit.h"
#include "platform/vmbox/uBoxClockBridge.h"
#include "platform/vmbox/uBoxConvolver.h"
#include "platform/vmbox/uBoxFft.h"
#include "platform/vmbox/uBoxFilterDesign.h"
#include "platform/vmbox/uBoxNoise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace platform::vmbox {
namespace {

using TC = std::complex<double>;
constexpr double Pi = std::numbers::pi;

std::vector<double> Random(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> v(n);
  for (auto& x : v) x = u(rng);
  return v;
}

// The response of an FIR at any frequency (nu = f / fs), summed in extended precision.
TC FirResponse(const std::vector<double>& h, double nu) {
  long double re = 0, im = 0;
  for (size_t n = 0; n < h.size(); ++n) {
    const long double a = -2.0L * std::numbers::pi_v<long double> * nu * (long double)n;
    re += h[n] * std::cos(a);
    im += h[n] * std::sin(a);
  }
  return {double(re), double(im)};
}

TEST(BoxFft, MatchesAnExtendedPrecisionDftAndInvertsItself) {
  for (size_t n : {2u, 8u, 64u, 1024u}) {
    const auto x = Random(n, unsigned(n));
    const TRealFft fft(n);
    std::vector<TC> X(fft.Bins());
    fft.Forward(x.data(), X.data());
    double err = 0, norm = 0;
    for (size_t k = 0; k < fft.Bins(); ++k) {
      const TC ref = FirResponse(x, double(k) / double(n));
      err += std::norm(X[k] - ref);
      norm += std::norm(ref);
    }
    EXPECT_LT(std::sqrt(err / norm), 1e-15) << "n=" << n;
    std::vector<double> back(n);
    fft.Inverse(X.data(), back.data());
    for (size_t i = 0; i < n; ++i) ASSERT_NEAR(back[i], x[i], 1e-14) << "n=" << n << " i=" << i;
  }
}

TEST(BoxConvolver, EqualsDirectConvolutionWhateverTheChunking) {
  struct Case {
    size_t block, tapsL, tapsR;
    std::vector<size_t> chunks;
  };
  const Case cases[] = {
      {4, 3, 11, {1, 2, 3, 5, 8}},    // filters shorter and longer than a block
      {16, 64, 64, {16, 16, 100, 7}}, // several partitions, aligned and not
      {8, 1, 40, {1000}},             // one call spanning many blocks
  };
  for (const Case& c : cases) {
    const auto hl = Random(c.tapsL, 1), hr = Random(c.tapsR, 2), x = Random(600, 3);
    TStereoConvolver conv(c.block);
    conv.SetFilters(hl, hr);
    std::vector<double> yl(x.size()), yr(x.size());
    for (size_t done = 0, i = 0; done < x.size(); ++i) {
      const size_t n = std::min(c.chunks[i % c.chunks.size()], x.size() - done);
      conv.Process(x.data() + done, n, yl.data() + done, yr.data() + done);
      done += n;
    }
    for (size_t n = 0; n < x.size(); ++n) {
      double l = 0, r = 0;
      for (size_t k = 0; k <= n; ++k) {
        if (k < hl.size()) l += hl[k] * x[n - k];
        if (k < hr.size()) r += hr[k] * x[n - k];
      }
      ASSERT_NEAR(yl[n], l, 1e-12) << "block " << c.block << " frame " << n;
      ASSERT_NEAR(yr[n], r, 1e-12) << "block " << c.block << " frame " << n;
    }
  }
}

TEST(BoxConvolver, NewFiltersActOnTheWholeHistoryAndResetForgetsIt) {
  const auto a = Random(40, 4), b = Random(40, 5), x = Random(200, 6);
  TStereoConvolver conv(16);
  conv.SetFilters(a, a);
  std::vector<double> yl(200), yr(200);
  conv.Process(x.data(), 123, yl.data(), yr.data());
  conv.SetFilters(b, a); // same partition count: the history stays
  conv.Process(x.data() + 123, 77, yl.data() + 123, yr.data() + 123);
  for (size_t n = 123; n < 200; ++n) {
    double l = 0;
    for (size_t k = 0; k < b.size() && k <= n; ++k) l += b[k] * x[n - k];
    ASSERT_NEAR(yl[n], l, 1e-12) << n;
  }
  conv.Reset();
  double l0, r0;
  conv.Process(x.data(), 1, &l0, &r0);
  EXPECT_NEAR(l0, b[0] * x[0], 1e-15);
}

TEST(BoxCircuit, TransfersAndTimeConstantsOfTheJig) {
  const double rs = 2.0;
  struct Case {
    TCircuit c;
    double f;
    double tau;
  };
  const Case cases[] = {
      {{3.3, 1e-3, 0, 10, false}, 1000, 1e-3 / 15.3},
      {{0.2, 0, 10e-6, 10, false}, 50, 12.2 * 10e-6},
      {{47, 0, 0, 10, false}, 10, 0},
      {{0, 1e-3, 1e-6, 10, false}, 5000, 2e-3 / 12}, // ringing
      {{1000, 1e-3, 1e-6, 10, false}, 5000, (1012e-6 + std::sqrt(1012e-6 * 1012e-6 - 4e-9)) / 2},
      {{5, 1, 1, 10, true}, 100, 0}, // shorted
  };
  for (const Case& c : cases) {
    const TC z = Impedance(c.c, c.f);
    const TJigTransfer t = JigTransfer(c.c, rs, c.f);
    EXPECT_NEAR(std::abs(t.Left - (z + c.c.Rref) / (rs + z + c.c.Rref)), 0, 1e-14);
    EXPECT_NEAR(std::abs(t.Right - c.c.Rref / (rs + z + c.c.Rref)), 0, 1e-14);
    EXPECT_NEAR(TimeConstant(c.c, rs), c.tau, 1e-12 + 1e-9 * c.tau);
  }
  // A capacitor blocks DC: finite transfers, all of the source at the top of the pair.
  const TJigTransfer dc = JigTransfer({1, 0, 1e-6, 10, false}, rs, 0);
  EXPECT_EQ(dc.Left, TC(1.0));
  EXPECT_EQ(dc.Right, TC(0.0));
}

TEST(BoxFilterDesign, AntiAliasIsFlatThenZeroAndDecaysWithinItsHalfWidth) {
  for (double edge : {0.45, 0.455, 0.47}) {
    EXPECT_NEAR(AntiAlias(0.2, edge), 1.0, 1e-13);
    EXPECT_NEAR(AntiAlias(edge, edge), 1.0, 1e-13);
    EXPECT_NEAR(AntiAlias(0.4999, edge), 0.0, 1e-12);
    EXPECT_NEAR(AntiAlias(0.5 * (edge + 0.5), edge), 0.5, 1e-15);
    EXPECT_EQ(AntiAlias(-0.3, edge), AntiAlias(0.3, edge));
  }
  EXPECT_LT(AntiAliasHalfWidth(0.45), AntiAliasHalfWidth(0.47));
  EXPECT_EQ(FilterTapsFor(0, 48000, 500), MinFilterTaps);
  EXPECT_EQ(FilterTapsFor(0.05, 48000, 500), 131072u); // 30 * 2400 + 1000 frames
  EXPECT_EQ(FilterTapsFor(100, 192000, 500), MaxFilterTaps);
}

TEST(BoxFilterDesign, FirMatchesTheAnalogTransferBetweenTheGridPoints) {
  const double fs = 48000, rs = 2.2, edge[2] = {0.455, 0.45};
  const TCircuit circuits[] = {{3.3, 1e-3, 0, 10, false}, {0.2, 0, 10e-6, 10, false}};
  for (const TCircuit& c : circuits) {
    const size_t delay = AntiAliasHalfWidth(0.45);
    const size_t taps = FilterTapsFor(TimeConstant(c, rs), fs, delay);
    const TJigFilters h = DesignJigFilters(c, rs, edge, fs, taps, delay);
    for (double f : {31.7, 1234.5, 20001.3}) {
      const TJigTransfer t = JigTransfer(c, rs, f);
      const TC shift = std::polar(1.0, -2 * Pi * f / fs * double(delay));
      EXPECT_LT(std::abs(FirResponse(h.Left, f / fs) - t.Left * shift), 1e-11) << f;
      EXPECT_LT(std::abs(FirResponse(h.Right, f / fs) - t.Right * shift), 1e-11) << f;
    }
  }
}

TEST(BoxNoise, StandardNormalAndRepeatable) {
  TGaussianNoise a(7), b(7), c(8);
  const int n = 200000;
  double sum = 0, sq = 0;
  bool differs = false;
  for (int i = 0; i < n; ++i) {
    const double v = a.Next();
    ASSERT_EQ(v, b.Next());
    differs = differs || v != c.Next();
    sum += v;
    sq += v * v;
  }
  EXPECT_TRUE(differs);
  EXPECT_NEAR(sum / n, 0, 0.01);
  EXPECT_NEAR(std::sqrt(sq / n), 1, 0.01);
  a.Restart();
  TGaussianNoise fresh(7);
  EXPECT_EQ(a.Next(), fresh.Next());
}

TEST(BoxClockBridge, DelaysUnderrunsIntoSilenceAndDropsWhatCannotWait) {
  TClockBridge bridge(3, 0, 10);
  const double out[5] = {1, 2, 3, 4, 5};
  double in[8];
  bridge.Write(out, 5, 2.0);
  bridge.Read(in, 8); // 3 frames of delay, the 5 frames, then 0 (nothing played)
  const double expected[8] = {0, 0, 0, 2, 4, 6, 8, 10};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(in[i], expected[i]) << i;
  bridge.Read(in, 2); // underrun: silence
  EXPECT_EQ(in[0], 0);
  bridge.Write(out, 2, 1.0); // plays after the silence
  bridge.Read(in, 2);
  EXPECT_EQ(in[0], 1);
  EXPECT_EQ(in[1], 2);
  std::vector<double> many(8300, 1.0); // more than delay + 8192 frames may wait
  many.back() = 9;
  bridge.Write(many.data(), many.size(), 1.0);
  bridge.Read(in, 4);
  EXPECT_EQ(in[3], 1.0);
  std::vector<double> rest(8192);
  bridge.Read(rest.data(), rest.size());
  EXPECT_EQ(rest[8190], 9) << "the oldest frames were dropped, the newest kept";
  EXPECT_EQ(rest[8191], 0);
  EXPECT_EQ(TClockBridge(0, 0, 48000).OutputFramesFor(1000000), 1000000u);
  EXPECT_EQ(TClockBridge(0, 100, 48000).OutputFramesFor(1000000), 1000100u);
  EXPECT_EQ(TClockBridge(0, -100, 48000).OutputFramesFor(1000000), 999900u);
}

} // namespace
} // namespace platform::vmbox
