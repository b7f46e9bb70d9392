#include "sorvane/ui/ufrWaveSetup.h"

#include <QGridLayout>
#include <cstring>

#include "platform/mmsystem.h"

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

// A stored name names a device when it is the device's whole name, or its first 31 characters
// alone, as the capabilities held it and as earlier versions stored it.
bool NameMatches(const std::string& stored, const std::string& whole) {
  constexpr size_t Cut = MAXPNAMELEN - 1;
  if (stored == whole) return true;
  return stored.size() == Cut && whole.size() > Cut && whole.compare(0, Cut, stored) == 0;
}

// The entry that a stored position and name choose, or -1 to keep the selection: the position
// when its entry has that name; otherwise the one entry with that name, when exactly one has
// it (the devices have changed places since the file was written, a card was added or taken
// away); otherwise the position, when it is in the list.
int StoredEntry(const QComboBox& list, int position, const std::string& name) {
  const bool inList = position >= 0 && position < list.count();
  if (inList && NameMatches(name, list.itemText(position).toStdString())) return position;
  int found = -1;
  for (int i = 0; i < list.count() && !name.empty(); ++i) {
    if (!NameMatches(name, list.itemText(i).toStdString())) continue;
    if (found >= 0) return inList ? position : -1; // the name does not tell which
    found = i;
  }
  return found >= 0 ? found : inList ? position : -1;
}

// Selects the device that a stored position and name choose.
void LoadDevice(const platform::TIniFile& ini, const char* idKey, const char* nameKey,
                QComboBox& list) {
  const int position = ini.ReadInteger(Section, idKey, list.currentIndex());
  const std::string name = ini.ReadString(Section, nameKey, list.itemText(position).toStdString());
  const int entry = StoredEntry(list, position, name);
  if (entry >= 0) list.setCurrentIndex(entry);
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
  grid->addWidget(lbNoDevice, 6, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  FillDevices();
  connect(cbSampling, &QComboBox::activated, this, [this] { cbSamplingChange(); });
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
  const std::string missing = MissingDevices();
  lbNoDevice->setText(QString::fromStdString(missing));
  lbNoDevice->setVisible(!missing.empty());
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
  cbDeviceIn->setEnabled(enabled);
  cbDeviceOut->setEnabled(enabled);
}

void TfrWaveSetup::cbSamplingChange() {
  if (OnSamplingChange) OnSamplingChange(SamplingRate());
}

void TfrWaveSetup::LoadSettings(const platform::TIniFile& ini) {
  LoadDevice(ini, "InputID", "InputName", *cbDeviceIn);
  LoadDevice(ini, "OutputID", "OutputName", *cbDeviceOut);
  const int rate = ini.ReadInteger(Section, "Sampling", SamplingRate());
  const int item = cbSampling->findData(rate);
  if (item >= 0) cbSampling->setCurrentIndex(item);
  cbSwap->setChecked(ini.ReadBool(Section, "Swap", cbSwap->isChecked()));
}

void TfrWaveSetup::SaveSettings(platform::TIniFile& ini) const {
  ini.WriteInteger(Section, "InputID", cbDeviceIn->currentIndex());
  ini.WriteString(Section, "InputName", cbDeviceIn->currentText().toStdString());
  ini.WriteInteger(Section, "OutputID", cbDeviceOut->currentIndex());
  ini.WriteString(Section, "OutputName", cbDeviceOut->currentText().toStdString());
  ini.WriteInteger(Section, "Sampling", SamplingRate());
  ini.WriteBool(Section, "Swap", cbSwap->isChecked());
}

} // namespace sorvane
