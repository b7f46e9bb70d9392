// Round axis ticks: for ranges that gave unreadable labels before (repeated values, odd steps,
// labels cut off), every label is a distinct multiple of a 1-2-5 step, and they fit the axis.

#include "platform/gui/uAxisTicks.h"
#include "platform/gui/uChartAxes.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QChart>
#include <QValueAxis>
#include <gtest/gtest.h>

#include "platform/tests/gui/gui_support.h"

#include <cmath>
#include <set>
#include <string>

namespace {

using namespace platform;
using guitest::App;
using guitest::TWithApp;

// m times a power of ten with m in {1, 2, 5}.
bool OneTwoFive(double step) {
  const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
  for (const double m : {1.0, 2.0, 5.0})
    if (std::fabs(mantissa - m) < 1e-9) return true;
  return false;
}

struct TRangeCase {
  double Lo, Hi;
  int MaxCount;
};

TEST(AxisTicks, LinearLabelsAreDistinctRoundMultiples) {
  const TRangeCase cases[] = {
      {3.302, 3.310, 6}, {-3.6, 81.6, 8}, {-3.579, 37.79, 6}, {0, 0.0012345, 5}, {-1e-9, 1e-9, 5},
      {17.1, 17.1000001, 4}, {0, 22000, 12}, {-180, 180, 9}, {1e5, 1.00002e5, 7}, {-0.5, 0.5, 3}};
  for (const TRangeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Lo) + " .. " + std::to_string(c.Hi));
    const TLinearTicks ticks = LinearTicks(c.Lo, c.Hi, c.MaxCount);
    EXPECT_TRUE(OneTwoFive(ticks.Step)) << ticks.Step;
    const std::vector<double> values = LinearTickValues(c.Lo, c.Hi, ticks);
    // Two labels at the least once six are allowed (a 1-2-5 step is at most 2.5 times the
    // raw one); fewer allowed labels may leave a single one inside the range.
    EXPECT_GE(values.size(), c.MaxCount >= 6 ? 2u : 1u);
    EXPECT_LE(static_cast<int>(values.size()), c.MaxCount);
    std::set<std::string> labels;
    for (const double v : values) {
      EXPECT_GE(v, c.Lo - ticks.Step * 1e-6);
      EXPECT_LE(v, c.Hi + ticks.Step * 1e-6);
      EXPECT_NEAR(v / ticks.Step, std::round(v / ticks.Step), 1e-6) << v;
      const std::string label = FormatTick(LinearFormat(ticks), v);
      EXPECT_TRUE(labels.insert(label).second) << "repeated label " << label;
      // The label reads back as the tick's value: no digit the step needs is missing.
      EXPECT_NEAR(std::stod(label), v, ticks.Step * 1e-3) << label;
    }
  }
}

TEST(AxisTicks, RoundStepAndZero) {
  const std::pair<double, double> steps[] = {{0.0013, 0.002}, {0.2, 0.2}, {3, 5}, {7, 10}, {1, 1}, {101, 200}};
  for (const auto& [raw, step] : steps) EXPECT_DOUBLE_EQ(RoundStep(raw), step) << raw;
  EXPECT_EQ(FormatTick("%.2f", -1e-17), "0.00");
  EXPECT_EQ(FormatTick("%.1f", -0.5), "-0.5");
}

TEST(AxisTicks, LogAxisLabelsTheDecades) {
  const struct {
    double Lo, Hi;
    std::vector<std::string> Labels;
  } cases[] = {
      {1e-6, 1e-3, {"1e-06", "1e-05", "1e-04", "1e-03"}},
      {23, 22000, {"100", "1000", "10000"}},
      {0.5, 2e6, {"1e+00", "1e+01", "1e+02", "1e+03", "1e+04", "1e+05", "1e+06"}},
      {0.001, 1, {"0.001", "0.01", "0.1", "1"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> labels;
    for (const double v : DecadeTickValues(c.Lo, c.Hi)) labels.push_back(FormatTick(DecadeFormat(c.Lo, c.Hi), v));
    EXPECT_EQ(labels, c.Labels) << c.Lo << " .. " << c.Hi;
  }
  EXPECT_TRUE(DecadeTickValues(0, 10).empty());
}

// As many labels as the axis has room for, and never more than that room holds.
TEST(AxisTicks, LabelsFitTheAxisLength) {
  App();
  QValueAxis axis;
  const QFontMetricsF metrics(axis.labelsFont());
  const TRangeCase cases[] = {{3.302, 3.310, 0}, {-3.6, 81.6, 0}, {0, 0.0012345, 0}, {-123456, 98765, 0}};
  for (const TRangeCase& c : cases) {
    for (const double length : {80.0, 200.0, 450.0, 1400.0}) {
      SCOPED_TRACE(std::to_string(c.Lo) + " .. " + std::to_string(c.Hi) + " on " + std::to_string(length));
      const int count = FittingTickCount(&axis, Qt::Horizontal, length, c.Lo, c.Hi);
      const TLinearTicks ticks = LinearTicks(c.Lo, c.Hi, count);
      const std::vector<double> values = LinearTickValues(c.Lo, c.Hi, ticks);
      double total = 0;
      for (const double v : values)
        total += metrics.horizontalAdvance(QString::fromStdString(FormatTick(LinearFormat(ticks), v)));
      EXPECT_LE(total, length);
      if (length >= 450) {
        EXPECT_GE(values.size(), 3u);
      }
      const int rows = FittingTickCount(&axis, Qt::Vertical, length, c.Lo, c.Hi);
      EXPECT_LE(rows * metrics.height(), length);
    }
  }
}

} // namespace

namespace {

// An axis whose step suits 0..1 given a range a million times wider: the step follows before
// the axis lays the range out (else it would lay out millions of ticks), and back again.
TEST(AxisTicks, RoundRangeOfAKeptAxisChangesStepFirst) {
  App();
  QChart chart;
  auto* axis = new QValueAxis;
  chart.addAxis(axis, Qt::AlignLeft);
  platform::KeepRoundTicks(&chart, axis);
  for (const auto& [lo, hi] : {std::pair{0.0, 1.0}, {-2e6, 3e6}, {0.5, 0.51}, {-1e9, 1e9}}) {
    platform::SetRoundRange(&chart, axis, lo, hi);
    EXPECT_EQ(axis->min(), lo);
    EXPECT_EQ(axis->max(), hi);
    EXPECT_TRUE(OneTwoFive(axis->tickInterval())) << axis->tickInterval();
    EXPECT_LE((hi - lo) / axis->tickInterval(), 12) << lo << " .. " << hi;
  }
}

} // namespace
