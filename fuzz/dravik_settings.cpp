// Fuzzes Dravik's settings loader: arbitrary bytes as the settings file, loaded into one window
// on the fast virtual card (sections "Dravik" and "Calibration"). Properties: every list shows
// one of its entries and the chains use an existing device and source; the reference resistor
// is finite and above 0; the calibration table has a usable size and finite values, every
// channel at step 0; saving and loading again gives the same file and the same settings.

#include "dravik/ui/uDravik.h"
#include "dravik/ui/uRadioGroup.h"
#include "fuzz/fuzz_app.h"
#include "fuzz/fuzz_support.h"
#include "platform/inifile.h"

#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QTextEdit>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using dravik::TfmLCR;
using fuzz::Require;
using namespace std::chrono_literals;

// What a load decides, as far as the settings file describes it.
struct TState {
  std::vector<int> Lists; // the current index of every list and of the run mode
  int Devices[4];         // output device and source, input device and source
  long double Ohms;
  bool Swap;
  std::vector<dravik::TChannelCal> Calibration;
};

TState Capture(const TfmLCR& w) {
  TState s;
  for (const QComboBox* list : {w.cbBits, w.cbSampling, w.cbOut, w.cbOutSrc, w.cbIn, w.cbInSrc})
    s.Lists.push_back(list->currentIndex());
  s.Lists.push_back(w.rgRunMode->ItemIndex());
  s.Devices[0] = w.SignalOut->GetDevice();
  s.Devices[1] = w.SignalOut->GetSource();
  s.Devices[2] = static_cast<int>(w.SignalIn->GetDevice());
  s.Devices[3] = w.SignalIn->GetSource();
  s.Ohms = w.RefResistance;
  s.Swap = w.cbSwap->isChecked();
  s.Calibration = w.SignalIn->CalibrIn->ChannelCal;
  return s;
}

bool InRange(int index, long long count) { return index >= 0 && index < count; }

void CheckLoaded(const TfmLCR& w, const TState& s) {
  const QComboBox* lists[] = {w.cbBits, w.cbSampling, w.cbOut, w.cbOutSrc, w.cbIn, w.cbInSrc};
  for (size_t i = 0; i < std::size(lists); ++i)
    Require(InRange(s.Lists[i], lists[i]->count()), "every list shows one of its entries");
  Require(InRange(s.Lists[6], w.rgRunMode->Count()), "the run mode is one of the modes");
  Require(InRange(s.Devices[0], w.SignalOut->DeviceCount()) &&
              InRange(s.Devices[1], w.SignalOut->SourceCount()) &&
              InRange(s.Devices[2], w.SignalIn->DeviceCount()) &&
              InRange(s.Devices[3], w.SignalIn->SourceCount()),
          "the chains use an existing device and source");
  Require(s.Lists[2] == s.Devices[0] && s.Lists[4] == s.Devices[2],
          "the device lists show the devices in use");
  Require(std::isfinite(s.Ohms) && s.Ohms > 0, "the reference resistor is finite and above 0");
  Require(!w.edR->property("notANumber").toBool() &&
              std::fabs(w.edR->text().toDouble() - s.Ohms) <= 1e-14L * s.Ohms,
          "the resistor box shows the resistance in force and takes it");
  Require(InRange(static_cast<int>(s.Calibration.size()) - 1, dravik::MaxStoredCount),
          "the calibration has 1 to 10 channels");
  for (const dravik::TChannelCal& channel : s.Calibration) {
    Require(channel.Steps.size() == s.Calibration[0].Steps.size() &&
                InRange(static_cast<int>(channel.Steps.size()) - 1, dravik::MaxStoredCount),
            "every channel has the same 1 to 10 steps");
    Require(channel.AttIndex == 0, "a load puts every channel at step 0");
    for (const dravik::TAttStep& step : channel.Steps)
      Require(std::isfinite(step.OffSet) && std::isfinite(step.AttVal),
              "calibration values are finite");
  }
}

// Equal, with the calibration's values allowed the 15 digits the file keeps.
bool SameSettings(const TState& a, const TState& b) {
  if (a.Lists != b.Lists || !std::equal(a.Devices, a.Devices + 4, b.Devices) ||
      a.Ohms != b.Ohms || a.Swap != b.Swap || a.Calibration.size() != b.Calibration.size())
    return false;
  const auto near = [](long double x, long double y) {
    return std::fabs(x - y) <= 1e-14L * std::fabs(x);
  };
  for (size_t c = 0; c < a.Calibration.size(); ++c) {
    const auto& sa = a.Calibration[c].Steps;
    const auto& sb = b.Calibration[c].Steps;
    if (sa.size() != sb.size()) return false;
    for (size_t i = 0; i < sa.size(); ++i)
      if (!near(sa[i].OffSet, sb[i].OffSet) || !near(sa[i].AttVal, sb[i].AttVal)) return false;
  }
  return true;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Loads the file the window keeps its settings in, which the reader refuses only when `refused`.
TState Load(TfmLCR& w, bool refused = false) {
  const platform::TIniFile ini(w.SettingsFile());
  Require(ini.LoadError().empty() != refused,
          refused ? "a file in UTF-16 is refused" : "a scratch file loads");
  w.ReadSettings(ini);
  return Capture(w);
}

struct TFixture {
  std::unique_ptr<TfmLCR> Window;
  std::string Baseline; // the settings the window starts every input from
};

TFixture& Fixture() {
  // Never destroyed, like the application it needs.
  static TFixture& f = *[] {
    fuzz::StartApplication();
    auto* made = new TFixture;
    made->Window = std::make_unique<TfmLCR>(fuzz::ScratchFile("Dravik.ini"));
    made->Window->show();
    fuzz::PumpUntilOrAbort([&] { return made->Window->StartupFinished(); }, 30s,
                           "the window starts up");
    Require(made->Window->SignalIn && made->Window->SignalOut, "the window has both chains");
    made->Window->WriteSettings();
    made->Baseline = FileText(made->Window->SettingsFile());
    return made;
  }();
  return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFixture& f = Fixture();
  TfmLCR& w = *f.Window;
  fuzz::WriteBytes(w.SettingsFile(), f.Baseline);
  Load(w);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzz::WriteBytes(w.SettingsFile(), bytes);
  const bool refused = fuzz::StartsAsUtf16(bytes);
  const TState loaded = Load(w, refused);
  CheckLoaded(w, loaded);
  w.WriteSettings();
  w.reMes->clear(); // the log would grow with every input
  if (refused) {
    fuzz::RequireSameText(FileText(w.SettingsFile()), bytes, "a refused file is left as it was");
    return 0;
  }
  const std::string saved = FileText(w.SettingsFile());
  const TState again = Load(w);
  Require(SameSettings(loaded, again), "loading what was saved gives the same settings");
  w.WriteSettings();
  fuzz::RequireSameText(FileText(w.SettingsFile()), saved, "saving again gives the same file");
  w.reMes->clear();
  return 0;
}
