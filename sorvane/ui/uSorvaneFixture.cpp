// The fixture's open, short and load steps: once per fixture, with nothing connected to the
// leads, with the leads shorted at their far end, and with a known resistor on them, the
// measurement runs for a few blocks over the whole band and keeps the mean admittance of every
// bin; every impedance is then taken through the compensation while "Fixture compensation"
// is ticked. The settings file keeps the steps with the card and rate they were measured at.

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "platform/fixture.h"
#include "platform/gui/uNamedButton.h"
#include "sorvane/analysis/uFormatEng.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

using platform::TFixtureStep;

const char* const FixtureSection = "Fixture";
// The first block after a start may still carry the signal change; the next ones are averaged.
constexpr int SkippedBlocks = 1;
constexpr int AveragedBlocks = 3;
// The frequency whose values the status reports: leads and terminals both show there.
constexpr double ReportedHz = 1500;

const char* StepName(TFixtureStep step) {
  switch (step) {
  case TFixtureStep::Open: return "Open";
  case TFixtureStep::Short: return "Short";
  case TFixtureStep::Load: return "Load";
  }
  return "";
}

QPushButton* StepButton(const char* name, const char* caption, const char* tip, QWidget* parent) {
  QPushButton* button = platform::NamedButton(name, caption, tip, parent);
  // As wide as its caption asks, so that the row fits beside the chart's width.
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(caption) + 24);
  return button;
}

std::string Ohms(double x) { return FormatEng(x) + "Ohm"; }
std::string Hertz(double x) { return FormatEng(x) + "Hz"; }

// What a step measured at bin k, in the status's words.
std::string Measured(TFixtureStep step, const platform::TFixture& fixture, std::size_t k, double hz) {
  std::string text = std::string(StepName(step)) + " measured: ";
  if (step == TFixtureStep::Short) {
    const platform::TFixtureComplex zs = fixture.SeriesImpedance(k);
    return text + "Rs= " + Ohms(static_cast<double>(zs.real())) + ", Xs= " +
           Ohms(static_cast<double>(zs.imag())) + " at " + Hertz(hz) + ".";
  }
  if (step == TFixtureStep::Open) {
    const platform::TFixtureComplex yo = fixture.ParallelAdmittance(k);
    if (yo == platform::TFixtureComplex{}) return text + "nothing across the terminals.";
    return text + "|Zo|= " + Ohms(static_cast<double>(1 / std::abs(yo))) + " at " + Hertz(hz) + ".";
  }
  // F scales the admittances: the impedances read 1 / F times their value.
  const auto scale = static_cast<double>(1 / std::abs(fixture.LoadFactor(k, fixture.LoadReference)));
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.6g", scale);
  return text + "impedances read " + figure + " times their value at " + Hertz(hz) +
         " with R ref= " + Ohms(static_cast<double>(fixture.LoadReference)) + ".";
}

} // namespace

QWidget* TForm1::BuildFixturePanel() {
  pnFixture = new QWidget(tsProcessing);
  pnFixture->setObjectName("pnFixture");
  btnOpen = StepButton("btnOpen", "Open",
                       "Measures the fixture with nothing connected to the leads: what lies "
                       "across the terminals (the inputs, the cables).", pnFixture);
  btnShort = StepButton("btnShort", "Short",
                        "Measures the fixture with the leads shorted at their far end: their "
                        "resistance and inductance.", pnFixture);
  btnLoad = StepButton("btnLoad", "Load",
                       "Measures the resistor typed beside it on the leads: the scale that the "
                       "card's input across R ref gives every reading, for this R ref.", pnFixture);
  lbLoad = new QLabel("Load (Ohm)", pnFixture);
  lbLoad->setObjectName("lbLoad");
  edLoad = new QLineEdit(pnFixture);
  edLoad->setObjectName("edLoad");
  edLoad->setToolTip("The load step's resistor in ohms (\"10k\" reads as 10000)");
  edLoad->setFixedWidth(edLoad->fontMetrics().horizontalAdvance("999.999k") + 12);
  cbFixture = new QCheckBox("Fixture compensation", pnFixture);
  cbFixture->setObjectName("cbFixture");
  cbFixture->setChecked(true);
  lbFixture = new QLabel(pnFixture);
  lbFixture->setObjectName("lbFixture");
  lbFixture->setWordWrap(true);
  lbFixture->setVisible(false);

  auto* steps = new QHBoxLayout;
  steps->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w : {static_cast<QWidget*>(btnOpen), static_cast<QWidget*>(btnShort),
                     static_cast<QWidget*>(btnLoad), static_cast<QWidget*>(lbLoad),
                     static_cast<QWidget*>(edLoad)})
    steps->addWidget(w);
  steps->addStretch(1);
  auto* layout = new QVBoxLayout(pnFixture);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(steps);
  layout->addWidget(cbFixture);
  layout->addWidget(lbFixture);

  connect(btnOpen, &QPushButton::clicked, this, [this] { btnFixtureStepClick(TFixtureStep::Open); });
  connect(btnShort, &QPushButton::clicked, this, [this] { btnFixtureStepClick(TFixtureStep::Short); });
  connect(btnLoad, &QPushButton::clicked, this, [this] { btnFixtureStepClick(TFixtureStep::Load); });
  connect(cbFixture, &QCheckBox::toggled, this, &TForm1::cbFixtureClick);
  return pnFixture;
}

// A step is a measurement on the devices chosen, over the whole band so that it serves any
// range measured later; it starts only where Start would.
void TForm1::btnFixtureStepClick(TFixtureStep step) {
  if (FRunning || FFixtureStep) return;
  double standard = 0;
  if (step == TFixtureStep::Load &&
      (!ParseValue(edLoad->text().trimmed().toStdString(), standard) || !(standard > 0))) {
    ShowFixtureStatus("Load: type the resistance of the load in ohms first.", true);
    return;
  }
  if (ModeItem() != 1 && ModeItem() != 2) SetModeItem(1);
  FFixtureStep = step;
  FFixtureStandard = standard;
  FFixtureBlocks = 0;
  FFixtureAverage = {};
  FUserLo = frSpRange1->RangeMin();
  FUserHi = frSpRange1->RangeMax();
  frSpRange1->SetRange(frSpRange1->FullMin(), frSpRange1->FullMax());
  switch (step) {
  case TFixtureStep::Open: ShowFixtureStatus("Open: measuring the fixture with nothing connected...", false); break;
  case TFixtureStep::Short: ShowFixtureStatus("Short: measuring the fixture with the leads shorted...", false); break;
  case TFixtureStep::Load:
    ShowFixtureStatus("Load: measuring the load of " + Ohms(standard) + " with R ref= " +
                          Ohms(frRref->Value()) + "...", false);
    break;
  }
  btnStartStopClick();
  if (FRunning) return;
  FFixtureStep.reset();
  frSpRange1->SetRange(FUserLo, FUserHi);
}

// The admittances are taken as measured, before the compensation in force.
void TForm1::FixtureBlock(const TWaveData& block, bool swap) {
  if (++FFixtureBlocks <= SkippedBlocks) return;
  FFixtureAverage.Add(MeasuredAdmittances(block, swap, frRref->Value()));
  if (FFixtureAverage.Count() >= AveragedBlocks) EndFixtureStep();
}

void TForm1::EndFixtureStep() {
  const TFixtureStep step = *FFixtureStep;
  FFixtureStep.reset();
  platform::TFixture& fixture = FSignalIn->Fixture;
  const auto frames = static_cast<uint32_t>(FBlockLen);
  if (step == TFixtureStep::Load) {
    fixture.KeepLoad(PlaceInUse(), frames, FFixtureAverage.Mean(), FFixtureStandard, frRref->Value());
  } else {
    fixture.Keep(step, PlaceInUse(), frames, FFixtureAverage.Mean());
  }
  const double fs = FSignalIn->SampleRate();
  const int k = FrequencyToBin(FBlockLen, ReportedHz, fs);
  ShowFixtureStatus(Measured(step, fixture, static_cast<std::size_t>(k), k * fs / FBlockLen), false);
  // The run ends once the block that brought the last average has been handled.
  QTimer::singleShot(0, this, [this] { FinishFixtureRun(); });
}

void TForm1::FinishFixtureRun() {
  if (FRunning) btnStartStopClick();
  frSpRange1->SetRange(FUserLo, FUserHi);
}

void TForm1::EnableFixtureSteps(bool enabled) {
  for (QPushButton* button : {btnOpen, btnShort, btnLoad}) button->setEnabled(enabled);
}

void TForm1::cbFixtureClick() { FSignalIn->Fixture.Enabled = cbFixture->isChecked(); }

void TForm1::ShowFixtureStatus(const std::string& text, bool warning) {
  lbFixture->setText(QString::fromStdString(text));
  lbFixture->setStyleSheet(warning ? "color: rgb(170, 85, 0);" : "");
  lbFixture->setVisible(!text.empty());
  if (OnFixtureStatus && !text.empty()) OnFixtureStatus(text);
}

// A stored fixture of another rate, block length or card, or a load of another R ref, is
// said so when a measurement starts; a fixture that applies clears what was said before.
void TForm1::WarnOfFixture() {
  const platform::TFixture& fixture = FSignalIn->Fixture;
  std::string warning = platform::FixtureUnusedWarning(
      fixture, PlaceInUse(), static_cast<uint32_t>(FBlockLen), FixturePoints(FBlockLen));
  if (warning.empty()) warning = platform::LoadUnusedWarning(fixture, frRref->Value());
  if (!warning.empty()) ShowFixtureStatus(warning, true);
  else if (lbFixture->styleSheet() != "") ShowFixtureStatus("", false);
}

void TForm1::ReadFixture(const platform::TIniFile& ini) {
  FSignalIn->Fixture = platform::LoadFixture(ini, FixtureSection);
  cbFixture->setChecked(FSignalIn->Fixture.Enabled);
  if (FSignalIn->Fixture.LoadStandard > 0)
    edLoad->setText(QString::number(static_cast<double>(FSignalIn->Fixture.LoadStandard), 'g', 15));
}

// A file that never had a fixture gets none written.
void TForm1::WriteFixture(platform::TIniFile& ini) const {
  const platform::TFixture& fixture = FSignalIn->Fixture;
  if (fixture.Measured() || !fixture.Enabled || ini.SectionExists(FixtureSection))
    platform::SaveFixture(ini, FixtureSection, fixture);
}

} // namespace sorvane
