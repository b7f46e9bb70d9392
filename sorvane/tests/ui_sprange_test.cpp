// The range selector: the ruler's label rule on its own, and the frame driven with the mouse.

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uScaleLayout.h"
#include "sorvane/ui/ufrSpRange.h"

namespace sorvane {
namespace {

std::vector<double> Sorted(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(ScaleLayout, DecadeAndMultipliers) {
  const struct { double max, decade; } decades[] = {
      {22000, 10000}, {9960, 10000}, {9940, 1000}, {100, 100}, {1, 1}, {0.25, 0.1}};
  for (const auto& d : decades) EXPECT_DOUBLE_EQ(ScaleDecade(d.max), d.decade) << d.max;
  const double multipliers[] = {2, 5, 10, 20, 50, 100, 200};
  for (int i = 0; i < 7; ++i) EXPECT_DOUBLE_EQ(ScaleMultiplier(i), multipliers[i]);
  EXPECT_EQ(ScaleText(4999.6), "5000");
  EXPECT_EQ(ScaleText(-0.2), "0");
}

TEST(ScaleLayout, LabelSteps) {
  const struct {
    double min, max;
    TScaleGeometry g;
    double step, minor, anchor;
    std::vector<double> labels;
  } cases[] = {
      // The audio range on a 624-pixel strip, "10000" 30 pixels wide: refined to 5000.
      {23, 22000, {624, 11, 602, 30, 36}, 5000, 1000, 10000, {0, 5000, 10000, 15000, 20000}},
      // Too little room for refining: labels every decade.
      {23, 22000, {100, 11, 78, 30, 36}, 10000, 2000, 10000, {0, 10000}},
      // 1..100: refined to 10; the top label has no room at the right end.
      {1, 100, {624, 11, 602, 18, 24}, 10, 2, 100, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90}},
      // A range above its decade is anchored at the largest whole decade below max.
      {12000, 47000, {624, 11, 602, 30, 36}, 5000, 1000, 40000,
       {15000, 20000, 25000, 30000, 35000, 40000, 45000}},
  };
  for (const auto& c : cases) {
    const TScaleLayout s = LayoutScale(c.min, c.max, c.g);
    EXPECT_DOUBLE_EQ(s.Step, c.step) << c.min << ".." << c.max << " on " << c.g.ImageWidth;
    EXPECT_DOUBLE_EQ(s.Minor, c.minor);
    EXPECT_DOUBLE_EQ(s.Anchor, c.anchor);
    EXPECT_EQ(Sorted(s.Labels), c.labels);
    for (const double v : s.MinorTicks) {
      const int x = ScaleX(v, c.min, c.max, c.g);
      EXPECT_GT(x, 0);
      EXPECT_LT(x, c.g.ImageWidth);
    }
  }
}

TEST(ScaleLayout, DegenerateRangeDrawsNothing) {
  const TScaleLayout s = LayoutScale(5, 5, {624, 11, 602, 30, 36});
  EXPECT_TRUE(s.Labels.empty());
  EXPECT_TRUE(s.MinorTicks.empty());
}

TEST(ScaleLayout, LogRulerLabelsDecadesAndRoundMultiples) {
  const struct {
    double min, max;
    TScaleGeometry g;
    std::vector<double> labels;
  } cases[] = {
      // 200 pixels a decade: 1, 2 and 5 of each; 20000 has no room at the right end.
      {23, 22000, {624, 11, 602, 30, 36}, {50, 100, 200, 500, 1000, 2000, 5000, 10000}},
      // 26 pixels a decade: the decades alone, as far as they fit.
      {23, 22000, {100, 11, 78, 30, 36}, {100, 1000}},
      {1, 100, {624, 11, 602, 18, 24}, {1, 2, 5, 10, 20, 50}},
  };
  for (const auto& c : cases) {
    const TScaleLayout s = LayoutLogScale(c.min, c.max, c.g);
    EXPECT_EQ(s.Labels, c.labels) << c.min << ".." << c.max << " on " << c.g.ImageWidth;
    for (const double v : s.MinorTicks) {
      EXPECT_GE(v, c.min);
      EXPECT_LE(v, c.max);
    }
    // The ends of the range at the ends of the usable width.
    EXPECT_EQ(LogScaleX(c.min, c.min, c.max, c.g), c.g.LeftLimit);
    EXPECT_EQ(LogScaleX(c.max, c.min, c.max, c.g), c.g.LeftLimit + c.g.Usable);
  }
  EXPECT_TRUE(LayoutLogScale(0, 100, {624, 11, 602, 18, 24}).Labels.empty());
}

class SpRange : public ::testing::Test {
protected:
  void SetUp() override {
    uitest::App();
    Frame = std::make_unique<TfrSpRange>();
    Frame->resize(624, 37);
    Frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame.get()));
    Frame->OnRangeChange = [this](double lo, double hi) { Changes.push_back({lo, hi}); };
  }
  QPoint BarCentre() const { return Frame->pnRange->rect().center(); }

  std::unique_ptr<TfrSpRange> Frame;
  std::vector<std::pair<double, double>> Changes;
};

TEST_F(SpRange, CreationClampingAndDoubleClick) {
  EXPECT_EQ(Frame->FullMin(), 1);
  EXPECT_EQ(Frame->FullMax(), 100);
  EXPECT_EQ(Frame->RangeMin(), 1);
  EXPECT_EQ(Frame->RangeMax(), 100);
  EXPECT_EQ(Frame->imScale->width(), Frame->pnFullRange->width());

  Frame->SetRange(-5, 500);
  EXPECT_EQ(Frame->RangeMin(), 1);
  EXPECT_EQ(Frame->RangeMax(), 100);
  EXPECT_EQ(Frame->LastMin(), 34);
  EXPECT_EQ(Frame->LastMax(), 67);
  ASSERT_EQ(Changes.size(), 1u);

  QTest::mouseDClick(Frame->pnRange, Qt::LeftButton, {}, BarCentre());
  EXPECT_EQ(Frame->RangeMin(), 34);
  EXPECT_EQ(Frame->RangeMax(), 67);
  // The bar's ends stand where the ruler puts those values.
  const double k = (Frame->RightLimit() - Frame->LeftLimit()) / 99.0;
  EXPECT_NEAR(Frame->pnRange->x(), Frame->LeftLimit() + 33 * k, 1);
  EXPECT_NEAR(Frame->pnRange->x() + Frame->pnRange->width(), Frame->LeftLimit() + 66 * k, 1);
  QTest::mouseDClick(Frame->pnRange, Qt::LeftButton, {}, BarCentre());
  EXPECT_EQ(Frame->RangeMin(), 1);
  EXPECT_EQ(Frame->RangeMax(), 100);
  QTest::mouseDClick(Frame->pnRange, Qt::LeftButton, {}, BarCentre());
  EXPECT_EQ(Frame->RangeMin(), 34);
  EXPECT_EQ(Frame->RangeMax(), 67);
}

// A double-click whose pointer trembles by a pixel or two between its clicks: one notice, and
// the range restored exactly, not read back from the bar's pixels.
TEST_F(SpRange, DoubleClickWithATremblingHandNotifiesOnceWithExactRanges) {
  Frame->SetFullRange(23, 22000);
  Frame->SetRange(5000, 10000);
  Frame->SetRange(23, 22000);
  for (const int tremble : {1, 2, 3}) {
    SCOPED_TRACE(tremble);
    Changes.clear();
    const QPoint at = BarCentre(), moved = at + QPoint(tremble, 0);
    QTest::mousePress(Frame->pnRange, Qt::LeftButton, {}, at);
    QTest::mouseMove(Frame->pnRange, moved);
    QTest::mouseRelease(Frame->pnRange, Qt::LeftButton, {}, moved);
    QTest::mouseDClick(Frame->pnRange, Qt::LeftButton, {}, moved);
    ASSERT_EQ(Changes.size(), 1u);
    const bool full = Frame->RangeMin() == 23;
    EXPECT_EQ(Changes[0], full ? std::pair(23.0, 22000.0) : std::pair(5000.0, 10000.0));
  }
}

TEST_F(SpRange, ClickIsSilentDragNotifiesOnceAndStopsAtTheEnds) {
  Frame->SetFullRange(23, 22000);
  Frame->SetRange(5000, 10000);
  Changes.clear();
  const int width = Frame->pnRange->width();

  QTest::mouseClick(Frame->pnRange, Qt::LeftButton, {}, BarCentre());
  EXPECT_TRUE(Changes.empty());

  const struct { int dx; bool toLeftEnd, toRightEnd; } drags[] = {
      {40, false, false}, {-2000, true, false}, {2000, false, true}};
  for (const auto& d : drags) {
    Changes.clear();
    const QPoint from = BarCentre();
    QTest::mousePress(Frame->pnRange, Qt::LeftButton, {}, from);
    EXPECT_TRUE(Frame->Dragging());
    for (int step = 1; step <= 4; ++step)
      QTest::mouseMove(Frame->pnRange, Frame->pnRange->mapFromGlobal(
                                           Frame->pnRange->mapToGlobal(from) + QPoint(d.dx * step / 4, 0)));
    EXPECT_TRUE(Changes.empty()) << "nothing is reported during the drag";
    QTest::mouseRelease(Frame->pnRange, Qt::LeftButton, {},
                        Frame->pnRange->mapFromGlobal(Frame->pnRange->mapToGlobal(from) + QPoint(d.dx, 0)));
    EXPECT_FALSE(Frame->Dragging());
    ASSERT_EQ(Changes.size(), 1u) << d.dx;
    EXPECT_EQ(Frame->pnRange->width(), width);
    if (d.toLeftEnd) {
      EXPECT_DOUBLE_EQ(Frame->RangeMin(), 23);
    }
    if (d.toRightEnd) {
      EXPECT_NEAR(Frame->RangeMax(), 22000, 1e-9);
    }
    EXPECT_GE(Frame->pnMin->width(), 2);
    EXPECT_GE(Frame->pnMax->width(), 2);
  }
}

TEST_F(SpRange, ResizeKeepsTheRangeAndNotifies) {
  Frame->SetRange(30, 60);
  Changes.clear();
  Frame->resize(400, 37);
  QApplication::processEvents();
  ASSERT_FALSE(Changes.empty());
  EXPECT_EQ(Changes.back(), std::make_pair(30.0, 60.0));
  EXPECT_EQ(Frame->imScale->width(), 400);
  const double k = (Frame->RightLimit() - Frame->LeftLimit()) / 99.0;
  EXPECT_NEAR(Frame->pnRange->x(), Frame->LeftLimit() + 29 * k, 1);
}

TEST_F(SpRange, SplitterMovesTheLowerEnd) {
  Frame->SetRange(1, 100);
  Changes.clear();
  const QPoint at = Frame->SpMin->rect().center();
  QTest::mousePress(Frame->SpMin, Qt::LeftButton, {}, at);
  QTest::mouseMove(Frame->SpMin, at + QPoint(100, 0));
  QTest::mouseRelease(Frame->SpMin, Qt::LeftButton, {}, at + QPoint(100, 0));
  ASSERT_EQ(Changes.size(), 1u);
  EXPECT_NEAR(Frame->RangeMin(), 1 + 100 * 99.0 / (Frame->RightLimit() - Frame->LeftLimit()), 0.5);
  EXPECT_EQ(Frame->RangeMax(), 100);
  // Past the other splitter the bar shrinks to nothing and no further.
  const QPoint at2 = Frame->SpMin->rect().center();
  QTest::mousePress(Frame->SpMin, Qt::LeftButton, {}, at2);
  QTest::mouseMove(Frame->SpMin, at2 + QPoint(5000, 0));
  QTest::mouseRelease(Frame->SpMin, Qt::LeftButton, {}, at2 + QPoint(5000, 0));
  EXPECT_EQ(Frame->pnRange->width(), 0);
  EXPECT_LE(Frame->RangeMin(), Frame->RangeMax() + 1e-9);
}

// Under a logarithmic chart 20-200 Hz gets a third of the strip instead of a few pixels, and a
// drag of the bar reads the range back on the same scale.
TEST_F(SpRange, LogarithmicBarFollowsTheChartsScale) {
  Frame->SetFullRange(23, 22000);
  Frame->SetRange(100, 1000);
  const size_t notices = Changes.size();
  Frame->SetLogarithmic(true);
  EXPECT_EQ(Changes.size(), notices) << "the selection did not change";
  const double u = Frame->RightLimit() - Frame->LeftLimit();
  const double decade = u / std::log10(22000.0 / 23);
  EXPECT_NEAR(Frame->pnRange->x(), Frame->LeftLimit() + std::log10(100 / 23.0) * decade, 1);
  EXPECT_NEAR(Frame->pnRange->width(), decade, 2);
  // Dragged one decade to the right: 1000 .. 10000, within a pixel's worth of frequency.
  const QPoint from = BarCentre();
  QTest::mousePress(Frame->pnRange, Qt::LeftButton, {}, from);
  QTest::mouseMove(Frame->pnRange, from + QPoint(static_cast<int>(std::lround(decade)), 0));
  QTest::mouseRelease(Frame->pnRange, Qt::LeftButton, {}, from + QPoint(static_cast<int>(std::lround(decade)), 0));
  const double pixel = std::pow(10.0, 1.5 / decade);
  EXPECT_NEAR(std::log10(Frame->RangeMin()), 3, std::log10(pixel));
  EXPECT_NEAR(std::log10(Frame->RangeMax()), 4, std::log10(pixel));
  Frame->SetLogarithmic(false);
  const double k = u / (22000 - 23);
  EXPECT_NEAR(Frame->pnRange->x(), Frame->LeftLimit() + (Frame->RangeMin() - 23) * k, 1);
}

TEST_F(SpRange, LimitsAreShownAndCanBeTyped) {
  Frame->SetFullRange(23, 22000);
  Frame->SetRange(200, 10000);
  EXPECT_EQ(Frame->edMin->text(), "200");
  EXPECT_EQ(Frame->edMax->text(), "10000");
  const struct {
    QString min, max;
    double lo, hi; // the range afterwards
    bool notified;
  } cases[] = {
      {"20", "200", 23, 200, true},          // below the full range: its end
      {"1234.5", "5000", 1234.5, 5000, true},
      {"abc", "5000", 1234.5, 5000, false},  // not a number: the boxes show the range again
      {"6000", "5000", 1234.5, 5000, false}, // in the wrong order
      {" 300 ", "30000", 300, 22000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.min.toStdString() + " .. " + c.max.toStdString());
    Changes.clear();
    Frame->edMin->setText(c.min);
    Frame->edMax->setText(c.max);
    emit Frame->edMax->editingFinished();
    EXPECT_EQ(Frame->RangeMin(), c.lo);
    EXPECT_EQ(Frame->RangeMax(), c.hi);
    EXPECT_EQ(Changes.size(), c.notified ? 1u : 0u);
    EXPECT_EQ(Frame->edMin->text(), QString::number(c.lo, 'g', 6));
    EXPECT_EQ(Frame->edMax->text(), QString::number(c.hi, 'g', 6));
  }
}

} // namespace
} // namespace sorvane
