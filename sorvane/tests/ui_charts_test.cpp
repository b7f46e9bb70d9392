// The chart in every mode, as a person reads it: the frequency axis titled with its unit, value
// axes titled with theirs and ticked on distinct 1-2-5 values, the curve of the component's
// value on its own axis in "Z graph + LCR". Each mode's window is grabbed as a picture; with
// SORVANE_SCREENSHOTS set to a folder the pictures are also written there (the guide's).

#include <gtest/gtest.h>

#include <QLogValueAxis>
#include <QRegularExpression>
#include <QValueAxis>
#include <cmath>
#include <cstdlib>
#include <set>

#include "platform/gui/uAxisTicks.h"
#include "platform/gui/uChartAxes.h"
#include "platform/gui/uChartHold.h"
#include "platform/gui/uHoldBar.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufrSpRange.h"

namespace sorvane {
namespace {

using uitest::TBlockCounter;
using uitest::TWindow;

void ExpectReadableAxes(const TSorvaneChart& chart) {
  for (QAbstractAxis* axis : chart.Chart()->axes()) {
    if (!axis->isVisible()) continue;
    SCOPED_TRACE(axis->titleText().toStdString());
    if (axis->orientation() == Qt::Horizontal) {
      EXPECT_EQ(axis->titleText(), "Frequency (Hz)");
    }
    auto* linear = qobject_cast<QValueAxis*>(axis);
    if (!linear) continue;
    EXPECT_DOUBLE_EQ(platform::RoundStep(linear->tickInterval() * 0.999), linear->tickInterval());
    const QStringList shown = platform::TickLabels(linear);
    const std::set<QString> labels(shown.begin(), shown.end());
    EXPECT_EQ(labels.size(), static_cast<size_t>(shown.size())) << shown.join(" ").toStdString();
    for (const QString& label : shown) EXPECT_FALSE(QRegularExpression("^-0\\.?0*$").match(label).hasMatch()) << label.toStdString();
    EXPECT_GE(labels.size(), 2u);
    EXPECT_LE(labels.size(), 15u);
  }
}

void Shoot(TForm1& form, const char* name) {
  QApplication::processEvents();
  const QPixmap picture = form.grab();
  EXPECT_FALSE(picture.isNull());
  if (const char* dir = std::getenv("SORVANE_SCREENSHOTS")) {
    EXPECT_TRUE(picture.save(QString(dir) + "/" + name)) << name;
  }
}

TEST(Charts, EveryModeIsReadable) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  w->resize(900, 600);
  TBlockCounter blocks(*w.Form);
  TypeRref(*w.Form, "10");
  UseBox(*w.Form, static_cast<size_t>(FindBox(uitest::Shorted)));
  w->PageControl1->setCurrentWidget(w->tsProcessing);
  w->SetModeItem(0);
  w->btnStartStop->click();
  ASSERT_TRUE(blocks.WaitFor(3));
  ExpectReadableAxes(w->ChartData());
  Shoot(*w.Form, "Sorvane-levelcheck.png");
  w->btnCalibration->click();
  ASSERT_TRUE(PumpUntil([&] { return w->lbCalibration->text().startsWith("Press Stop"); }, uitest::Timeout));
  ExpectReadableAxes(w->ChartData());
  Shoot(*w.Form, "Sorvane-calibration.png");
  w->btnStartStop->click();

  const struct {
    int mode;
    const char* box;
    bool modPhase, logF;
    double lo, hi;
    const char* picture;
    const char* heldBox; // measured first and held, to compare with
  } views[] = {
      {1, "Virtual box: 3.3 Ohm + 1 mH", false, false, 23, 22000, "Sorvane-zgraph.png", nullptr},
      {2, "Virtual box: 10 uF + 0.2 Ohm", false, true, 23, 22000, "Sorvane-lcr.png", nullptr},
      {1, "Virtual box: 3.3 Ohm + 1 mH", true, true, 23, 22000, "Sorvane-modphase.png", nullptr},
      {1, "Virtual box: 3.3 Ohm + 1 mH", true, true, 23, 22000, "Sorvane-hold.png", "Virtual box: 47 Ohm"},
      {3, "Virtual box: 47 Ohm", false, false, 23, 22000, "Sorvane-transfer.png", nullptr},
  };
  const auto measure = [&](const char* box) {
    UseBox(*w.Form, static_cast<size_t>(FindBox(box)));
    w->btnStartStop->click();
    ASSERT_TRUE(w->Running());
    ASSERT_TRUE(blocks.WaitFor(6));
    w->btnStartStop->click();
  };
  for (const auto& v : views) {
    SCOPED_TRACE(v.picture);
    w->SetModeItem(v.mode);
    w->cbModPh->setChecked(v.modPhase);
    w->cbLogF->setChecked(v.logF);
    EXPECT_EQ(w->frSpRange1->Logarithmic(), v.logF);
    w->frSpRange1->SetRange(v.lo, v.hi);
    if (v.heldBox) {
      measure(v.heldBox);
      w->HoldBar->btnHold->click();
      ASSERT_EQ(w->Holds->Count(), 1);
    }
    measure(v.box);
    if (v.heldBox) {
      // The held |Z| of 47 Ohm lies flat at 47 beside the coil's rising one.
      const QList<QPointF> held = w->Holds->Curves(0)[0]->points();
      ASSERT_FALSE(held.isEmpty());
      EXPECT_NEAR(held[held.size() / 2].y(), 47, 0.5);
      EXPECT_TRUE(w->Holds->Curves(0)[0]->isVisible());
    }
    ExpectReadableAxes(w->ChartData());
    const bool ownAxis = v.mode == 2 && !v.modPhase;
    EXPECT_EQ(w->ChartData().CurveOwnAxis(), ownAxis);
    if (ownAxis) {
      EXPECT_EQ(w->ChartData().CurveAxisOf()->titleText(), "C (µF)");
    }
    Shoot(*w.Form, v.picture);
  }
}

} // namespace
} // namespace sorvane
