// Calibrations that cannot calibrate: an input without signal is named, the table in force is
// kept and the calibration never says it is done; and a table shortened once grows back.

#include "dravik/tests/ui_support.h"

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

} // namespace
} // namespace dravik
