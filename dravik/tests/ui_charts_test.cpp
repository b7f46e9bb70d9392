// The window's chart as a person reads it: titled axes with units, distinct 1-2-5 ticks, and
// the cursor's marker giving the measured values at a frequency. The calibration's waveforms
// and a measurement are grabbed as pictures; with DRAVIK_SCREENSHOTS set to a folder they are
// also written there (the guide's).

#include "dravik/tests/ui_support.h"

#include "platform/gui/uAxisTicks.h"
#include "platform/gui/uChartAxes.h"
#include "platform/gui/uChartView.h"

#include <QLineSeries>
#include <QValueAxis>
#include <cstdlib>
#include <set>

namespace dravik {
namespace {

using namespace uitest;

struct Charts : TWindowTest {
  void ExpectReadable(QValueAxis* axis, const QString& title) {
    SCOPED_TRACE(title.toStdString());
    EXPECT_EQ(axis->titleText(), title);
    EXPECT_DOUBLE_EQ(platform::RoundStep(axis->tickInterval() * 0.999), axis->tickInterval());
    const QStringList shown = platform::TickLabels(axis);
    EXPECT_GE(shown.size(), 2);
    EXPECT_EQ(std::set<QString>(shown.begin(), shown.end()).size(), static_cast<size_t>(shown.size()))
        << shown.join(" ").toStdString();
  }
  void Shoot(const char* name) {
    QApplication::processEvents();
    const QPixmap picture = W->grab();
    EXPECT_FALSE(picture.isNull());
    if (const char* dir = std::getenv("DRAVIK_SCREENSHOTS")) {
      EXPECT_TRUE(picture.save(QString(dir) + "/" + name)) << name;
    }
  }
};

TEST_F(Charts, CalibrationAndMeasurementAreReadable) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  W->resize(1000, 640);
  SelectBox(vmbox::BoxCount() - 1);
  W->rgRunMode->Item(0)->click();
  W->btnStart->click();
  // The amplitude run's trapezium on the inputs, not the silence of the offset run.
  const auto loud = [this] {
    double peak = 0;
    for (const QPointF& p : W->Series1->points()) peak = std::max(peak, std::fabs(p.y()));
    return Count("Amplitude calibration...") > 0 && peak > 0.05;
  };
  ASSERT_TRUE(PumpUntil(loud, 300s));
  EXPECT_EQ(W->Chart().BottomAxis()->titleText(), "Time (ms)");
  ExpectReadable(W->Chart().LeftAxis(), "Channel 1");
  Shoot("Dravik-calibration.png");
  ASSERT_TRUE(PumpUntil([this] { return Count("Calibration done.") > 0; }, 300s));

  SelectBox(0);
  ASSERT_TRUE(Measure(1));
  StopRun();
  EXPECT_EQ(W->Chart().BottomAxis()->titleText(), "Frequency (Hz)");
  ExpectReadable(W->Chart().LeftAxis(), "Re(Z) (Ohm)");
  ExpectReadable(W->Chart().RightAxis(), "Im(Z) (Ohm)");
  // A marker on the fourth measured frequency gives the values the curves have there.
  const QPointF re = W->Series1->at(3), im = W->Series2->at(3);
  platform::TChartCursor& cursor = W->Chart1->Cursor();
  cursor.SetMarkerAt(re.x());
  const platform::TReadout marker = cursor.MarkerReadout();
  ASSERT_TRUE(marker.Valid());
  EXPECT_EQ(marker.XUnit, "Hz");
  ASSERT_GE(marker.Values.size(), 2u);
  bool sawRe = false, sawIm = false;
  for (const platform::TReading& v : marker.Values) {
    EXPECT_EQ(v.Unit, "Ohm");
    if (v.Name == W->Series1->name()) sawRe = v.Value == re.y();
    if (v.Name == W->Series2->name()) sawIm = v.Value == im.y();
  }
  EXPECT_TRUE(sawRe && sawIm);
  EXPECT_TRUE(cursor.MarkerText().startsWith("f\t"));
  Shoot("Dravik.png");
}

} // namespace
} // namespace dravik
