#include "sorvane/ui/uSorvaneTour.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/inifile.h"
#include "platform/messages.h"
#include "platform/thread.h"
#include "platform/vmbox.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uMeterReadout.h"
#include "sorvane/ui/uExportBar.h"
#include "sorvane/ui/uLcrMeterPanel.h"
#include "sorvane/ui/uThieleSmallPanel.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

namespace vmbox = platform::vmbox;

constexpr int Timeout = 120000;
constexpr double MeasureSeconds = 10;
constexpr const char* ShortedBox = "Virtual box: shorted Zx";

void PrintLines(std::ostream& out, const std::string& prefix, const QString& text) {
  for (const QString& line : text.split('\n')) out << prefix << line.toStdString() << "\n";
}

int CountLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) ++n;
  return n;
}

// The boxes of the fixture's steps, -1 where there is none. An open box gets the open step;
// a component on leads gets the short step, on a box that shorts the same leads at their far
// end where the card has one, else on the shorted box.
struct TFixtureBoxes {
  int Component = -1, Open = -1, Short = -1;
};

bool ShortsLeads(const vmbox::TCircuit& c) {
  return !c.Open && !c.Shorted && c.R == 0 && c.L == 0 && c.C == 0 && c.HasLeads();
}

TFixtureBoxes FixtureBoxesOf(int shorted) {
  TFixtureBoxes boxes;
  boxes.Component = shorted == 0 ? 1 : 0;
  std::optional<vmbox::TCircuit> component;
  for (size_t i = 0; i < vmbox::BoxCount(); ++i) {
    const vmbox::TCircuit c = vmbox::BoxCircuit(i);
    if (static_cast<int>(i) == shorted) continue;
    if (c.Open) {
      if (boxes.Open < 0) boxes.Open = static_cast<int>(i);
    } else if (!ShortsLeads(c) && !component) {
      component = c;
      boxes.Component = static_cast<int>(i);
    }
  }
  if (!component || (component->LeadR == 0 && component->LeadL == 0)) return boxes;
  boxes.Short = shorted;
  for (size_t i = 0; i < vmbox::BoxCount(); ++i) {
    const vmbox::TCircuit c = vmbox::BoxCircuit(i);
    if (ShortsLeads(c) && c.LeadR == component->LeadR && c.LeadL == component->LeadL) {
      boxes.Short = static_cast<int>(i);
      break;
    }
  }
  return boxes;
}

std::string NumberText(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", x);
  return text;
}

// The step on `box` with its own R ref typed in; false when it did not end in time.
bool RunFixtureStep(TForm1& form, QPushButton* step, size_t box, bool& inStep, std::ostream& out) {
  out << "Tour: " << step->text().toStdString() << " on \"" << vmbox::BoxName(box) << "\", R ref "
      << NumberText(vmbox::ReferenceResistance(box)) << " Ohm\n";
  UseBox(form, box);
  TypeRref(form, NumberText(vmbox::ReferenceResistance(box)));
  inStep = true;
  step->click();
  const bool done = PumpUntil([&] { return !form.FixtureStepRunning() && !form.Running(); }, Timeout);
  inStep = false;
  return done;
}

// The readout of the fit at the test frequency, for the end of the result line.
std::string MeterSuffix(const TForm1& form) {
  const auto reading = ReadMeter(form.SignalIn().LastLcr(), TMeterSource::Fit, form.TestFrequency(),
                                 form.pnMeter->Choice());
  return reading ? MeterResultSuffix(*reading) : " Rp=nan D=nan Q=nan";
}

} // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  return platform::PumpUntil(done, std::chrono::milliseconds(timeoutMs));
}

int FindBox(const std::string& name) {
  for (size_t i = 0; i < vmbox::BoxCount(); ++i)
    if (vmbox::BoxName(i) == name) return static_cast<int>(i);
  return -1;
}

void UseBox(TForm1& form, size_t box) {
  form.frWaveSetup1->cbDeviceIn->setCurrentIndex(static_cast<int>(vmbox::DeviceId(box, vmbox::TPort::Input)));
  form.frWaveSetup1->cbDeviceOut->setCurrentIndex(static_cast<int>(vmbox::DeviceId(box, vmbox::TPort::Output)));
}

void TypeRref(TForm1& form, const std::string& text) {
  form.frRref->cbVal->lineEdit()->setText(QString::fromStdString(text));
  form.frRref->cbValExit(); // editing ends, as when the user leaves the box
}

// The box the tour calibrates on: TOUR_CALIBRATION_BOX names another one than the shorted jig,
// to show how the program refuses a calibration that cannot be one.
std::string CalibrationBoxName() {
  const char* name = std::getenv("TOUR_CALIBRATION_BOX");
  return name && *name ? name : ShortedBox;
}

enum class TCalibrated { Yes, NotStarted, Refused };

// Level check, "Continue" and the fit on `box`; Refused, after the refusal's line, when the
// program refused the calibration. `ok` turns false when a step did not finish in time.
TCalibrated Calibrate(TForm1& form, size_t box, int& blocks, bool& ok, std::ostream& out) {
  UseBox(form, box);
  TypeRref(form, "10");
  form.PageControl1->setCurrentWidget(form.tsProcessing);
  form.SetModeItem(0);
  form.btnStartStop->click();
  if (!form.Running()) return TCalibrated::NotStarted;
  ok = PumpUntil([&] { return blocks >= 4; }, Timeout);
  out << "Tour: Continue\n";
  form.btnCalibration->click();
  blocks = 0;
  const auto refused = [&] { return !form.Running() || form.SignalIn().CalibrationRefused(); };
  ok = ok && PumpUntil([&] {
    return !form.Running() ||
           (blocks >= 6 && (refused() || form.lbCalibration->text().startsWith("Press Stop")));
  }, Timeout);
  if (refused()) {
    PrintLines(out, "refused: ", form.lbCalibration->text());
    if (form.Running()) form.btnStartStop->click();
    return TCalibrated::Refused;
  }
  form.btnStartStop->click();
  out << "Tour: Stop; mode \"" << form.rgModeItems->checkedButton()->text().toStdString() << "\"\n";
  return TCalibrated::Yes;
}

// A loudspeaker box: "Z graph" at the finest resolution over 10 Hz .. 2 kHz, the Thiele-Small
// fit in full precision on a "ts:" line, and the curve exported as a ZMA file beside the
// window's other files.
bool MeasureLoudspeaker(TForm1& form, int& blocks, const TSorvaneFiles& files, std::ostream& out,
                        bool lossyCoil) {
  form.pnThieleSmall->cbLossyCoil->setChecked(lossyCoil);
  QComboBox* resolution = form.frWaveSetup1->cbResolution;
  resolution->setCurrentIndex(resolution->count() - 1);
  emit resolution->activated(resolution->count() - 1);
  form.SetModeItem(1);
  form.frSpRange1->SetRange(10, 2000);
  out << "Tour: loudspeaker at " << resolution->currentText().toStdString() << ", 10 Hz .. 2 kHz\n";
  blocks = 0;
  form.btnStartStop->click();
  const bool measured = form.Running() && PumpUntil([&] { return blocks >= 4; }, Timeout);
  form.btnStartStop->click();
  form.pnThieleSmall->btnFreeAirClick();
  const TThieleSmallFit& fit = form.pnThieleSmall->FreeAir();
  if (!fit.Ok) {
    out << "Tour: no Thiele-Small result: " << fit.Failure << "\n";
    return false;
  }
  char line[256];
  std::snprintf(line, sizeof line, "ts: Re=%.9g fs=%.9g Qms=%.9g Qes=%.9g Qts=%.9g Le=%.9g",
                fit.Re.Value, fit.Fs.Value, fit.Qms.Value, fit.Qes.Value, fit.Qts.Value, fit.Le.Value);
  out << line << "\n";
  const auto zma = std::filesystem::path(files.Settings).replace_extension(".zma");
  const std::string failure = form.ExportBar->ExportTo(zma, TExportFormat::Zma);
  if (failure.empty()) out << "Tour: exported " << zma.string() << "\n";
  else out << "Tour: not exported: " << failure << "\n";
  return measured && failure.empty();
}

int RunTour(std::ostream& out, const TSorvaneFiles& files) {
  const std::string calibrationBox = CalibrationBoxName();
  const int shorted = FindBox(ShortedBox), calibrateOn = FindBox(calibrationBox);
  if (shorted < 0 || calibrateOn < 0 || vmbox::BoxCount() < 2) {
    out << "Tour: the virtual card has no \"" << (calibrateOn < 0 ? calibrationBox : ShortedBox)
        << "\" and component box.\n";
    return 1;
  }
  const TFixtureBoxes fixtureBoxes = FixtureBoxesOf(shorted);
  const auto component = static_cast<size_t>(fixtureBoxes.Component);
  TForm1 form(files);
  form.OnMessage = [&](const std::string& text) { PrintLines(out, "Message: ", QString::fromStdString(text)); };
  form.OnFixtureStatus = [&](const std::string& text) { out << "Fixture: " << text << "\n"; };
  form.show();
  int blocks = 0;
  bool inStep = false; // the fixture's steps print what they measured, not every block
  const auto onBlock = form.SignalIn().OnBlock;
  form.SignalIn().OnBlock = [&](TWaveData& block) {
    onBlock(block);
    ++blocks;
    if (inStep) return;
    if (form.ModeItem() == 0) PrintLines(out, "Calibration status: ", form.lbCalibration->text());
    else PrintLines(out, "memLCRRes: ", form.memLCRRes->toPlainText());
    if (form.ModeItem() == 2) out << LcrResultLine(form.SignalIn().LastLcr()) << MeterSuffix(form) << "\n";
  };

  out << "Tour: calibration on \"" << calibrationBox << "\", R ref 10 Ohm\n";
  bool ok = true;
  const TCalibrated calibrated = Calibrate(form, static_cast<size_t>(calibrateOn), blocks, ok, out);
  if (calibrated != TCalibrated::Yes) {
    form.close();
    return calibrated == TCalibrated::Refused ? 2 : 1;
  }

  if (fixtureBoxes.Open >= 0)
    ok = ok && RunFixtureStep(form, form.btnOpen, static_cast<size_t>(fixtureBoxes.Open), inStep, out);
  if (fixtureBoxes.Short >= 0)
    ok = ok && RunFixtureStep(form, form.btnShort, static_cast<size_t>(fixtureBoxes.Short), inStep, out);

  out << "Tour: measuring \"" << vmbox::BoxName(component) << "\" for " << MeasureSeconds
      << " s of audio\n";
  UseBox(form, component);
  // The reference resistor of the box, typed as a user types it.
  TypeRref(form, NumberText(vmbox::ReferenceResistance(component)));
  form.SetModeItem(2);
  const double start = vmbox::AudioSeconds();
  form.btnStartStop->click();
  ok = ok && form.Running() &&
       PumpUntil([&] { return vmbox::AudioSeconds() - start >= MeasureSeconds; }, Timeout);
  form.btnStartStop->click();
  // A save that failed says why, as the window does, instead of counting the old file's lines.
  if (form.SaveCurve(form.Files().Results))
    out << "Tour: saved " << CountLines(form.Files().Results.string()) << " lines to "
        << form.Files().Results.string() << "\n";
  else
    PrintLines(out, "Tour: not saved: ", form.lbSaveStatus->text());
  // A loudspeaker is fitted with the voice coil's model the box has, as its user would choose.
  if (const auto model = vmbox::BoxCircuit(component).Model; model && model->Loudspeaker)
    ok = MeasureLoudspeaker(form, blocks, files, out, model->Speaker.Rl > 0) && ok;
  const std::string png = std::filesystem::path(files.Settings).replace_extension(".png").string();
  out << "Tour: screenshot " << png << (form.grab().save(QString::fromStdString(png)) ? "" : " failed")
      << "\n";
  form.close();
  if (form.CloseReport().empty()) out << "Close: both device threads stopped.\n";
  else PrintLines(out, "Close: ", QString::fromStdString(form.CloseReport()).replace("\r\n", "\n"));
  if (!ok) out << "Tour: a step did not finish in time.\n";
  return ok ? 0 : 1;
}

} // namespace sorvane
