// Held curves: a copy of what is drawn, faint and behind the live curves, named with the time,
// hidden, removed, saved as a results file and loaded back as it was.

#include "platform/gui/uChartHold.h"
#include "platform/gui/uChartStyle.h"

#include <QApplication>
#include <QChartView>
#include <QFile>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QRegularExpression>
#include <QValueAxis>
#include <gtest/gtest.h>

#include "platform/tests/gui/gui_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace platform;
using guitest::App;
using guitest::TWithApp;

struct TChartHoldsTest : ::testing::Test, TWithApp {
  // Shown in a view: the legend's entries are visible only there.
  QChartView* View = new QChartView(new QChart);
  QChart& Chart = *View->chart();
  QLineSeries* Re = new QLineSeries;
  QLineSeries* Im = new QLineSeries;
  QLogValueAxis* Bottom = new QLogValueAxis;
  QValueAxis* Left = new QValueAxis;
  QValueAxis* Right = new QValueAxis;
  std::unique_ptr<TChartHolds> Holds;
  std::filesystem::path Dir;

  void SetUp() override {
    char pattern[] = "/tmp/chartholds_test_XXXXXX";
    Dir = mkdtemp(pattern);
    Re->setName("Re");
    Im->setName("Im");
    StyleCurve(Re, CurveColour(0), TCurveKind::Measured);
    StyleCurve(Im, CurveColour(1), TCurveKind::Measured);
    for (double f = 20; f < 20000; f *= 1.7) {
      Re->append(f, 3.3 + 1e-3 * std::log(f));
      Im->append(f, -2 * M_PI * f * 1e-3 * 1.000000123456789);
    }
    SetUnit(Bottom, "Hz");
    Chart.addSeries(Re);
    Chart.addSeries(Im);
    Chart.addAxis(Bottom, Qt::AlignBottom);
    Chart.addAxis(Left, Qt::AlignLeft);
    Chart.addAxis(Right, Qt::AlignRight);
    for (QLineSeries* s : {Re, Im}) s->attachAxis(Bottom);
    Re->attachAxis(Left);
    Im->attachAxis(Right);
    Holds = std::make_unique<TChartHolds>(&Chart, std::vector<QLineSeries*>{Re, Im});
    View->resize(800, 500);
    View->show();
  }
  void TearDown() override {
    Holds.reset();
    delete View;
    std::filesystem::remove_all(Dir);
  }
  QString File(const char* name) const { return QString::fromStdString((Dir / name).string()); }
};

TEST_F(TChartHoldsTest, HoldCopiesTheCurvesFaintlyBehindTheLiveOnes) {
  const QList<QPointF> before = Re->points();
  const QString name = Holds->Hold();
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(name).hasMatch()) << name.toStdString();
  ASSERT_EQ(Holds->Count(), 1);
  const std::vector<QLineSeries*> held = Holds->Curves(0);
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held[0]->name(), name + " Re");
  EXPECT_EQ(held[0]->points(), before);
  EXPECT_LT(held[0]->pen().color().alpha(), 255);
  EXPECT_EQ(held[1]->attachedAxes(), Im->attachedAxes());
  // Painted behind: where both lie, a live curve drawn in another colour shows unblended.
  Re->setPen(QPen(QColor(0, 0, 255), 3));
  Im->setVisible(false);
  QApplication::processEvents();
  const QPoint at = View->mapFromScene(Chart.mapToScene(Chart.mapToPosition(before[5], Re)));
  const QImage picture = View->grab().toImage();
  // The wide blue line covers the thin faint red one wholly, unless that one is on top.
  int reddest = 0, bluest = 0;
  for (int dx = -2; dx <= 2; ++dx) {
    for (int dy = -2; dy <= 2; ++dy) {
      const QColor c = picture.pixelColor(at + QPoint(dx, dy));
      if (c.blue() > 100 && c.green() < 60) reddest = std::max(reddest, c.red());
      bluest = std::max(bluest, c.blue() - c.green());
    }
  }
  EXPECT_GT(bluest, 200) << "the live curve is there";
  EXPECT_LT(reddest, 30) << "a faint red held curve over the live one would tint it";
  Im->setVisible(true);
  EXPECT_FALSE(Chart.legend()->markers(held[0]).front()->isVisible());
  EXPECT_TRUE(Chart.legend()->markers(Re).front()->isVisible());
  // The live curve goes on; the held one stays.
  Re->replace(0, QPointF(20, 99));
  EXPECT_EQ(held[0]->points(), before);

  Holds->Hold();
  ASSERT_EQ(Holds->Count(), 2);
  Holds->SetVisible(0, false);
  EXPECT_FALSE(held[0]->isVisible());
  EXPECT_TRUE(Holds->Curves(1)[0]->isVisible());
  Holds->Remove(0);
  EXPECT_EQ(Holds->Count(), 1);
  EXPECT_FALSE(Chart.series().contains(held[0]));
  // Nothing drawn: nothing to hold.
  Re->clear();
  Im->clear();
  EXPECT_TRUE(Holds->Hold().isEmpty());
  EXPECT_EQ(Holds->Count(), 1);
}

TEST_F(TChartHoldsTest, SavedAndLoadedAsAResultsFile) {
  Holds->Hold();
  ASSERT_TRUE(Holds->Save(0, File("held.txt")).isEmpty());
  QFile file(File("held.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), Re->count() + 1); // the last line end leaves an empty piece
  EXPECT_EQ(lines[0].size(), 3 * 23 + 2 + 1) << "three fields, two spaces and the CR";
  EXPECT_TRUE(lines[0].endsWith('\r'));
  ASSERT_TRUE(Holds->Load(File("held.txt")).isEmpty());
  ASSERT_EQ(Holds->Count(), 2);
  EXPECT_EQ(Holds->Name(1), "held");
  for (std::size_t c = 0; c < 2; ++c) {
    const QList<QPointF> original = Holds->Curves(0)[c]->points(), loaded = Holds->Curves(1)[c]->points();
    ASSERT_EQ(loaded.size(), original.size());
    for (qsizetype i = 0; i < original.size(); ++i) {
      EXPECT_NEAR(loaded[i].x(), original[i].x(), std::fabs(original[i].x()) * 1e-14);
      EXPECT_NEAR(loaded[i].y(), original[i].y(), std::fabs(original[i].y()) * 1e-14);
    }
  }
  // A file of the wrong kind, or none, is refused and holds nothing.
  QFile bad(File("bad.txt"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(" 1.0E+0000 2.0E+0000\r\nnot numbers\r\n");
  bad.close();
  EXPECT_TRUE(Holds->Load(File("bad.txt")).contains("line 2"));
  EXPECT_FALSE(Holds->Load(File("missing.txt")).isEmpty());
  EXPECT_FALSE(Holds->Save(0, File("no/such/dir.txt")).isEmpty());
  EXPECT_EQ(Holds->Count(), 2);
}

TEST_F(TChartHoldsTest, HeldCurvesFollowTheLiveOnesAxes) {
  Holds->Hold();
  Im->detachAxis(Right);
  Im->attachAxis(Left);
  Holds->FollowAxes();
  EXPECT_TRUE(Holds->Curves(0)[1]->attachedAxes().contains(Left));
  EXPECT_FALSE(Holds->Curves(0)[1]->attachedAxes().contains(Right));
  // The frequency axis now shows time: held frequency curves have no place there.
  SetUnit(Bottom, "ms");
  Holds->FollowAxes();
  EXPECT_FALSE(Holds->Curves(0)[0]->isVisible());
  SetUnit(Bottom, "Hz");
  Holds->FollowAxes();
  EXPECT_TRUE(Holds->Curves(0)[0]->isVisible());
}

TEST(ResultNumbers, TwentyThreeCharacters) {
  const std::pair<double, const char*> cases[] = {{440, " 4.40000000000000E+0002"},
                                                  {-0.00125, "-1.25000000000000E-0003"},
                                                  {0, " 0.00000000000000E+0000"},
                                                  {NAN, "                    NAN"},
                                                  {-INFINITY, "                   -INF"}};
  for (const auto& [v, text] : cases) EXPECT_EQ(FormatResultNumber(v), text) << v;
}

} // namespace
