// The test-signal tables and the output-buffer fill rule, without a device.

#include "dravik/audio/uPcmCodes.h"
#include "dravik/audio/uTestSignals.h"
#include "dravik/measure/uFour1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace dravik {
namespace {

constexpr long double Pi = TwoPi / 2;

TEST(MultiSinTable, LengthFrameValuesAndWholePeriods) {
  const std::pair<uint32_t, int32_t> lengths[] = {{11025, 2048},  {48000, 2048}, {74999, 2048},
                                                  {75000, 4096},  {96000, 4096}, {150000, 4096},
                                                  {150001, 8192}, {192000, 8192}};
  for (const auto& [fs, frames] : lengths) {
    TSignalTable table;
    ASSERT_TRUE(MultiSinTable(fs, 2, 9, 1, 1024, table));
    EXPECT_EQ(table.Frames, frames) << fs;
    EXPECT_EQ(table.Signal[0].size(), static_cast<size_t>(frames)) << fs;
    EXPECT_EQ(table.Signal[1], table.Signal[0]) << fs;
  }
  TSignalTable table;
  ASSERT_TRUE(MultiSinTable(44100, 1, 9, 1, 1024, table));
  ASSERT_EQ(table.Signal.size(), 1u);
  const TDataVector& row = table.Signal[0];
  EXPECT_EQ(row[0], 0.0L);
  EXPECT_NEAR(static_cast<double>(row[1]), 0.2216, 5e-5);
  const auto [lowest, highest] = std::minmax_element(row.begin(), row.end());
  EXPECT_NEAR(static_cast<double>(*highest), 0.45, 1e-15);
  EXPECT_NEAR(static_cast<double>(*lowest), -0.45, 1e-14);
  // Whole periods of every tone: the second half repeats the first, so the loop has no step.
  EXPECT_TRUE(std::equal(row.begin(), row.begin() + 1024, row.begin() + 1024));
}

// The analysis packs two real samples into one complex point: a sine of c cycles per block of N
// lands at point c with |Z| = (N/2) a cos(pi/4 - pi c/N) and at its image N/2 - c with
// (N/2) a cos(pi/4 + pi c/N). The nine audible tones must show there with one amplitude a and
// nothing anywhere else, least of all at point 1 or at half the sampling rate.
TEST(MultiSinTable, EveryToneLiesOnAnAnalysisPointAndPointOneStaysEmpty) {
  for (const uint32_t fs : {44100u, 96000u, 192000u}) {
    TSignalTable table;
    ASSERT_TRUE(MultiSinTable(fs, 1, 9, 1, 1024, table));
    TDataVector z = table.Signal[0];
    const size_t half = z.size() / 2, periods = z.size() / 1024;
    const long double N = table.Frames;
    Four1(z.data(), static_cast<int>(half), 1);
    std::vector<long double> expected(half, 0.0L);
    for (size_t c = periods; c <= 256 * periods; c *= 2) {
      expected[c] += std::cos(Pi / 4 - Pi * c / N);
      expected[half - c] += std::cos(Pi / 4 + Pi * c / N);
    }
    const long double a =
        std::hypot(z[2 * periods], z[2 * periods + 1]) / (N / 2 * expected[periods]);
    for (size_t k = 0; k < half; ++k) {
      const long double m = std::hypot(z[2 * k], z[2 * k + 1]) / (N / 2 * a);
      EXPECT_NEAR(static_cast<double>(m), static_cast<double>(expected[k]), 1e-12)
          << fs << " point " << k;
    }
  }
}

TEST(MultiSinTable, RefusalsKeepThePreviousTable) {
  struct Case {
    const char* what;
    unsigned channels;
    int32_t highest, step;
    uint32_t period;
  };
  const Case cases[] = {{"no tone", 2, -1, 1, 1024},         {"zero period", 2, 9, 1, 0},
                        {"multiplier 2^31", 2, 31, 1, 1024}, {"multiplier 2^33", 2, 11, 3, 1024},
                        {"negative step", 2, 2, -1, 1024},   {"no channel", 0, 9, 1, 1024}};
  TSignalTable table;
  ASSERT_TRUE(MultiSinTable(48000, 2, 10, 3, 1024, table)); // 2^30, the largest multiplier
  const TSignalTable before = table;
  for (const auto& c : cases) {
    EXPECT_FALSE(MultiSinTable(48000, c.channels, c.highest, c.step, c.period, table)) << c.what;
    EXPECT_EQ(table.Signal, before.Signal) << c.what;
  }
}

TEST(TrapeziumTable, EdgesPlateausAndRefusals) {
  struct Case {
    uint32_t fs;
    long double rise, flat;
    int32_t R, F;
  };
  const Case cases[] = {{11025, 1e-4L, 1e-3L, 1, 11},  {22050, 1e-4L, 1e-3L, 2, 22},
                        {44100, 1e-4L, 1e-3L, 4, 44},  {48000, 1e-4L, 1e-3L, 5, 48},
                        {96000, 1e-4L, 1e-3L, 10, 96}, {192000, 1e-4L, 1e-3L, 19, 192},
                        {48000, 1e-6L, 1e-3L, 1, 48},  {48000, 1e-4L, 0, 5, 0}};
  for (const auto& c : cases) {
    TSignalTable table;
    ASSERT_TRUE(TrapeziumTable(c.fs, 2, c.rise, c.flat, table)) << c.fs;
    ASSERT_EQ(table.Frames, 2 * (c.R + c.F)) << c.fs;
    EXPECT_EQ(table.Signal[1], table.Signal[0]);
    const TDataVector& row = table.Signal[0];
    for (int32_t t = 0; t < c.R; ++t) {
      EXPECT_NEAR(static_cast<double>(row[t]), (t + 1) * 0.9 / c.R - 0.45, 1e-15) << c.fs;
      EXPECT_NEAR(static_cast<double>(row[c.R + c.F + t]), 0.45 - (t + 1) * 0.9 / c.R, 1e-15)
          << c.fs;
    }
    const auto top = row.begin() + c.R, bottom = top + c.R + c.F;
    EXPECT_TRUE(std::all_of(top, top + c.F, [](long double v) { return v == 0.45L; })) << c.fs;
    EXPECT_TRUE(std::all_of(bottom, bottom + c.F, [](long double v) { return v == -0.45L; }))
        << c.fs;
  }
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const std::pair<long double, long double> refused[] = {
      {1e-4L, -1e-3L}, {1e-4L, 1e6L}, {1e6L, 1e-3L}, {22000.0L, 22000.0L}, {nan, 1e-3L}};
  for (const auto& [rise, flat] : refused) {
    TSignalTable table;
    EXPECT_FALSE(TrapeziumTable(48000, 2, rise, flat, table)) << static_cast<double>(flat);
    EXPECT_TRUE(table.Signal.empty());
  }
}

TEST(FillOutputBuffer, RotatesByOneFrameInBothWidthsAndReportsTheFailedIndex) {
  const TDataMatrix signal = {{0.0L, 0.25L, -0.5L}, {0.5L, -0.25L, -1.0L}};
  std::vector<uint8_t> wide(3 * 2 * 2);
  int32_t index = -1;
  ASSERT_TRUE(FillOutputBuffer(signal, 3, 2, 16, wide.data(), index));
  // Frames 1, 2, 0; channel 0 first; little-endian; -1.0 gives -32768 (the tie goes to even).
  EXPECT_EQ(wide, (std::vector<uint8_t>{0x00, 0x20, 0x00, 0xE0, 0x00, 0xC0, 0x00, 0x80, 0x00, 0x00,
                                        0x00, 0x40}));
  std::vector<uint8_t> narrow(3);
  ASSERT_TRUE(FillOutputBuffer(signal, 3, 1, 8, narrow.data(), index)); // one channel
  EXPECT_EQ(narrow, (std::vector<uint8_t>{159, 64, 128}));

  const std::pair<TDataMatrix, int32_t> failing[] = {{{{0.0L, 0.1L, 1.0L, 0.2L}}, 2},
                                                     {{{1.5L, 0.1L, 0.1L, 0.2L}}, 0},
                                                     {{{0.0L, 0.1L}}, 2},
                                                     {{}, 1}};
  for (const auto& [table, failedAt] : failing) {
    EXPECT_FALSE(FillOutputBuffer(table, 4, 1, 16, wide.data(), index));
    EXPECT_EQ(index, failedAt);
  }
}

} // namespace
} // namespace dravik
