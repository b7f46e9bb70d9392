// The chart view driven as a person drives it, offscreen with synthetic pointer events: the
// readout shows each curve's value under the pointer, a click leaves a marker, the wheel, a
// rubber band and a middle-button drag zoom and pan, and the whole range comes back exactly.

#include "platform/gui/uChartAxes.h"
#include "platform/gui/uChartStyle.h"
#include "platform/gui/uChartView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMenu>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "platform/tests/gui/gui_support.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

using namespace platform;
using guitest::App;
using guitest::TWithApp;

// Re = 1 + lg f is straight in log f, Im = f / 1000 straight in f: the readout must give the
// exact value between points as well as on them.
double Re(double f) { return 1 + std::log10(f); }
double Im(double f) { return f / 1000; }

struct TChartFixture : ::testing::Test, TWithApp {
  QChart* Chart = new QChart;
  std::unique_ptr<TChartView> View;
  QLineSeries* ReSeries = new QLineSeries;
  QLineSeries* ImSeries = new QLineSeries;
  QLogValueAxis* Bottom = new QLogValueAxis;
  QValueAxis* Left = new QValueAxis;
  QValueAxis* Right = new QValueAxis;

  void SetUp() override {
    ReSeries->setName("Re");
    ImSeries->setName("Im");
    for (double f = 10; f <= 10000 * 1.0001; f *= std::pow(10.0, 0.1)) {
      ReSeries->append(f, Re(f));
      ImSeries->append(f, Im(f));
    }
    SetUnit(ReSeries, "Ohm");
    SetUnit(ImSeries, "Ohm");
    SetUnit(Bottom, "Hz");
    Chart->addSeries(ReSeries);
    Chart->addSeries(ImSeries);
    Bottom->setRange(10, 10000);
    Left->setRange(0, 6);
    Right->setRange(-1, 11);
    Chart->addAxis(Bottom, Qt::AlignBottom);
    Chart->addAxis(Left, Qt::AlignLeft);
    Chart->addAxis(Right, Qt::AlignRight);
    for (QLineSeries* s : {ReSeries, ImSeries}) s->attachAxis(Bottom);
    ReSeries->attachAxis(Left);
    ImSeries->attachAxis(Right);
    View = std::make_unique<TChartView>(Chart);
    View->resize(800, 500);
    View->show();
    QApplication::processEvents();
  }

  // Where a value of the Re curve lies in the view's viewport.
  QPoint At(double f, double y) const {
    return View->mapFromScene(Chart->mapToScene(Chart->mapToPosition(QPointF(f, y), ReSeries)));
  }
  QWidget* Port() const { return View->viewport(); }

  void Wheel(QPoint at, int delta, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(at, Port()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(Port(), &event);
  }

  struct TRanges {
    double BottomMin, BottomMax, LeftMin, LeftMax, RightMin, RightMax;
    bool operator==(const TRanges&) const = default;
  };
  TRanges Ranges() const {
    return {Bottom->min(), Bottom->max(), Left->min(), Left->max(), Right->min(), Right->max()};
  }
};

TEST_F(TChartFixture, ReadoutGivesEveryCurvesValueUnderThePointer) {
  // On a point (snapped to it), between points in log f, and near both ends.
  for (const double f : {1000.0, 31.6227766, 123.4, 777.0, 12.0, 9000.0}) {
    SCOPED_TRACE(f);
    QTest::mouseMove(Port(), At(f, 3));
    const TReadout& r = View->Cursor().PointerReadout();
    ASSERT_TRUE(r.Valid());
    EXPECT_EQ(r.XUnit, "Hz");
    // Where the pointer is, or on a point within a few pixels of it.
    EXPECT_NEAR(std::log10(r.X), std::log10(f), 6 * 3.0 / Chart->plotArea().width());
    ASSERT_EQ(r.Values.size(), 2u);
    EXPECT_EQ(r.Values[0].Name, "Re");
    EXPECT_EQ(r.Values[0].Unit, "Ohm");
    EXPECT_NEAR(r.Values[0].Value, Re(r.X), 1e-9);
    // Im is straight in f only between its points: interpolated in log f, exact on a point.
    EXPECT_NEAR(r.Values[1].Value, Im(r.X), Im(r.X) * 0.02);
  }
  // Outside the plot area there is no reading.
  QTest::mouseMove(Port(), QPoint(2, 2));
  EXPECT_FALSE(View->Cursor().PointerReadout().Valid());
}

TEST_F(TChartFixture, ClickLeavesAMarkerThatCanBeCopiedAndCleared) {
  EXPECT_FALSE(View->Cursor().HasMarker());
  QTest::mouseClick(Port(), Qt::LeftButton, {}, At(100, 3));
  ASSERT_TRUE(View->Cursor().HasMarker());
  EXPECT_NEAR(View->Cursor().MarkerPosition(), 100, 1e-6); // snapped onto the point at 100 Hz
  // The marker stays while the pointer moves on, and follows redrawn curves.
  QTest::mouseMove(Port(), At(3000, 3));
  ReSeries->replace(0, QPointF(10, 0));
  const TReadout marker = View->Cursor().MarkerReadout();
  ASSERT_EQ(marker.Values.size(), 2u);
  EXPECT_NEAR(marker.Values[0].Value, 3, 1e-9);

  std::unique_ptr<QMenu> menu(View->MakeContextMenu(nullptr));
  QAction* copy = nullptr;
  QAction* clear = nullptr;
  for (QAction* a : menu->actions()) {
    if (a->text() == "Copy values at marker") copy = a;
    if (a->text() == "Clear marker") clear = a;
  }
  ASSERT_TRUE(copy && clear);
  ASSERT_TRUE(copy->isEnabled());
  copy->trigger();
  const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "f\t100\tHz");
  EXPECT_EQ(lines[1], "Re\t3\tOhm");
  EXPECT_EQ(lines[2], "Im\t0.1\tOhm");
  clear->trigger();
  EXPECT_FALSE(View->Cursor().HasMarker());
}

TEST_F(TChartFixture, ZoomAndPanThenTheWholeRangeRestoresTheAxesExactly) {
  const TRanges home = Ranges();
  EXPECT_FALSE(View->Zoom().Zoomed());
  // The wheel zooms the frequency axis around the pointer: the frequency there stays put.
  Wheel(At(100, 3), 240);
  EXPECT_LT(std::log10(Bottom->max() / Bottom->min()), 3 / 1.5);
  EXPECT_LT(Bottom->min(), 100);
  EXPECT_GT(Bottom->max(), 100);
  EXPECT_EQ(Left->min(), home.LeftMin);
  // With Ctrl the value axes zoom as well.
  Wheel(At(100, 3), 120, Qt::ControlModifier);
  EXPECT_LT(Left->max() - Left->min(), 6);
  // With Shift the wheel moves along the frequency axis, whichever way the platform turns it.
  for (const QPoint turn : {QPoint(0, 120), QPoint(120, 0)}) {
    const double lo = Bottom->min(), hi = Bottom->max();
    QWheelEvent shifted(At(100, 3), Port()->mapToGlobal(At(100, 3)), QPoint(), turn, Qt::NoButton,
                        Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Port(), &shifted);
    EXPECT_LT(Bottom->min(), lo);
    EXPECT_NEAR(Bottom->max() / Bottom->min(), hi / lo, hi / lo * 1e-6) << "moved, not zoomed";
  }
  // A rubber band zooms to what it encloses.
  const double lo = Bottom->min(), hi = Bottom->max();
  const QPoint from = View->mapFromScene(Chart->mapToScene(Chart->plotArea().topLeft() + QPointF(100, 40)));
  const QPoint to = from + QPoint(200, 150);
  QTest::mousePress(Port(), Qt::LeftButton, {}, from);
  QTest::mouseMove(Port(), from + QPoint(50, 50));
  QTest::mouseMove(Port(), to);
  QTest::mouseRelease(Port(), Qt::LeftButton, {}, to);
  EXPECT_GT(Bottom->min(), lo);
  EXPECT_LT(Bottom->max(), hi);
  EXPECT_FALSE(View->Cursor().HasMarker()); // a drag is no click
  // A middle-button drag moves the curves with the pointer: lower frequencies come into view.
  const double before = Bottom->min();
  QTest::mousePress(Port(), Qt::MiddleButton, {}, to);
  QTest::mouseMove(Port(), to + QPoint(60, 0));
  QTest::mouseRelease(Port(), Qt::MiddleButton, {}, to + QPoint(60, 0));
  EXPECT_LT(Bottom->min(), before);
  ASSERT_TRUE(View->Zoom().Zoomed());
  ASSERT_NE(Ranges(), home);

  const QPoint middle = View->mapFromScene(Chart->mapToScene(Chart->plotArea().center()));
  QTest::mouseDClick(Port(), Qt::LeftButton, {}, middle);
  EXPECT_EQ(Ranges(), home);
  EXPECT_FALSE(View->Zoom().Zoomed());
  EXPECT_FALSE(UserZoomed(Chart));
}

TEST_F(TChartFixture, SavesTheChartAsPngAndSvg) {
  char pattern[] = "/tmp/chartview_test_XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  const QString png = QString::fromStdString((dir / "chart.png").string());
  const QString svg = QString::fromStdString((dir / "chart.svg").string());
  ReSeries->setPen(CurvePen(CurveColour(0), TCurveKind::Measured));
  ImSeries->setPen(CurvePen(CurveColour(1), TCurveKind::Model));
  Bottom->setTitleText(AxisTitle("Frequency", "Hz"));
  QApplication::processEvents(); // laid out and painted, as before any user's click
  ASSERT_TRUE(View->SaveImage(png));
  ASSERT_TRUE(View->SaveImage(svg));
  const QImage image(png);
  EXPECT_EQ(image.size(), View->size());
  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.startsWith("<?xml"));
  EXPECT_TRUE(text.trimmed().endsWith("</svg>"));
  EXPECT_TRUE(text.contains(">Frequency (Hz)</text>"));
  EXPECT_TRUE(text.contains("stroke=\"#ff0000\""));
  EXPECT_TRUE(text.contains("stroke-dasharray")); // the model curve is dashed
  EXPECT_FALSE(View->SaveImage(QString::fromStdString((dir / "missing" / "x.svg").string())));
  std::filesystem::remove_all(dir);
}

} // namespace
