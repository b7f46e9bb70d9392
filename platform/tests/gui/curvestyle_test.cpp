// The curves' palette stays distinct for the common colour-vision deficiencies, and the readout
// reads curves as the chart draws them and writes their values with prefix and unit.

#include "platform/gui/uChartStyle.h"
#include "platform/gui/uColourVision.h"
#include "platform/gui/uCurveReadout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace platform;

constexpr TColourVision Visions[] = {TColourVision::Normal, TColourVision::Protanopia,
                                     TColourVision::Deuteranopia, TColourVision::Tritanopia};

// The simulation itself: pairs far apart to normal vision that people with a red-green
// deficiency confuse (orange and green, pink and grey) merge under its simulation, while red and
// green stay apart for the blue-yellow one; white stays white.
TEST(ColourVision, SimulationMergesTheConfusedPairs) {
  const std::pair<TRgb, TRgb> redGreen[] = {{{230, 120, 0}, {120, 160, 0}}, {{255, 130, 170}, {170, 170, 170}}};
  for (const auto& [a, b] : redGreen) {
    EXPECT_GT(ColourDistance(a, b), 50);
    for (const TColourVision v : {TColourVision::Protanopia, TColourVision::Deuteranopia})
      EXPECT_LT(ColourDistance(SimulateVision(a, v), SimulateVision(b, v)), 12);
  }
  const TRgb red{255, 0, 0}, green{0, 128, 0}, white{255, 255, 255};
  EXPECT_GT(ColourDistance(SimulateVision(red, TColourVision::Tritanopia), SimulateVision(green, TColourVision::Tritanopia)), 100);
  for (const TColourVision v : Visions) EXPECT_LT(ColourDistance(SimulateVision(white, v), white), 1);
  EXPECT_NEAR(ColourDistance({0, 0, 0}, white), 100, 0.5);
}

TEST(ColourVision, PaletteStaysDistinctForEveryVision) {
  const auto& palette = CurvePalette();
  for (const TColourVision v : Visions) {
    SCOPED_TRACE(static_cast<int>(v));
    for (std::size_t i = 0; i < palette.size(); ++i) {
      const TRgb a = SimulateVision(palette[i], v);
      EXPECT_GT(ColourDistance(a, SimulateVision(ChartBackground(), v)), 30) << "colour " << i;
      for (std::size_t j = i + 1; j < palette.size(); ++j)
        EXPECT_GT(ColourDistance(a, SimulateVision(palette[j], v)), 25) << i << " and " << j;
    }
  }
}

TEST(CurveReadout, ValueBetweenPointsAsDrawn) {
  const QList<QPointF> curve{{10, 1}, {100, 3}, {1000, -1}};
  const struct {
    double X;
    bool Log;
    double Value;
  } cases[] = {{10, false, 1},    {100, true, 3},      {55, false, 2}, {std::sqrt(10.0) * 10, true, 2},
               {550, false, 1},   {1000, false, -1},   {9.99, false, NAN}, {1000.1, true, NAN}};
  for (const auto& c : cases) {
    const double v = CurveValueAt(curve, c.X, c.Log);
    if (std::isnan(c.Value)) EXPECT_TRUE(std::isnan(v)) << c.X;
    else EXPECT_NEAR(v, c.Value, 1e-12) << c.X << (c.Log ? " log" : " linear");
  }
  EXPECT_TRUE(std::isnan(CurveValueAt({}, 1, false)));
  // 40 is nearer 10 than 100 on a linear axis, nearer 100 in log f.
  EXPECT_EQ(NearestPoint(curve, 40, false), 0);
  EXPECT_EQ(NearestPoint(curve, 40, true), 1);
  EXPECT_EQ(NearestPoint({}, 1, false), -1);
}

TEST(CurveReadout, FormatsWithPrefixAndUnit) {
  const struct {
    double Value;
    const char* Unit;
    const char* Text;
  } cases[] = {{3.3, "Ohm", "3.30000 Ohm"},       {3.30012, "Ohm", "3.30012 Ohm"},
               {0.000999999, "H", "999.999 µH"},    {0.0009999999, "H", "1.00000 mH"},
               {-45, "°", "-45.0000 °"},             {0.1234, "", "0.123400"},
               {1e-6, "F", "1.00000 µF"},           {22000, "Hz", "22.0000 kHz"},
               {12.5, "mH", "12.5000 mH"},          {0, "Ohm", "0.00000 Ohm"},
               {NAN, "Ohm", "-"},                   {2.5e-5, "", "2.5e-05"},
               {-1234.5, "Ohm", "-1.23450 kOhm"},   {9.9999996, "", "10.0000"}};
  for (const auto& c : cases) EXPECT_EQ(FormatReading(c.Value, c.Unit), c.Text) << c.Value;
}

} // namespace
