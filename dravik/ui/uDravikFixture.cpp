// The fixture's open and short steps: once per fixture, with nothing connected to the leads and
// with the leads shorted at their far end, the measurement runs for a few seconds and keeps
// the mean admittance of every analysis point; the analysis then takes the leads' series
// impedance and what lies across the terminals out of every reading, while "Fixture
// compensation" is ticked. A third step on a standard resistor takes out the scale error that
// remains. The settings file keeps both steps with the card and rate.

#include "dravik/ui/uDravik.h"

#include "dravik/ui/uRadioGroup.h"

#include "platform/gui/uNamedButton.h"
#include "platform/inifile.h"

#include <cmath>
#include <cstdio>

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace dravik {
namespace {

const char* const FixtureSection = "Fixture";
// The first result of a run may come from a single block and from inputs still settling; the
// next ones each average a second.
constexpr int SkippedResults = 1;
constexpr int AveragedResults = 3;
// The point whose values the log reports: 1.5 kHz at 48000 Hz, where leads and terminals both
// show.
constexpr std::size_t ReportedPoint = 6;

// Each step's name in the log and what the log says as it starts, in the order of TFixtureStep.
struct TStepTexts {
  const char* Name;
  const char* Start;
};
const TStepTexts& TextsOf(platform::TFixtureStep Step) {
  static const TStepTexts texts[] = {
      {"Open", "Open: measuring the fixture with nothing connected..."},
      {"Short", "Short: measuring the fixture with the leads shorted..."},
      {"Load", "Load: measuring the standard resistor..."}};
  return texts[static_cast<int>(Step)];
}

std::string Hertz(long double Hz) { return FloatToEng(Hz) + "Hz"; }

} // namespace

QBoxLayout* TfmLCR::BuildFixtureRow() {
  auto* row = new QHBoxLayout;
  btnOpen = platform::NamedButton("btnOpen", "Open",
                       "Measures the fixture with nothing connected to the leads: what lies "
                       "across the terminals (the inputs, the cables).");
  btnShort = platform::NamedButton("btnShort", "Short",
                        "Measures the fixture with the leads shorted at their far end: their "
                        "resistance and inductance.");
  btnLoad = platform::NamedButton("btnLoad", "Load",
                       "Measures a standard resistor of the value typed beside: the scale error "
                       "that remains (the inputs' own impedance across R ref). Run it after "
                       "Open and Short, with the R ref you measure with.");
  edLoad = new QLineEdit("10000");
  edLoad->setObjectName("edLoad");
  edLoad->setToolTip("The load standard's resistance, in ohms.");
  edLoad->setMaximumWidth(80);
  cbFixture = new QCheckBox("Fixture compensation");
  cbFixture->setObjectName("cbFixture");
  cbFixture->setChecked(true);
  row->addWidget(btnOpen);
  row->addWidget(btnShort);
  row->addWidget(btnLoad);
  row->addWidget(edLoad);
  row->addWidget(new QLabel("Ohm"), 1);
  auto* rows = new QVBoxLayout;
  rows->addLayout(row);
  rows->addWidget(cbFixture);
  connect(btnOpen, &QPushButton::clicked, this,
          [this] { btnFixtureStepClick(platform::TFixtureStep::Open); });
  connect(btnShort, &QPushButton::clicked, this,
          [this] { btnFixtureStepClick(platform::TFixtureStep::Short); });
  connect(btnLoad, &QPushButton::clicked, this,
          [this] { btnFixtureStepClick(platform::TFixtureStep::Load); });
  connect(cbFixture, &QCheckBox::clicked, this, &TfmLCR::cbFixtureClick);
  connect(this, &TfmLCR::ResultShown, this, &TfmLCR::FixtureResult);
  return rows;
}

void TfmLCR::EnableFixtureSteps(bool Enabled) {
  btnOpen->setEnabled(Enabled);
  btnShort->setEnabled(Enabled);
  btnLoad->setEnabled(Enabled);
}

long double TfmLCR::LoadStandard() const {
  bool ok = false;
  const double ohms = edLoad->text().trimmed().toDouble(&ok);
  return ok && std::isfinite(ohms) && ohms > 0 ? ohms : 0;
}

// A step is a measurement on the devices chosen: it starts only where Start would.
void TfmLCR::btnFixtureStepClick(platform::TFixtureStep Step) {
  if (!SignalIn || !SignalOut || !btnStart->isEnabled() || !ReadyToStart()) return;
  if (Step == platform::TFixtureStep::Load && LoadStandard() <= 0) {
    AddMessage("Load: type the standard resistor's value in ohms beside the Load button.", false);
    return;
  }
  FFixtureStep = Step;
  FFixtureResults = 0;
  FFixtureSum.fill(TComplex{});
  AddMessage(TextsOf(Step).Start, true);
  rgRunMode->SetItemIndex(1);
  rgRunModeClick();
  btnStartMeasurementClick();
}

void TfmLCR::FixtureResult() {
  if (!FFixtureStep) return;
  if (++FFixtureResults <= SkippedResults) return;
  const auto& measured = Analysis.MeasuredAdmittances();
  for (std::size_t i = 0; i < FFixtureSum.size(); ++i) {
    FFixtureSum[i].Re += measured[i].Re;
    FFixtureSum[i].Im += measured[i].Im;
  }
  if (FFixtureResults >= SkippedResults + AveragedResults) EndFixtureStep();
}

void TfmLCR::EndFixtureStep() {
  const platform::TFixtureStep step = *FFixtureStep;
  FFixtureStep.reset();
  std::vector<platform::TFixtureComplex> admittances;
  for (const TComplex& sum : FFixtureSum)
    admittances.emplace_back(sum.Re / AveragedResults, sum.Im / AveragedResults);
  platform::TFixture fixture = Analysis.Fixture();
  if (step == platform::TFixtureStep::Load)
    fixture.KeepLoad(PlaceInUse(), SignalIn->BlockLength, admittances, LoadStandard(),
                     RefResistance);
  else
    fixture.Keep(step, PlaceInUse(), SignalIn->BlockLength, admittances);
  Analysis.SetFixture(fixture);
  // The run ends once the block that brought this result has been handled.
  QTimer::singleShot(0, this, [this] {
    if (RunInProgress()) btnStopMeasurementClick();
  });
  const long double f = static_cast<long double>(SignalIn->GetSamplingRate()) /
                        SignalIn->BlockLength * (1u << ReportedPoint);
  std::string text = std::string(TextsOf(step).Name) + " measured: ";
  if (step == platform::TFixtureStep::Short) {
    const platform::TFixtureComplex zs = fixture.SeriesImpedance(ReportedPoint);
    text += "Rs= " + FloatToEng(zs.real()) + "Ohm, Xs= " + FloatToEng(zs.imag()) + "Ohm at " +
            Hertz(f) + ".";
  } else if (step == platform::TFixtureStep::Load) {
    const platform::TFixtureComplex scale = fixture.LoadFactor(ReportedPoint, fixture.LoadReference);
    char off[32];
    std::snprintf(off, sizeof off, "%+.3g %%", static_cast<double>(100 * (std::abs(1.0L / scale) - 1)));
    text += "the standard read " + std::string(off) + " off its value at " + Hertz(f) + ".";
  } else {
    const platform::TFixtureComplex yo = fixture.ParallelAdmittance(ReportedPoint);
    text += yo == platform::TFixtureComplex{}
                ? std::string("nothing across the terminals.")
                : "|Zo|= " + FloatToEng(1 / std::abs(yo)) + "Ohm at " + Hertz(f) + ".";
  }
  AddMessage(text, true);
}

void TfmLCR::cbFixtureClick() {
  platform::TFixture fixture = Analysis.Fixture();
  fixture.Enabled = cbFixture->isChecked();
  Analysis.SetFixture(fixture);
}

void TfmLCR::WarnOfFixture() {
  if (FFixtureStep || !SignalIn) return;
  const std::string warning = platform::FixtureUnusedWarning(
      Analysis.Fixture(), PlaceInUse(), SignalIn->BlockLength, TLCRAnalysis::FrequencyCount);
  if (!warning.empty()) AddMessage(warning, false);
  const std::string load = platform::LoadUnusedWarning(Analysis.Fixture(), RefResistance);
  if (!load.empty() && warning.empty()) AddMessage(load, false);
}

void TfmLCR::ReadFixture(const platform::TIniFile& Ini) {
  const platform::TFixture fixture = platform::LoadFixture(Ini, FixtureSection);
  Analysis.SetFixture(fixture);
  cbFixture->setChecked(fixture.Enabled);
}

// A file that never had a fixture gets none written.
void TfmLCR::WriteFixture(platform::TIniFile& Ini) const {
  const platform::TFixture& fixture = Analysis.Fixture();
  if (fixture.Measured() || !fixture.Enabled || Ini.SectionExists(FixtureSection))
    platform::SaveFixture(Ini, FixtureSection, fixture);
}

} // namespace dravik
