#include "sorvane/ui/ufrWaveSetup.h"

#include <QGridLayout>
#include <algorithm>
#include <cstring>

#include "platform/device_choice.h"
#include "platform/mmsystem.h"
#include "sorvane/ui/uResolution.h"

namespace sorvane {
namespace {

constexpr int Rates[] = {48000, 96000, 192000};
constexpr const char* Section = "WaveSetup";
constexpr int MinListChars = 24;

QLabel* BoldLabel(const char* name, const char* caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  return label;
}

QComboBox* DropDown(const char* name, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  // A device is told from the others by the whole of its name.
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  box->setMinimumContentsLength(MinListChars);
  return box;
}

QFrame* Separator(const char* name, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  return line;
}

// The device's whole name (the capabilities hold only its first 31 characters, as much as
// the platform cannot name otherwise); a device whose capabilities cannot be read keeps its
// place in the list.
template <class Caps, class GetCaps, class GetName>
QString DeviceName(UINT id, GetCaps getCaps, GetName getName) {
  Caps caps{};
  if (getCaps(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
    return QString("Device %1 (unavailable)").arg(id);
  std::string whole;
  if (getName(id, whole) == MMSYSERR_NOERROR) return QString::fromStdString(whole);
  return QString::fromLatin1(caps.szPname, static_cast<int>(strnlen(caps.szPname, MAXPNAMELEN)));
}

// The names a list shows, in list order.
std::vector<std::string> ListedNames(const QComboBox& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.count(); ++i) names.push_back(list.itemText(i).toStdString());
  return names;
}

// Selects the device that a stored position and name choose; the sentence that says so when
// the stored device is not in the list any more, else "".
std::string LoadDevice(const platform::TIniFile& ini, const char* idKey, const char* nameKey,
                       const char* kind, QComboBox& list) {
  const platform::TStoredDevice stored =
      platform::ReadStoredDevice(ini, Section, idKey, nameKey, ListedNames(list), list.currentIndex());
  if (stored.Entry >= 0) list.setCurrentIndex(stored.Entry);
  if (!stored.Gone) return {};
  return platform::DeviceNotConnected(kind, stored.Name, list.currentText().toStdString());
}

} // namespace

TfrWaveSetup::TfrWaveSetup(QWidget* parent) : QFrame(parent) {
  setObjectName("frWaveSetup");
  lbSampling = BoldLabel("lbSampling", "Sampling:", this);
  cbSampling = DropDown("cbSampling", this);
  for (const int rate : Rates) cbSampling->addItem(QString::number(rate), rate);
  cbSampling->setCurrentIndex(0);
  BevelWS1 = Separator("BevelWS1", this);
  lbInput = BoldLabel("lbInput", "Input:", this);
  cbDeviceIn = DropDown("cbDeviceIn", this);
  lbOutput = BoldLabel("lbOutput", "Output:", this);
  cbDeviceOut = DropDown("cbDeviceOut", this);
  BevelWS2 = Separator("BevelWS2", this);
  cbSwap = new QCheckBox("Swap Left/Right Input", this);
  cbSwap->setObjectName("cbSwap");
  lbResolution = BoldLabel("lbResolution", "Resolution:", this);
  cbResolution = DropDown("cbResolution", this);
  FillResolutions(1);
  lbNoDevice = BoldLabel("lbNoDevice", "", this);
  lbNoDevice->setStyleSheet("color: rgb(255, 0, 0);");
  lbNoDevice->setWordWrap(true);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->addWidget(lbSampling, 0, 0);
  grid->addWidget(cbSampling, 0, 1);
  grid->addWidget(BevelWS1, 1, 0, 1, 2);
  grid->addWidget(lbInput, 2, 0);
  grid->addWidget(cbDeviceIn, 2, 1);
  grid->addWidget(lbOutput, 3, 0);
  grid->addWidget(cbDeviceOut, 3, 1);
  grid->addWidget(BevelWS2, 4, 0, 1, 2);
  grid->addWidget(cbSwap, 5, 0, 1, 2);
  grid->addWidget(lbResolution, 6, 0);
  grid->addWidget(cbResolution, 6, 1);
  grid->addWidget(lbNoDevice, 7, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  FillDevices();
  connect(cbSampling, &QComboBox::activated, this, [this] { cbSamplingChange(); });
  connect(cbDeviceOut, &QComboBox::activated, this, [this] { cbDeviceOutChange(); });
  connect(cbDeviceIn, &QComboBox::activated, this, [this] { cbDeviceInChange(); });
  connect(cbResolution, &QComboBox::activated, this, [this] {
    if (OnResolutionChange) OnResolutionChange(ResolutionFactor());
  });
}

void TfrWaveSetup::FillResolutions(int factor) {
  cbResolution->clear();
  for (const int f : ResolutionFactors(SamplingRate()))
    cbResolution->addItem(QString::fromStdString(ResolutionText(SamplingRate(), f)), f);
  const int item = cbResolution->findData(BlockLengthOf(SamplingRate(), factor) /
                                          StandardBlockLength(SamplingRate()));
  cbResolution->setCurrentIndex(std::max(item, 0));
}

int TfrWaveSetup::ResolutionFactor() const {
  return cbResolution->count() > 0 ? cbResolution->currentData().toInt() : 1;
}

void TfrWaveSetup::FillDevices() {
  const UINT inputs = waveInGetNumDevs();
  for (UINT id = 0; id < inputs; ++id)
    cbDeviceIn->addItem(DeviceName<WAVEINCAPSA>(id, waveInGetDevCapsA, waveInGetDevName));
  cbDeviceIn->setCurrentIndex(static_cast<int>(inputs / 2));
  const UINT outputs = waveOutGetNumDevs();
  for (UINT id = 0; id < outputs; ++id)
    cbDeviceOut->addItem(DeviceName<WAVEOUTCAPSA>(id, waveOutGetDevCapsA, waveOutGetDevName));
  cbDeviceOut->setCurrentIndex(static_cast<int>(outputs / 2));
  cbDeviceIn->setPlaceholderText("No input device");
  cbDeviceOut->setPlaceholderText("No output device");
  ShowDeviceProblems();
}

// The missing kinds of device, then the stored devices that are not connected, one sentence
// a line.
void TfrWaveSetup::ShowDeviceProblems() {
  QStringList lines;
  for (const std::string& line : {MissingDevices(), FNotConnected[0], FNotConnected[1]}) {
    if (!line.empty()) lines << QString::fromStdString(line);
  }
  lbNoDevice->setText(lines.join('\n'));
  lbNoDevice->setVisible(!lines.isEmpty());
}

std::string TfrWaveSetup::MissingDevices() const {
  const bool noIn = cbDeviceIn->count() == 0, noOut = cbDeviceOut->count() == 0;
  if (noIn && noOut) return "There is no sound input device and no sound output device.";
  if (noIn) return "There is no sound input device.";
  if (noOut) return "There is no sound output device.";
  return {};
}

int TfrWaveSetup::SamplingRate() const { return cbSampling->currentData().toInt(); }

void TfrWaveSetup::SetDevicesEnabled(bool enabled) {
  cbSampling->setEnabled(enabled);
  cbResolution->setEnabled(enabled);
  cbDeviceIn->setEnabled(enabled);
  cbDeviceOut->setEnabled(enabled);
}

void TfrWaveSetup::cbSamplingChange() {
  FillResolutions(ResolutionFactor());
  if (OnSamplingChange) OnSamplingChange(SamplingRate());
}

// An output picked by the user takes the input of the same box or card with it
// (platform::InputBesideOutput); an input picked after it stays as picked. The settings file
// selects both without this, so a stored pair stays as stored.
void TfrWaveSetup::cbDeviceOutChange() {
  FNotConnected[1].clear();
  const int input = platform::InputBesideOutput(static_cast<UINT>(OutputDevice()), InputDevice());
  if (input >= 0 && input != InputDevice()) {
    cbDeviceIn->setCurrentIndex(input);
    FNotConnected[0].clear();
  }
  ShowDeviceProblems();
}

void TfrWaveSetup::cbDeviceInChange() {
  FNotConnected[0].clear();
  ShowDeviceProblems();
}

void TfrWaveSetup::LoadSettings(const platform::TIniFile& ini) {
  FNotConnected[0] = LoadDevice(ini, "InputID", "InputName", "input", *cbDeviceIn);
  FNotConnected[1] = LoadDevice(ini, "OutputID", "OutputName", "output", *cbDeviceOut);
  ShowDeviceProblems();
  const int rate = ini.ReadInteger(Section, "Sampling", SamplingRate());
  const int item = cbSampling->findData(rate);
  if (item >= 0) cbSampling->setCurrentIndex(item);
  FillResolutions(ini.ReadInteger(Section, "Resolution", ResolutionFactor()));
  cbSwap->setChecked(ini.ReadBool(Section, "Swap", cbSwap->isChecked()));
}

void TfrWaveSetup::SaveSettings(platform::TIniFile& ini) const {
  ini.WriteInteger(Section, "InputID", cbDeviceIn->currentIndex());
  ini.WriteString(Section, "InputName", cbDeviceIn->currentText().toStdString());
  ini.WriteInteger(Section, "OutputID", cbDeviceOut->currentIndex());
  ini.WriteString(Section, "OutputName", cbDeviceOut->currentText().toStdString());
  ini.WriteInteger(Section, "Sampling", SamplingRate());
  ini.WriteBool(Section, "Swap", cbSwap->isChecked());
  ini.WriteInteger(Section, "Resolution", ResolutionFactor());
}

} // namespace sorvane
