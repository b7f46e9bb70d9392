// The LCR meter's readout: |Z|, θ, D, Q, ESR and the series or parallel equivalent at a test
// frequency, each with its uncertainty. The test frequency is the fit over all points (its model
// at the frequency that carried the most weight) or one analysis point of the last result; the
// equivalent circuit is the user's, or the one an LCR meter picks by itself for the impedance.

#include "dravik/ui/uDravik.h"

#include "dravik/measure/uMeterReadout.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>

namespace dravik {
namespace {

const char* const FitEntry = "Fit over all points";

QComboBox* MeterList(const char* name, const QStringList& items, const char* tip) {
  auto* list = new QComboBox;
  list->setObjectName(name);
  list->addItems(items);
  list->setToolTip(tip);
  return list;
}

// "375 Hz" for the list: the frequency of an analysis point.
QString PointEntry(long double omega) {
  return QString::fromStdString(FloatToEng(omega / TwoPi) + "Hz");
}

} // namespace

QBoxLayout* TfmLCR::BuildMeterPanel() {
  auto* panel = new QVBoxLayout;
  auto* choices = new QHBoxLayout;
  cbTestFrequency = MeterList("cbTestFrequency", {FitEntry},
                              "The test frequency of the LCR meter readout: the fit over all "
                              "points, or one analysis point of the last result.");
  cbEquivalent = MeterList("cbEquivalent", {"Auto", "Series", "Parallel"},
                           "The equivalent circuit: Auto takes the series one below about "
                           "300 Ohm and the parallel one above.");
  choices->addWidget(cbTestFrequency, 2);
  choices->addWidget(cbEquivalent, 1);
  lblMeter = new QLabel;
  lblMeter->setObjectName("lblMeter");
  lblMeter->setTextInteractionFlags(Qt::TextSelectableByMouse);
  panel->addLayout(choices);
  panel->addWidget(lblMeter);
  connect(cbTestFrequency, &QComboBox::activated, this, &TfmLCR::ShowMeterReadout);
  connect(cbEquivalent, &QComboBox::activated, this, &TfmLCR::ShowMeterReadout);
  connect(this, &TfmLCR::ResultShown, this, &TfmLCR::ShowMeterReadout);
  return panel;
}

// The list follows the points of the last result; the chosen frequency stays chosen while it
// is among them.
void TfmLCR::ShowMeterReadout() {
  const std::vector<TFitPoint>& points = Analysis.LastPoints();
  const QString chosen = cbTestFrequency->currentText();
  QStringList entries = {FitEntry};
  for (const TFitPoint& p : points) entries << PointEntry(p.Omega);
  QStringList shown;
  for (int i = 0; i < cbTestFrequency->count(); ++i) shown << cbTestFrequency->itemText(i);
  if (shown != entries) {
    cbTestFrequency->clear();
    cbTestFrequency->addItems(entries);
    cbTestFrequency->setCurrentIndex(std::max(0, static_cast<int>(entries.indexOf(chosen))));
  }
  const auto choice = static_cast<platform::TEquivalentChoice>(cbEquivalent->currentIndex());
  const int index = cbTestFrequency->currentIndex();
  const TLCRFitResult& fit = Analysis.LastFit();
  if (!fit.HasResistance) {
    lblMeter->clear();
    return;
  }
  const platform::TLcrMeterReading reading =
      index >= 1 && static_cast<std::size_t>(index) <= points.size()
          ? PointMeterReading(points[static_cast<std::size_t>(index - 1)], choice)
          : FitMeterReading(fit, choice);
  QStringList lines;
  for (const std::string& line : platform::LcrMeterLines(reading)) lines << QString::fromStdString(line);
  lblMeter->setText(lines.join('\n'));
}

} // namespace dravik
