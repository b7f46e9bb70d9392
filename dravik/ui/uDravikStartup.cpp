// Start-up (the chains, the device lists and the settings file, 100 ms after the window was
// created) and closing (the settings file written, the chains freed, the log over the window).

#include "dravik/ui/uDravik.h"

#include "dravik/ui/uRadioGroup.h"
#include "platform/advice.h"
#include "platform/device_choice.h"
#include "platform/inifile.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QLayout>
#include <QComboBox>
#include <QPushButton>
#include <QSplitter>
#include <QTextEdit>
#include <QTimer>

#include <cmath>
#include <iostream>

namespace dravik {
namespace {

const char* const Section = "Dravik";

// A stored index counts only when it names an entry of its list; anything else is missing.
bool InList(int index, long long count) { return index >= 0 && index < count; }

std::vector<std::string> ListedNames(const QComboBox& List) {
  std::vector<std::string> names;
  for (int i = 0; i < List.count(); ++i) names.push_back(List.itemText(i).toStdString());
  return names;
}

} // namespace

void TfmLCR::OnDelayTimer() {
  DelayTimer->stop();
  FStartupFinished = true;
  if (!CreateChains()) return;
  SignalOut->SetOnMixerChange([this](void*) {
    if (SignalIn) SignalIn->Invalidate();
  });
  SignalIn->AddBlockConsumer([this](void*, TDataMatrix& Block) { return BlockConsumer(Block); });
  SignalIn->OnStart = [this](void*) { OnStart(); };
  SignalIn->SetOnStop([this](void*) { OnStop(); });
  SignalIn->BlockLength = SignalIn->GetSamplingRate() / 10;
  // An empty list is what a platform without a device driver, or without its server, leaves.
  if (cbIn->count() == 0 || cbOut->count() == 0)
    AddMessage(platform::WithAdvice("Sound card not found.", MMSYSERR_NODRIVER), false);
  const platform::TIniFile ini(FSettingsFile);
  if (!ini.LoadError().empty()) AddMessage(ini.LoadError(), false);
  ReadSettings(ini);
  cbBitsSamplingChange();
  AddMessage("- Creation is done. -", true);
  FCreationDone = true;
  EnableStart();
}

void TfmLCR::EnableStart() {
  if (!FCreationDone || !SignalIn || !SignalOut) return;
  btnStart->setEnabled(SignalIn->MixerReady() && SignalOut->MixerReady());
}

// The output chain, then the input chain, each followed by its device list. False when one
// could not be created (it has reported why).
bool TfmLCR::CreateChains() {
  const TLogEvent log = [this](const std::string& Msg, bool IsInfo) { AddMessage(Msg, IsInfo); };
  bool ok = false;
  SignalOut = std::make_unique<TSignalOut>(log, ok);
  if (!ok) return false;
  for (uint32_t d = 0; d < SignalOut->DeviceCount(); ++d)
    cbOut->addItem(QString::fromStdString(SignalOut->DeviceName(static_cast<int32_t>(d))));
  cbOut->setCurrentIndex(SignalOut->GetDevice());
  cbOutChange();
  SignalIn = std::make_unique<TSignalIn>(log, ok);
  if (!ok) return false;
  for (uint32_t d = 0; d < SignalIn->DeviceCount(); ++d)
    cbIn->addItem(QString::fromStdString(SignalIn->DeviceName(static_cast<int32_t>(d))));
  const int device = static_cast<int>(SignalIn->GetDevice());
  cbIn->setCurrentIndex(InList(device, cbIn->count()) ? device : -1);
  cbInChange();
  return true;
}

// Every key's default is the value in force, so a missing file or key changes nothing.
void TfmLCR::ReadSettings(const platform::TIniFile& Ini) {
  ReadDevices(Ini);
  ReadOptions(Ini);
  SignalIn->LoadCalibration(Ini);
  MatchFormatLists();
  const int idBits = Ini.ReadInteger(Section, "IdBits", cbBits->currentIndex());
  if (InList(idBits, cbBits->count())) cbBits->setCurrentIndex(idBits);
  const int idSampling = Ini.ReadInteger(Section, "IdSampling", cbSampling->currentIndex());
  if (InList(idSampling, cbSampling->count())) cbSampling->setCurrentIndex(idSampling);
}

// A device is kept by its index and its name ("OutputName", "InputName"; files of earlier
// versions hold the indices alone): the name wins when its device has moved to another index,
// and a stored device that is gone is said so in the log.
void TfmLCR::ReadDevices(const platform::TIniFile& Ini) {
  const platform::TStoredDevice out = platform::ReadStoredDevice(
      Ini, Section, "Output", "OutputName", ListedNames(*cbOut), SignalOut->GetDevice());
  if (out.Entry >= 0) SignalOut->SetDevice(out.Entry);
  cbOut->setCurrentIndex(SignalOut->GetDevice());
  cbOutChange();
  SayIfNotConnected(out, "output", *cbOut);
  const int sourceOut = Ini.ReadInteger(Section, "SourceOut", SignalOut->GetSource());
  if (InList(sourceOut, SignalOut->SourceCount())) SignalOut->SetSource(sourceOut);
  cbOutSrc->setCurrentIndex(SignalOut->GetSource());
  cbOutSrcChange();
  const platform::TStoredDevice in =
      platform::ReadStoredDevice(Ini, Section, "Input", "InputName", ListedNames(*cbIn),
                                 static_cast<int>(SignalIn->GetDevice()));
  if (in.Entry >= 0) SignalIn->SetDevice(in.Entry);
  const int device = static_cast<int>(SignalIn->GetDevice());
  cbIn->setCurrentIndex(InList(device, cbIn->count()) ? device : -1);
  cbInChange();
  SayIfNotConnected(in, "input", *cbIn);
  const int sourceIn = Ini.ReadInteger(Section, "SourceIn", SignalIn->GetSource());
  if (InList(sourceIn, SignalIn->SourceCount())) SignalIn->SetSource(sourceIn);
  cbInSrc->setCurrentIndex(SignalIn->GetSource());
  cbInSrcChange();
}

void TfmLCR::SayIfNotConnected(const platform::TStoredDevice& Stored, const std::string& Kind,
                               const QComboBox& List) {
  if (Stored.Gone)
    AddMessage(platform::DeviceNotConnected(Kind, Stored.Name, List.currentText().toStdString()), true);
}

void TfmLCR::ReadOptions(const platform::TIniFile& Ini) {
  const double ohms =
      Ini.ReadFloat(Section, "Reference resistor", static_cast<double>(RefResistance));
  // The value counts as if typed into edR (whose handler sets RefResistance); one the box
  // refuses leaves the box and the resistance as they were.
  const QString shown = edR->text();
  edR->setText(QString::number(ohms, 'g', 15));
  if (edR->property("notANumber").toBool()) edR->setText(shown);
  cbSwap->setChecked(Ini.ReadBool(Section, "Swap L<->R", cbSwap->isChecked()));
  cbSwapClick();
  const int mode = Ini.ReadInteger(Section, "Run mode", rgRunMode->ItemIndex());
  if (InList(mode, rgRunMode->Count())) rgRunMode->SetItemIndex(mode);
  rgRunModeClick();
  ReadFixture(Ini);
}

// The lists show the input's format, and the output is set to it.
void TfmLCR::MatchFormatLists() {
  const int bitsEntry = static_cast<int>(SignalIn->GetBits() / 8) - 1;
  if (InList(bitsEntry, cbBits->count())) cbBits->setCurrentIndex(bitsEntry);
  SignalOut->SetBits(SignalIn->GetBits());
  const int rateEntry = cbSampling->findText(QString::number(SignalIn->GetSamplingRate()));
  if (rateEntry >= 0) cbSampling->setCurrentIndex(rateEntry);
  SignalOut->SetSamplingRate(SignalIn->GetSamplingRate());
}

std::string TfmLCR::WriteSettings() {
  platform::TIniFile ini(FSettingsFile);
  ini.WriteInteger(Section, "Output", SignalOut->GetDevice());
  ini.WriteInteger(Section, "SourceOut", SignalOut->GetSource());
  ini.WriteInteger(Section, "Input", static_cast<int>(SignalIn->GetDevice()));
  ini.WriteInteger(Section, "SourceIn", SignalIn->GetSource());
  ini.WriteInteger(Section, "IdBits", cbBits->currentIndex());
  ini.WriteInteger(Section, "IdSampling", cbSampling->currentIndex());
  ini.WriteFloat(Section, "Reference resistor", static_cast<double>(RefResistance));
  ini.WriteBool(Section, "Swap L<->R", cbSwap->isChecked());
  ini.WriteInteger(Section, "Run mode", rgRunMode->ItemIndex());
  // The names of the devices the indices name, after the keys of earlier versions.
  ini.WriteString(Section, "OutputName", cbOut->itemText(SignalOut->GetDevice()).toStdString());
  ini.WriteString(Section, "InputName",
                  cbIn->itemText(static_cast<int>(SignalIn->GetDevice())).toStdString());
  // A calibration that has not finished holds steps of two tables: the one in force before it
  // is what the file keeps.
  if (CalibrationInProgress() && SignalIn->CalibrIn)
    SignalIn->CalibrIn->PutBackKeptTable();
  SignalIn->SaveCalibration(ini);
  WriteFixture(ini);
  const platform::TSaveResult saved = ini.UpdateFile();
  if (!saved.Ok) AddMessage(saved.Error, false);
  return saved.Ok ? std::string() : saved.Error;
}

void TfmLCR::ReportCloseFailure(const std::string& Text) {
  std::cerr << Text << '\n';
  emit CloseFailed(QString::fromStdString(Text));
  if (QGuiApplication::platformName() != "offscreen")
    QMessageBox::warning(this, "Dravik", QString::fromStdString(Text));
}

// A start-up that failed leaves nothing to run, so the window may close: the chain that exists
// is freed, and the settings file is left as it was, since it was never read. Only a close
// request before start-up has run is refused.
bool TfmLCR::FormCloseQuery() {
  if (!FStartupFinished) return false;
  if (!ClosingDone) {
    try {
      if (FCreationDone) {
        if (const std::string failure = WriteSettings(); !failure.empty()) ReportCloseFailure(failure);
      }
      FreeChains();
      ShowLogOnly();
      AddMessage("- Destruction is done. -", true);
    } catch (...) {
      // Closing goes on whatever failed; each part has reported its own trouble.
    }
  }
  FNumericLocale.Restore();
  ClosingDone = true;
  return true;
}

void TfmLCR::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery()) event->accept();
  else event->ignore();
}

// A run in progress must not take its next step while its chain goes away.
void TfmLCR::FreeChains() {
  if (SignalIn) {
    SignalIn->SetOnStop([this](void*) { OnStop(); });
    SignalIn->Stop();
  }
  if (SignalOut) SignalOut->Stop();
  SignalIn.reset();
  SignalOut.reset();
}

// The window's last view: the log alone, with the shutdown reports.
void TfmLCR::ShowLogOnly() {
  FUpper->hide();
  FProgressRow->hide();
  splLog->refresh(); // the log takes the place of what it hid
  reMes->raise();
  reMes->setFocus();
  layout()->activate();
}

} // namespace dravik
