// The calibration's progress: the text of each run's step and a share that only grows from the
// first offset step to the last response block.

#include "dravik/ui/uCalibrationProgress.h"

#include <gtest/gtest.h>

#include <vector>

namespace dravik {
namespace {

TEST(CalibrationProgress, TextAndShareOfEachStep) {
  const struct {
    TCalibrationProgress progress;
    const char* text;
    int percent;
  } cases[] = {
      {OffsetProgress(0, 5), "Offset run: step 1 of 5", 0},
      {OffsetProgress(4, 5), "Offset run: step 5 of 5", 8},
      {AmplitudeProgress(0, 0, 5), "Amplitude run: step 1 of 9", 10},
      {AmplitudeProgress(0, 4, 5), "Amplitude run: step 5 of 9", 30},
      {AmplitudeProgress(1, 1, 5), "Amplitude run: step 6 of 9", 35},
      {AmplitudeProgress(1, 4, 5), "Amplitude run: step 9 of 9", 50},
      {ResponseProgress(0, 94), "Response run: block 0 of 94", 55},
      {ResponseProgress(47, 94), "Response run: block 47 of 94", 78},
      {ResponseProgress(94, 94), "Response run: block 94 of 94", 100},
      // Out of range: a table shortened to one step, blocks beyond the need, no step table.
      {AmplitudeProgress(0, 0, 1), "Amplitude run: step 1 of 1", 10},
      {ResponseProgress(120, 94), "Response run: block 94 of 94", 100},
      {OffsetProgress(3, 0), "Offset run: step 1 of 1", 10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressText(c.progress), c.text);
    EXPECT_EQ(ProgressPercent(c.progress), c.percent) << c.text;
  }
}

// Every step the runs go through, in their order, for tables of one to six steps.
TEST(CalibrationProgress, ShareOnlyGrowsThroughTheRuns) {
  for (int steps = 1; steps <= 6; ++steps) {
    std::vector<TCalibrationProgress> order;
    for (int s = 0; s < steps; ++s) order.push_back(OffsetProgress(s, steps));
    for (int s = 0; s < steps; ++s) order.push_back(AmplitudeProgress(0, s, steps));
    for (int s = 1; s < steps; ++s) order.push_back(AmplitudeProgress(1, s, steps));
    for (int b = 0; b <= 8; ++b) order.push_back(ResponseProgress(b, 8));
    for (size_t i = 1; i < order.size(); ++i) {
      EXPECT_GT(ProgressPercent(order[i]), ProgressPercent(order[i - 1]))
          << steps << " steps: " << ProgressText(order[i - 1]) << " -> " << ProgressText(order[i]);
    }
    EXPECT_EQ(ProgressPercent(order.back()), 100);
  }
}

} // namespace
} // namespace dravik
