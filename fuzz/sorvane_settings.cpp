// Fuzzes Sorvane's settings loader: arbitrary bytes as the settings file, loaded into one window
// on the fast virtual card (sections "WaveSetup", "Rref", "Calibration", "Graph"). Properties:
// every list shows one of its entries, the tab and the mode exist; the value list has entries,
// edits one of them and its value is that entry's number (or the one before, when the entry is
// not a number, the box then marked); the calibration's levels and coefficients are finite;
// saving and loading again gives the same file and the same settings.

#include "fuzz/fuzz_app.h"
#include "fuzz/fuzz_support.h"
#include "platform/inifile.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using fuzz::Require;
using sorvane::TForm1;
using namespace std::chrono_literals;

struct TState {
  std::vector<int> Indices; // sampling, input, output, tab, mode, value-list entry
  std::vector<bool> Boxes;  // swap and the four drawing options
  QStringList Values;
  double Value;
  bool Invalid;
  std::array<double, 2> Saturation;
  sorvane::TCalibrationPolys Poly;
};

TState Capture(const TForm1& w) {
  const sorvane::TfrWaveSetup& setup = *w.frWaveSetup1;
  TState s;
  s.Indices = {setup.cbSampling->currentIndex(), setup.cbDeviceIn->currentIndex(),
               setup.cbDeviceOut->currentIndex(), w.PageControl1->currentIndex(), w.ModeItem(),
               w.frRref->CurrentIndex()};
  s.Boxes = {setup.cbSwap->isChecked(), w.cbModPh->isChecked(), w.cbDrawAll->isChecked(),
             w.cbLeftForAll->isChecked(), w.cbLogF->isChecked()};
  for (int k = 0; k < w.frRref->cbVal->count(); ++k) s.Values.push_back(w.frRref->cbVal->itemText(k));
  s.Value = w.frRref->Value();
  s.Invalid = w.frRref->Invalid();
  s.Saturation = w.SignalIn().Saturation;
  s.Poly = w.SignalIn().Poly;
  return s;
}

bool InRange(int index, int count) { return index >= 0 && index < count; }

void CheckLists(const TForm1& w, const TState& s) {
  const sorvane::TfrWaveSetup& setup = *w.frWaveSetup1;
  Require(InRange(s.Indices[0], setup.cbSampling->count()) &&
              InRange(s.Indices[1], setup.cbDeviceIn->count()) &&
              InRange(s.Indices[2], setup.cbDeviceOut->count()),
          "the device setup shows a rate and devices of its lists");
  Require(InRange(s.Indices[3], w.PageControl1->count()), "the tab is one of the tabs");
  Require(InRange(s.Indices[4], 4), "the mode is one of the four modes");
}

// The box edits one entry; its value is that entry's number, or the one in force before.
void CheckValueList(const TForm1& w, const TState& s, double before) {
  Require(!s.Values.empty() && InRange(s.Indices[5], static_cast<int>(s.Values.size())),
          "the value list edits one of its entries");
  const std::string shown = w.frRref->cbVal->lineEdit()->text().trimmed().toStdString();
  double parsed = 0;
  // The reference resistance is a positive number (with an SI prefix or not): zero and below
  // are marked like text.
  const bool number = sorvane::ParseValue(shown, parsed) && parsed > 0;
  Require(s.Invalid == !number, "the box is marked exactly when it shows no positive number");
  Require(std::isfinite(s.Value), "the value list's value is finite");
  Require(s.Value == (number ? parsed : before), "the value is the entry's number or stays");
  if (number)
    Require(s.Values[s.Indices[5]].trimmed().toStdString() == shown,
            "the box shows the entry it edits");
}

void CheckCalibration(const TState& s) {
  for (double level : s.Saturation) Require(std::isfinite(level), "saturation levels are finite");
  for (const auto& poly : s.Poly)
    Require(sorvane::CurveStaysFinite(poly, sorvane::HighestCalibratedHz),
            "the calibration curve is finite at every frequency");
}

// The entries as the file keeps them: a line break inside a value is stored as a space.
QStringList AsStored(QStringList values) {
  for (QString& v : values) v.replace('\r', ' ');
  return values;
}

// Equal, with the calibration's values allowed the 15 digits the file keeps.
bool SameSettings(const TState& a, const TState& b) {
  const auto near = [](double x, double y) { return std::fabs(x - y) <= 1e-14 * std::fabs(x); };
  bool same = a.Indices == b.Indices && a.Boxes == b.Boxes &&
              AsStored(a.Values) == AsStored(b.Values) &&
              a.Invalid == b.Invalid && (a.Invalid || a.Value == b.Value);
  for (int c = 0; c < 2; ++c) {
    same = same && near(a.Saturation[c], b.Saturation[c]);
    for (size_t j = 0; j < a.Poly[c].size(); ++j) same = same && near(a.Poly[c][j], b.Poly[c][j]);
  }
  return same;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TState Load(TForm1& w) {
  w.LoadSettings();
  return Capture(w);
}

struct TFixture {
  std::unique_ptr<TForm1> Window;
  std::vector<std::string> Messages;
  std::string Baseline;
};

TFixture& Fixture() {
  // Never destroyed, like the application it needs.
  static TFixture& f = *[] {
    fuzz::StartApplication();
    auto* made = new TFixture;
    const sorvane::TSorvaneFiles files{fuzz::ScratchFile("Sorvane.ini"),
                                       fuzz::ScratchFile("Sorvane.txt")};
    made->Window = std::make_unique<TForm1>(files);
    made->Window->show();
    QApplication::processEvents();
    made->Window->SaveSettings();
    made->Baseline = FileText(files.Settings);
    return made;
  }();
  // Messages go to the list, never into a modal box.
  f.Window->OnMessage = [&](const std::string& text) { f.Messages.push_back(text); };
  return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFixture& f = Fixture();
  TForm1& w = *f.Window;
  const std::filesystem::path& file = w.Files().Settings;
  fuzz::WriteBytes(file, f.Baseline);
  const double before = Load(w).Value;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzz::WriteBytes(file, bytes);
  const TState loaded = Load(w);
  CheckLists(w, loaded);
  CheckValueList(w, loaded, before);
  CheckCalibration(loaded);
  w.SaveSettings();
  if (fuzz::StartsAsUtf16(bytes)) {
    Require(!f.Messages.empty(), "a file in UTF-16 is refused with a message");
    f.Messages.clear();
    fuzz::RequireSameText(FileText(file), bytes, "a refused file is left as it was");
    return 0;
  }
  const std::string saved = FileText(file);
  const TState again = Load(w);
  Require(SameSettings(loaded, again), "loading what was saved gives the same settings");
  w.SaveSettings();
  fuzz::RequireSameText(FileText(file), saved, "saving again gives the same file");
  Require(f.Messages.empty(), "loading and saving a settings file reports nothing");
  QApplication::processEvents();
  return 0;
}
