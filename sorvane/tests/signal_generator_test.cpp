// The test signal: the chirp's exactly flat spectrum, the multi-tone's stored signs, the
// normalisation span and the 16-bit codes it becomes.

#include "sorvane/engine/uTestSignal.h"
#include "sorvane/engine/uWaveOut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "sorvane/numeric/uFFT.h"

namespace sorvane {
namespace {

// The generated signal's packed spectrum; checks its span on the way.
std::vector<double> Spectrum(int n, int kLo, int kHi, double level = 1) {
  std::vector<double> x(n, 123.0);
  GenerateTestSignal(x.data(), n, kLo, kHi, level);
  const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
  EXPECT_NEAR(*hi, 0.9995 * level, 1e-12);
  EXPECT_NEAR(*lo, -0.9995 * level, 1e-12);
  RealFFT(x.data(), n, true);
  return x;
}

TEST(TestSignal, ChirpSpectrumIsFlatInsideTheRangeAndZeroOutside) {
  struct TCase {
    int n, kLo, kHi;
  };
  for (const TCase& c : {TCase{2048, 17, 939}, {2048, 1, 1023}, {4096, 100, 101}, {8192, 40, 3900},
                         {2048, 19, 19}}) {
    SCOPED_TRACE(testing::Message() << c.n << ": " << c.kLo << ".." << c.kHi);
    const auto s = Spectrum(c.n, c.kLo, c.kHi);
    const double ref = c.kLo == c.kHi ? 0.9995 * c.n / 2 : std::hypot(s[2 * c.kLo], s[2 * c.kLo + 1]);
    for (int k = 1; k < c.n / 2; ++k) {
      const double inside = k >= c.kLo && k <= c.kHi ? ref : 0;
      ASSERT_NEAR(std::hypot(s[2 * k], s[2 * k + 1]), inside, 1e-10 * ref) << "bin " << k;
    }
  }
}

TEST(TestSignal, MultiToneTakesItsSignsFromTheMaskTable) {
  struct TCase {
    int kLo, kHi;
    uint32_t mask;
  };
  for (const TCase& c : {TCase{1, 3, 0x3}, {2, 5, 0x4}, {1, 16, 0x135E}, {3, 16, 0x3ED4},
                         {5, 16, 0x1DB0}, {7, 12, 0x2C0}, {11, 16, 0x2C00}, {4, 4, 0}}) {
    SCOPED_TRACE(testing::Message() << c.kLo << ".." << c.kHi);
    EXPECT_EQ(MultiToneMask(c.kLo, c.kHi), c.mask);
    const auto s = Spectrum(2048, c.kLo, c.kHi);
    const double ref = std::fabs(s[2 * c.kLo]);
    for (int k = 1; k < 1024; ++k) {
      const double sign = k <= 16 && (c.mask >> (k - 1)) & 1 ? -1.0 : 1.0;
      ASSERT_NEAR(s[2 * k], k >= c.kLo && k <= c.kHi ? sign * ref : 0.0, 1e-9 * ref) << k;
      ASSERT_NEAR(s[2 * k + 1], 0.0, 1e-9 * ref) << k;
    }
  }
  EXPECT_EQ(MultiToneMask(3, 2) + MultiToneMask(1, 17), 0u);
}

TEST(TestSignal, LevelScalesEverySampleAndLevelOneGivesPeakCodes32751) {
  std::vector<double> full(4096), half(4096);
  GenerateTestSignal(full.data(), 4096, 30, 1500, 1.0);
  GenerateTestSignal(half.data(), 4096, 30, 1500, 0.5);
  for (size_t i = 0; i < full.size(); ++i) ASSERT_DOUBLE_EQ(half[i], full[i] / 2) << i;
  EXPECT_EQ(SampleCode(*std::max_element(full.begin(), full.end())), 32751);
  EXPECT_EQ(SampleCode(*std::min_element(full.begin(), full.end())), -32751);
  // Truncation toward zero, held in range; not-a-number is silence.
  EXPECT_EQ(SampleCode(-1.9 / 32767.5), -1);
  EXPECT_EQ(SampleCode(1.5), 32767);
  EXPECT_EQ(SampleCode(-1.5), -32768);
  EXPECT_EQ(SampleCode(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(TestSignal, ArgumentsOutsideTheRulesGiveSilence) {
  struct TCase {
    int n, kLo, kHi;
    double level;
  };
  for (const TCase& c : {TCase{2048, 10, 5, 1}, {2048, 0, 5, 1}, {2048, 5, 1024, 1}, {1000, 5, 99, 1},
                         {2, 1, 1, 1}, {2048, 5, 99, std::numeric_limits<double>::infinity()}}) {
    std::vector<double> x(c.n, 1.0);
    GenerateTestSignal(x.data(), c.n, c.kLo, c.kHi, c.level);
    EXPECT_EQ(std::count(x.begin(), x.end(), 0.0), c.n) << c.n << " " << c.kLo << " " << c.kHi;
  }
}

} // namespace
} // namespace sorvane
