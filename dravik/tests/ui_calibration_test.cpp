// Calibrations that cannot calibrate: an input without signal is named, a jig that is not
// shorted or an input on another box is refused with what to do, the table in force (and the
// settings file's calibration) is kept and the calibration never says it is done; a table
// shortened once grows back; and the shorted jig calibrates on every card the tests use.

#include "dravik/tests/ui_support.h"
#include "platform/tests/calibration_checks.h"

namespace dravik {
namespace {

using namespace uitest;
using platform::vmbox::TCardModel;

// A table that no calibration on the virtual card produces, so that keeping it shows.
const std::string KeptSettings =
    "[Calibration]\nChannels=2\nAttNumber=3\nOffSet00=0.001\nAttVal00=1.01\nAttVal11=2.02\n"
    "AttVal12=4.04\n";

struct Calibration : TWindowTest {
  // A new card of matched boxes changed by `card`, and the window opened on it.
  void OpenOn(const std::function<void(TCardModel&)>& card) {
    std::vector<TBoxConfig> boxes = MatchedBoxes();
    for (auto& box : boxes) card(box.Card);
    vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
    Open();
  }
  // Calibrates on the shorted box until the run has ended, well or not.
  bool CalibrateToTheEnd() {
    SelectBox(vmbox::BoxCount() - 1);
    W->rgRunMode->Item(0)->click();
    W->btnStart->click();
    return PumpUntil([this] {
      return Count("Calibration done.") + Count("Calibration failed.") > 0 && Idle();
    }, 300s);
  }
  const std::vector<TChannelCal>& Table() const { return W->SignalIn->CalibrIn->ChannelCal; }
};

bool SameTable(const std::vector<TChannelCal>& a, const std::vector<TChannelCal>& b) {
  if (a.size() != b.size()) return false;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].Steps.size() != b[c].Steps.size()) return false;
    for (size_t s = 0; s < a[c].Steps.size(); ++s) {
      if (a[c].Steps[s].OffSet != b[c].Steps[s].OffSet) return false;
      if (a[c].Steps[s].AttVal != b[c].Steps[s].AttVal) return false;
    }
  }
  return true;
}

struct TDeadCase {
  const char* Name;
  void (*Card)(TCardModel&);
  const char* Named; // the line that names the input, or "" when none does
};
const TDeadCase DeadCases[] = {
    // A loose cable: the input records only the card's noise.
    {"input 1 records only noise", [](TCardModel& m) { m.InputLevel[1] = 0; },
     "No signal on channel 1: the calibration in force is kept."},
    {"input 0 records only noise", [](TCardModel& m) { m.InputLevel[0] = 0; },
     "No signal on channel 0: the calibration in force is kept."},
    // Without noise the reference records a constant, which the run reports at every step.
    {"the reference records nothing",
     [](TCardModel& m) {
       m.InputLevel[0] = 0;
       m.NoiseOn = false;
     },
     ""},
};

TEST_F(Calibration, AnInputWithoutSignalKeepsTheTableAndIsNeverDone) {
  for (const auto& c : DeadCases) {
    SCOPED_TRACE(c.Name);
    W.reset();
    Log.clear();
    WriteSettings(KeptSettings);
    OpenOn(c.Card);
    const std::vector<TChannelCal> before = Table();
    ASSERT_TRUE(CalibrateToTheEnd());
    EXPECT_TRUE(Logged("No signal on amplitude calibration.", false));
    if (*c.Named) {
      EXPECT_TRUE(Logged(c.Named, false));
    }
    EXPECT_EQ(Count("Calibration done."), 0u);
    EXPECT_TRUE(Logged("Calibration failed.", false));
    EXPECT_TRUE(SameTable(Table(), before)) << Table()[1].Steps[0].AttVal;
    EXPECT_EQ(W->rgRunMode->ItemIndex(), 0);
    EXPECT_EQ(W->StartClick(), &TfmLCR::btnStartCalibrationClick);
    EXPECT_EQ(W->btnStart->text(), "Start");
  }
}

// Closing the window while a calibration runs keeps the table that was in force before it.
TEST_F(Calibration, AClosedCalibrationNeverReachesTheSettingsFile) {
  for (const char* moment : {"Amplitude calibration...", "Response calibration..."}) {
    SCOPED_TRACE(moment);
    W.reset();
    Log.clear();
    WriteSettings(KeptSettings);
    OpenOn([](TCardModel&) {});
    SelectBox(vmbox::BoxCount() - 1);
    W->rgRunMode->Item(0)->click();
    W->btnStart->click();
    ASSERT_TRUE(PumpUntil([&] { return Count(moment) > 0; }, 300s));
    ASSERT_TRUE(RunAudio(0.3));
    ASSERT_EQ(Count("Calibration done."), 0u);
    EXPECT_TRUE(W->close());
    const std::string file = ReadSettings();
    for (const char* kept : {"AttNumber=3", "OffSet00=0.001", "AttVal00=1.01", "AttVal11=2.02", "AttVal12=4.04"})
      EXPECT_NE(file.find(std::string("\n") + kept), std::string::npos) << kept << "\n" << file;
  }
}

// One calibration ended at its third step; on a healthy card the next measures all five.
TEST_F(Calibration, AShortenedTableGrowsBackToTheDefaultSteps) {
  WriteSettings(KeptSettings);
  OpenOn([](TCardModel&) {});
  ASSERT_EQ(W->SignalIn->GetStepCount(), 3);
  ASSERT_TRUE(CalibrateToTheEnd());
  EXPECT_EQ(Count("Calibration done."), 1u);
  EXPECT_EQ(W->SignalIn->GetStepCount(), DefaultAttenuationSteps);
  // Every factor is tied to channel 0's first step, which the run leaves as it was.
  const double unit = static_cast<double>(Table()[0].Steps[0].AttVal);
  EXPECT_NEAR(static_cast<double>(Table()[0].Steps[4].AttVal), 16 * unit, 0.1);
  EXPECT_NEAR(static_cast<double>(Table()[1].Steps[4].AttVal), 16 * unit, 0.1);
}


struct TWrongJig {
  const char* Name;
  size_t Out, In;       // boxes of the default card: 3.3 Ohm + 1 mH, 0.2 Ohm + 10 uF, 47 Ohm, shorted
  const char* Refusal;  // the beginning of the line that says what is wrong
};
const TWrongJig WrongJigs[] = {
    {"a coil on the terminals", 0, 0, "Amplitude calibration refused: the two inputs differ"},
    {"a capacitor on the terminals", 1, 1, "Amplitude calibration refused: the two inputs differ"},
    {"a resistor on the terminals", 2, 2, "Amplitude calibration refused: the two inputs differ"},
    {"the input on another box", 3, 0, "The inputs hear nothing of the output"},
};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

TEST_F(Calibration, AJigThatIsNotShortedOrAnInputOnAnotherBoxIsRefused) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  ASSERT_TRUE(Calibrate());
  ASSERT_TRUE(W->close());
  W.reset();
  const std::string kept = calibrationcheck::CalibrationSection(ReadSettings());
  ASSERT_NE(kept.find("ResponseRate=48000"), std::string::npos);
  for (const TWrongJig& c : WrongJigs) {
    SCOPED_TRACE(c.Name);
    Log.clear();
    Open();
    const std::vector<TChannelCal> before = Table();
    SelectBoxes(c.Out, c.In);
    W->rgRunMode->Item(0)->click();
    W->btnStart->click();
    ASSERT_TRUE(PumpUntil([this] { return Count("Calibration failed.") > 0 && Idle(); }, 300s));
    EXPECT_EQ(Count("Calibration done."), 0u);
    EXPECT_TRUE(std::any_of(Log.begin(), Log.end(), [&](const auto& line) {
      return !line.second && StartsWith(line.first, c.Refusal);
    }));
    EXPECT_TRUE(SameTable(Table(), before));
    EXPECT_TRUE(W->close());
    W.reset();
    EXPECT_EQ(calibrationcheck::CalibrationSection(ReadSettings()), kept);
  }
}

// Inputs as different as working cards' are: the shorted jig calibrates on each.
TEST_F(Calibration, TheShortedJigCalibratesOnEveryCardTheTestsUse) {
  for (const auto& c : calibrationcheck::WorkingCards) {
    SCOPED_TRACE(c.Name);
    W.reset();
    Log.clear();
    OpenOn([&](TCardModel& m) { c.ApplyTo(m); });
    ASSERT_TRUE(CalibrateToTheEnd());
    EXPECT_EQ(Count("Calibration done."), 1u);
    EXPECT_EQ(Count("Calibration failed."), 0u);
  }
}

} // namespace
} // namespace dravik
