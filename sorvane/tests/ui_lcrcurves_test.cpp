// The component's value bin by bin: an ideal part gives a flat L or C curve in a prefixed unit,
// ESR and Q follow from the bins' Re and Im, and bins where a quantity means nothing are left out.

#include "sorvane/ui/uLcrCurves.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace sorvane;

struct TPart {
  double R, L, C; // series R with L, or with C when C > 0
};

void Bins(const TPart& part, QList<QPointF>& re, QList<QPointF>& im) {
  for (double f = 23; f < 22000; f *= 1.5) {
    const double w = 2 * M_PI * f;
    re.append({f, part.R});
    im.append({f, part.C > 0 ? -1 / (w * part.C) : w * part.L});
  }
}

TEST(LcrCurves, IdealPartsGiveFlatCurves) {
  const struct {
    TPart Part;
    TLcrCurve Which;
    bool Inductive;
    QString Quantity, Unit;
    double Value; // in the unit, at every bin; NaN: Q = |X| / R
  } cases[] = {
      {{3.3, 1e-3, 0}, TLcrCurve::LC, true, "L", "mH", 1},
      {{3.3, 0.99999e-3, 0}, TLcrCurve::LC, true, "L", "mH", 0.99999},
      {{0.2, 0, 10e-6}, TLcrCurve::LC, false, "C", "µF", 10},
      {{0.2, 0, 470e-12}, TLcrCurve::LC, false, "C", "pF", 470},
      {{8, 0.5e-3, 0}, TLcrCurve::ESR, true, "ESR", "Ohm", 8},
      {{0.015, 0, 1e-3}, TLcrCurve::ESR, false, "ESR", "mOhm", 15},
      {{3.3, 1e-3, 0}, TLcrCurve::Q, true, "Q", "", NAN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Quantity.toStdString() + " " + c.Unit.toStdString());
    QList<QPointF> re, im;
    Bins(c.Part, re, im);
    const TBinCurve curve = LcrCurve(c.Which, re, im, c.Inductive);
    EXPECT_EQ(curve.Quantity, c.Quantity);
    EXPECT_EQ(curve.Unit, c.Unit);
    ASSERT_EQ(curve.Points.size(), re.size());
    for (qsizetype i = 0; i < re.size(); ++i) {
      EXPECT_EQ(curve.Points[i].x(), re[i].x());
      const double expected = std::isnan(c.Value) ? std::fabs(im[i].y()) / re[i].y() : c.Value;
      EXPECT_NEAR(curve.Points[i].y(), expected, std::fabs(expected) * 1e-12);
    }
  }
}

TEST(LcrCurves, BinsWithoutMeaningAreLeftOut) {
  // Bins 1 and 3 are capacitive, bin 2 has no resistance.
  const QList<QPointF> re{{100, 1}, {200, 1}, {300, 0}, {400, 1}};
  const QList<QPointF> im{{100, 0.5}, {200, -0.5}, {300, 0.7}, {400, -0.1}};
  const auto xs = [](const TBinCurve& c) {
    QList<double> x;
    for (const QPointF& p : c.Points) x.append(p.x());
    return x;
  };
  EXPECT_EQ(xs(LcrCurve(TLcrCurve::LC, re, im, true)), (QList<double>{100, 300}));
  EXPECT_EQ(xs(LcrCurve(TLcrCurve::LC, re, im, false)), (QList<double>{200, 400}));
  EXPECT_EQ(xs(LcrCurve(TLcrCurve::Q, re, im, true)), (QList<double>{100, 200, 400}));
  EXPECT_TRUE(LcrCurve(TLcrCurve::LC, {}, {}, true).Points.isEmpty());
}

} // namespace
