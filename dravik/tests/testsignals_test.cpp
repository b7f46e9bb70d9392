// The test-signal tables and the output-buffer fill rule, without a device.

#include "dravik/audio/uPcmCodes.h"
#include "dravik/audio/uTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace dravik {
namespace {

constexpr long double Pi = TwoPi / 2;
constexpr long double PiQuarter = Pi / 4;

TSignalTable MultiSin(uint32_t fs, unsigned channels = 2) {
  TSignalTable table;
  EXPECT_TRUE(MultiSinTable(fs, channels, 9, 1, 1024, table));
  return table;
}

// |point k| of the analysis transform: N real samples taken as N/2 complex points.
std::vector<long double> AnalysisMagnitudes(TDataVector samples) {
  Four1(samples.data(), static_cast<int>(samples.size() / 2), 1);
  std::vector<long double> magnitude(samples.size() / 2);
  for (size_t k = 0; k < magnitude.size(); ++k) {
    magnitude[k] = std::hypot(samples[2 * k], samples[2 * k + 1]);
  }
  return magnitude;
}

TEST(MultiSinTable, LengthFollowsTheSamplingRate) {
  struct Case { uint32_t fs; int32_t frames; };
  const Case cases[] = {{11025, 2048}, {22050, 2048}, {44100, 2048}, {48000, 2048},
                        {74999, 2048}, {75000, 4096}, {96000, 4096}, {150000, 4096},
                        {150001, 8192}, {192000, 8192}};
  for (const auto& c : cases) {
    const TSignalTable table = MultiSin(c.fs);
    EXPECT_EQ(table.Frames, c.frames) << c.fs;
    ASSERT_EQ(table.Signal.size(), 2u);
    EXPECT_EQ(table.Signal[0].size(), static_cast<size_t>(c.frames)) << c.fs;
    EXPECT_EQ(table.Signal[1], table.Signal[0]) << c.fs;
  }
}

TEST(MultiSinTable, FrameValuesOfTheMeasuringTones) {
  const TSignalTable table = MultiSin(44100);
  const TDataVector& row = table.Signal[0];
  EXPECT_EQ(row[0], 0.0L);
  EXPECT_NEAR(static_cast<double>(row[1]), 0.2216, 5e-5);
  EXPECT_NEAR(static_cast<double>(row[2]), 0.2211, 5e-5);
  const auto [lowest, highest] = std::minmax_element(row.begin(), row.end());
  EXPECT_NEAR(static_cast<double>(*highest), 0.45, 1e-15);
  EXPECT_NEAR(static_cast<double>(*lowest), -0.45, 1e-14);
  // Whole periods of every tone: the second half repeats the first, so the loop has no step.
  for (size_t i = 0; i < 1024; ++i) ASSERT_EQ(row[i + 1024], row[i]) << i;
}

// Packing two real samples into one complex point puts a sine of c cycles per block of N at
// point c with |Z| = (N/2) a cos(pi/4 - pi c/N) and its image at point N/2 - c with
// (N/2) a cos(pi/4 + pi c/N). The nine audible tones must appear there with one amplitude a,
// and nothing anywhere else: in particular not at point 1, nor at the tone of half the rate.
TEST(MultiSinTable, EveryToneLiesOnAnAnalysisPointAndPointOneStaysEmpty) {
  for (const uint32_t fs : {44100u, 96000u, 192000u}) {
    const TSignalTable table = MultiSin(fs);
    const auto magnitude = AnalysisMagnitudes(table.Signal[0]);
    const long double N = table.Frames;
    const size_t half = magnitude.size();
    const size_t periods = static_cast<size_t>(table.Frames) / 1024; // of the lowest tone
    std::vector<long double> expected(half, 0.0L);
    for (size_t k = 0; k <= 8; ++k) {
      const size_t c = periods << k;
      expected[c] += std::cos(PiQuarter - Pi * c / N);
      expected[half - c] += std::cos(PiQuarter + Pi * c / N);
    }
    const long double a = magnitude[periods] / (N / 2 * expected[periods]);
    ASSERT_GT(a, 0.05L);
    for (size_t k = 0; k < half; ++k) {
      EXPECT_NEAR(static_cast<double>(magnitude[k] / (N / 2 * a)), static_cast<double>(expected[k]),
                  1e-12)
          << fs << " point " << k;
    }
  }
}

TEST(MultiSinTable, RefusesWhatItCannotBuildAndKeepsThePreviousTable) {
  struct Case { const char* what; unsigned channels; int32_t highest, step; uint32_t period; };
  const Case cases[] = {
      {"no tone", 2, -1, 1, 1024},         {"zero period", 2, 9, 1, 0},
      {"multiplier 2^31", 2, 31, 1, 1024}, {"multiplier 2^33", 2, 11, 3, 1024},
      {"negative step", 2, 2, -1, 1024},   {"no channel", 0, 9, 1, 1024},
      {"32 equal tones", 2, 31, 0, 1024},
  };
  for (const auto& c : cases) {
    TSignalTable table = MultiSin(48000);
    const TSignalTable before = table;
    EXPECT_FALSE(MultiSinTable(48000, c.channels, c.highest, c.step, c.period, table)) << c.what;
    EXPECT_EQ(table.Frames, before.Frames) << c.what;
    EXPECT_EQ(table.Signal, before.Signal) << c.what;
  }
}

TEST(MultiSinTable, OtherToneSetsAndOneChannel) {
  TSignalTable table;
  ASSERT_TRUE(MultiSinTable(48000, 1, 10, 3, 1024, table)); // multipliers up to 2^30
  ASSERT_EQ(table.Signal.size(), 1u);
  EXPECT_NEAR(static_cast<double>(*std::max_element(table.Signal[0].begin(), table.Signal[0].end())),
              0.45, 1e-15);
  ASSERT_TRUE(MultiSinTable(48000, 1, 0, 1, 1024, table)); // a single sine of 2 periods
  EXPECT_NEAR(static_cast<double>(table.Signal[0][256]), 0.45, 1e-15);
  EXPECT_NEAR(static_cast<double>(table.Signal[0][768]), -0.45, 1e-15);
}

TEST(TrapeziumTable, EdgesAndPlateausPerSamplingRate) {
  struct Case { uint32_t fs; int32_t R, F; };
  const Case cases[] = {{11025, 1, 11}, {22050, 2, 22}, {44100, 4, 44},
                        {48000, 5, 48}, {96000, 10, 96}, {192000, 19, 192}};
  for (const auto& c : cases) {
    TSignalTable table;
    ASSERT_TRUE(TrapeziumTable(c.fs, 2, 0.0001L, 0.001L, table)) << c.fs;
    ASSERT_EQ(table.Frames, 2 * (c.R + c.F)) << c.fs;
    const TDataVector& row = table.Signal[0];
    EXPECT_EQ(table.Signal[1], row);
    ASSERT_EQ(row.size(), static_cast<size_t>(table.Frames));
    const size_t R = static_cast<size_t>(c.R), F = static_cast<size_t>(c.F);
    for (size_t t = 0; t < R; ++t) {
      EXPECT_NEAR(static_cast<double>(row[t]), (t + 1) * 0.9 / c.R - 0.45, 1e-15) << c.fs;
      EXPECT_NEAR(static_cast<double>(row[R + F + t]), 0.45 - (t + 1) * 0.9 / c.R, 1e-15) << c.fs;
    }
    for (size_t t = 0; t < F; ++t) {
      EXPECT_EQ(row[R + t], 0.45L) << c.fs;
      EXPECT_EQ(row[2 * R + F + t], -0.45L) << c.fs;
    }
  }
  TSignalTable table;
  ASSERT_TRUE(TrapeziumTable(44100, 1, 0.0001L, 0.001L, table));
  EXPECT_EQ(table.Signal.size(), 1u);
  const TDataVector edge(table.Signal[0].begin(), table.Signal[0].begin() + 4);
  EXPECT_NEAR(static_cast<double>(edge[0]), -0.225, 1e-15);
  EXPECT_NEAR(static_cast<double>(edge[1]), 0.0, 1e-15);
  EXPECT_NEAR(static_cast<double>(edge[2]), 0.225, 1e-15);
  EXPECT_NEAR(static_cast<double>(edge[3]), 0.45, 1e-15);
}

TEST(TrapeziumTable, ShortEdgesNoPlateauAndRefusedTimes) {
  TSignalTable table;
  ASSERT_TRUE(TrapeziumTable(48000, 2, 1e-6L, 0.001L, table)); // edge below one frame: a jump
  EXPECT_EQ(table.Frames, 2 * (1 + 48));
  EXPECT_EQ(table.Signal[0][0], 0.45L);
  EXPECT_EQ(table.Signal[0][49], -0.45L);
  ASSERT_TRUE(TrapeziumTable(48000, 2, 0.0001L, 0.0L, table)); // only the two edges
  EXPECT_EQ(table.Frames, 10);

  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const long double inf = std::numeric_limits<long double>::infinity();
  struct Case { const char* what; unsigned channels; long double rise, flat; };
  const Case cases[] = {
      {"negative flat time", 2, 0.0001L, -0.001L}, {"flat time beyond 32 bits", 2, 0.0001L, 1e6L},
      {"rise time beyond 32 bits", 2, 1e6L, 0.001L}, {"length beyond 32 bits", 2, 22000.0L, 22000.0L},
      {"NaN rise", 2, nan, 0.001L},                {"infinite flat", 2, 0.0001L, inf},
      {"no channel", 0, 0.0001L, 0.001L},
  };
  for (const auto& c : cases) {
    const TSignalTable before = table;
    EXPECT_FALSE(TrapeziumTable(48000, c.channels, c.rise, c.flat, table)) << c.what;
    EXPECT_EQ(table.Signal, before.Signal) << c.what;
  }
}

TEST(FillOutputBuffer, RotatesByOneFrameInterleavedInBothWidths) {
  const TDataMatrix signal = {{0.0L, 0.25L, -0.5L}, {0.1L, 0.2L, 0.3L}};
  std::vector<uint8_t> wide(3 * 2 * 2);
  int32_t index = -1;
  ASSERT_TRUE(FillOutputBuffer(signal, 3, 2, 16, wide.data(), index));
  const int frameOrder[] = {1, 2, 0};
  for (size_t j = 0; j < 3; ++j) {
    for (size_t c = 0; c < 2; ++c) {
      int16_t code = 0;
      ASSERT_TRUE(ValueToPcm16(signal[c][static_cast<size_t>(frameOrder[j])], code));
      const auto raw = static_cast<uint16_t>(code);
      EXPECT_EQ(wide[(j * 2 + c) * 2], raw & 0xFF) << j << "," << c;
      EXPECT_EQ(wide[(j * 2 + c) * 2 + 1], raw >> 8) << j << "," << c;
    }
  }
  std::vector<uint8_t> narrow(3);
  ASSERT_TRUE(FillOutputBuffer(signal, 3, 1, 8, narrow.data(), index));
  EXPECT_EQ(narrow, (std::vector<uint8_t>{159, 64, 128})); // 0.25, -0.5, 0.0
  // A width other than 16 bits writes 8-bit codes into its slots.
  std::vector<uint8_t> odd(3 * 3, 0xAA);
  ASSERT_TRUE(FillOutputBuffer(signal, 3, 1, 24, odd.data(), index));
  EXPECT_EQ(odd[0], 159);
  EXPECT_EQ(odd[3], 64);
  EXPECT_EQ(odd[1], 0xAA);
}

TEST(FillOutputBuffer, ReportsTheTableIndexThatFailed) {
  struct Case { const char* what; TDataMatrix signal; unsigned channels; int32_t index; };
  const Case cases[] = {
      {"+1.0 has no 16-bit code", {{0.0L, 0.1L, 1.0L, 0.2L}}, 1, 2},
      {"frame 0 is the last one written", {{1.5L, 0.1L, 0.1L, 0.2L}}, 1, 0},
      {"table shorter than the buffer", {{0.0L, 0.1L}}, 1, 2},
      {"no table at all", {}, 2, 1},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> data(4 * c.channels * 2);
    int32_t index = -1;
    EXPECT_FALSE(FillOutputBuffer(c.signal, 4, c.channels, 16, data.data(), index)) << c.what;
    EXPECT_EQ(index, c.index) << c.what;
  }
  // A second channel without its own row plays row 0.
  std::vector<uint8_t> data(2 * 2);
  int32_t index = -1;
  ASSERT_TRUE(FillOutputBuffer({{-1.0L, 1.0L}}, 2, 2, 8, data.data(), index));
  EXPECT_EQ(data, (std::vector<uint8_t>{255, 255, 0, 0}));
}

} // namespace
} // namespace dravik
