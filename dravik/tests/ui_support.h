#pragma once
// Shared by the window tests: the Qt application on the offscreen platform and a pump with a
// time limit (from the test support library), and a fixture that builds the virtual boxes,
// opens the real window with its own settings file, waits for its start-up and records every
// line of its log. The device lists
// hold the virtual boxes alone, unless the test program defines UITEST_REAL_CARDS before it
// includes this header: then the machine's sound cards come first, as for a user.

#include "dravik/ui/uDravik.h"
#include "dravik/ui/uRadioGroup.h"
#include "platform/messages.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app_environment.h"
#include "platform/tests/support/log_lines.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace uitest {

using namespace std::chrono_literals;
namespace vmbox = platform::vmbox;
using dravik::TfmLCR;
using vmbox::TBoxConfig;

#ifdef UITEST_REAL_CARDS
constexpr bool VirtualOnly = false;
#else
constexpr bool VirtualOnly = true; // the device lists hold the virtual boxes alone
#endif
inline const auto* const AppEnvironment =
    testsupport::AddAppEnvironment({testsupport::TAppKind::Widgets, VirtualOnly, "test"});
using testsupport::PumpUntil;

// Pumps until the card has run `seconds` more of audio time.
inline bool RunAudio(double seconds) {
  const double until = vmbox::AudioSeconds() + seconds;
  return PumpUntil([&] { return vmbox::AudioSeconds() >= until; }, 300s);
}

// The default boxes with both inputs alike (gain, response, no offset); noise stays on.
inline std::vector<TBoxConfig> MatchedBoxes() {
  std::vector<TBoxConfig> boxes = vmbox::DefaultBoxes();
  for (auto& box : boxes) box.Card.Matched = true;
  return boxes;
}

// A value written by FloatToEng ("3.3 Ohm", "999 µH", "-8.25 Ohm") after its label's prefix,
// in base units; NaN when the text is not of that form.
inline double EngValue(const std::string& text, const std::string& prefix,
                       const std::string& unit) {
  if (text.rfind(prefix, 0) != 0) return NAN;
  std::string rest = text.substr(prefix.size());
  if (rest.size() < unit.size() || rest.compare(rest.size() - unit.size(), unit.size(), unit))
    return NAN;
  rest.resize(rest.size() - unit.size());
  size_t used = 0;
  double value = 0;
  try {
    value = std::stod(rest, &used);
  } catch (...) {
    return NAN;
  }
  std::string scale = rest.substr(used);
  while (!scale.empty() && scale.front() == ' ') scale.erase(0, 1);
  const std::pair<const char*, double> scales[] = {
      {"", 1},     {"k", 1e3},  {"M", 1e6},  {"G", 1e9},  {"m", 1e-3},
      {"µ", 1e-6}, {"u", 1e-6}, {"n", 1e-9}, {"p", 1e-12}};
  for (const auto& [name, factor] : scales) {
    if (scale == name) return value * factor;
  }
  return NAN;
}

inline std::string Text(const QLabel* label) { return label->text().toStdString(); }

struct TWindowTest : testing::Test {
  std::filesystem::path Dir;
  std::filesystem::path Settings;
  std::unique_ptr<TfmLCR> W;
  testsupport::TLogLines Logs;
  std::vector<testsupport::TLogLine>& Log = Logs.Lines; // text, information flag
  int Results = 0;

  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("dravik_ui_" + std::to_string(getpid()) + "_" +
           testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
    Settings = Dir / "Dravik.ini";
    vmbox::Reinitialise(MatchedBoxes(), vmbox::TSpeed::Fast);
  }
  void TearDown() override {
    W.reset();
    vmbox::ClearFaults();
    std::filesystem::remove_all(Dir);
  }

  void WriteSettings(const std::string& text) { std::ofstream(Settings) << text; }
  std::string ReadSettings() const {
    std::ifstream file(Settings);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  // Opens the window and waits until its start-up has run.
  void Open() {
    W = std::make_unique<TfmLCR>(Settings);
    QObject::connect(W.get(), &TfmLCR::MessageAdded,
                     [this](const QString& text, bool info) { Logs.Add(text.toStdString(), info); });
    QObject::connect(W.get(), &TfmLCR::ResultShown, [this] { ++Results; });
    W->show();
    ASSERT_TRUE(PumpUntil([this] { return W->StartupFinished(); }));
  }

  bool Logged(const std::string& text, bool info) const { return Logs.Has(text, info); }
  size_t Count(const std::string& text) const { return Logs.Count(text); }
  // The levels set by either mixer (its "Set volume" lines) from log line `from` on.
  size_t LevelChanges(size_t from) const {
    size_t n = 0;
    for (size_t i = from; i < Log.size(); ++i) {
      n += Log[i].first.rfind("MixerIn: Set volume", 0) == 0 ||
           Log[i].first.rfind("MixerOut: Set volume", 0) == 0;
    }
    return n;
  }

  // Both devices idle, so that device settings may change.
  bool Idle() const {
    return !W->SignalOut->WaveOut->Active && !W->SignalIn->WaveIn->Active;
  }

  // Picks the box for the output and the input, as a user does in the two lists.
  void SelectBox(size_t box) { SelectBoxes(box, box); }
  void SelectBoxes(size_t out, size_t in) {
    ASSERT_TRUE(PumpUntil([this] { return Idle(); }));
    const QString outName = QString::fromStdString(vmbox::BoxName(out));
    const QString inName = QString::fromStdString(vmbox::BoxName(in));
    W->cbOut->setCurrentIndex(W->cbOut->findText(outName));
    W->cbOutChange();
    W->cbIn->setCurrentIndex(W->cbIn->findText(inName));
    W->cbInChange();
    ASSERT_EQ(W->cbOut->currentText(), outName);
    ASSERT_EQ(W->cbIn->currentText(), inName);
  }

  // Clicks Start for a measurement and waits for `count` results after the first one (whose
  // second of blocks may still hold the start of the sound).
  bool Measure(int count) {
    W->rgRunMode->Item(1)->click();
    W->btnStart->click();
    const int target = Results + count + 1;
    return PumpUntil([&] { return Results >= target; }, 300s);
  }

  // Clicks Stop and waits for both devices to close.
  void StopRun() {
    W->btnStart->click();
    ASSERT_TRUE(PumpUntil([this] { return Idle(); }));
  }

  // Calibrates on the shorted box (the last one) and waits for the run to end.
  bool Calibrate() {
    SelectBox(vmbox::BoxCount() - 1);
    W->rgRunMode->Item(0)->click();
    W->btnStart->click();
    return PumpUntil([this] { return Count("Calibration done.") > 0; }, 300s);
  }
};

} // namespace uitest
