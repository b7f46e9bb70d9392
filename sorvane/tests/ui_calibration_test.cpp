// Calibrations that cannot be one: a level check that heard no tone, or heard it unlike on the
// two inputs, ends at "Continue"; a fit whose inputs differ as no card's do is not made. Each
// says what to do, and the calibration in force (and the settings file's) stays as it was. The
// shorted jig still calibrates on every card the tests use.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "sorvane/analysis/uInputAgreement.h"
#include "platform/tests/calibration_checks.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

using uitest::LevelCheckAndContinue;
using uitest::TBlockCounter;
using uitest::TWindow;
namespace vmbox = platform::vmbox;

constexpr size_t ShortedBox = 3; // of the default card
constexpr size_t SmallCoilBox = 4; // added to it: 1 Ohm + 100 uH against 10 Ohm

// The default boxes and a small coil whose 440 Hz tone reads almost as a short's.
void CardWithASmallCoil() {
  uitest::App();
  std::vector<vmbox::TBoxConfig> boxes = vmbox::DefaultBoxes();
  vmbox::TBoxConfig coil = boxes.front();
  coil.Circuit = {1, 100e-6, 0, 10, false, false};
  coil.Name = vmbox::BoxName(coil.Circuit);
  boxes.push_back(coil);
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
}

std::string CalibrationSection(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return calibrationcheck::CalibrationSection(
      {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

struct TWrongJig {
  const char* Name;
  size_t Out, In;
  const char* Refusal;
  bool AtContinue; // refused by the level check, else by the fit
};
const TWrongJig WrongJigs[] = {
    // 440 Hz sees 11 + 0.28j against 10 ohm: alike enough for the level check, not for the fit.
    {"a small coil on the terminals", SmallCoilBox, SmallCoilBox, InputsDifferText, false},
    {"a coil on the terminals", 0, 0, InputsDifferText, true},
    {"a capacitor on the terminals", 1, 1, InputsDifferText, true},
    {"a resistor on the terminals", 2, 2, InputsDifferText, true},
    {"the input on another box", ShortedBox, 0, NoToneText, true},
};

TEST(CalibrationChecks, AJigThatIsNotShortedOrAnInputOnAnotherBoxIsRefused) {
  CardWithASmallCoil();
  uitest::TScratch scratch;
  {
    TWindow w(scratch.Files());
    TBlockCounter blocks(*w.Form);
    LevelCheckAndContinue(w, blocks, ShortedBox, ShortedBox);
    ASSERT_TRUE(blocks.WaitFor(6));
    ASSERT_TRUE(w->lbCalibration->text().startsWith("Press Stop"));
    w->btnStartStop->click();
  }
  const std::string kept = CalibrationSection(scratch.Files().Settings);
  ASSERT_NE(kept.find("Corner0="), std::string::npos);
  for (const TWrongJig& c : WrongJigs) {
    SCOPED_TRACE(c.Name);
    TWindow w(scratch.Files());
    TBlockCounter blocks(*w.Form);
    LevelCheckAndContinue(w, blocks, c.Out, c.In);
    if (c.AtContinue) {
      EXPECT_FALSE(w->Running());
    } else {
      ASSERT_TRUE(w->Running());
      ASSERT_TRUE(blocks.WaitFor(6));
      EXPECT_TRUE(w->SignalIn().CalibrationRefused());
    }
    EXPECT_EQ(w->lbCalibration->text().toStdString(), c.Refusal);
    if (w->Running()) w->btnStartStop->click();
    w->close();
    EXPECT_EQ(CalibrationSection(scratch.Files().Settings), kept);
  }
  uitest::DefaultCard();
}

// Inputs as different as working cards' are: the shorted jig calibrates on each.
TEST(CalibrationChecks, TheShortedJigCalibratesOnEveryCardTheTestsUse) {
  uitest::App();
  for (const auto& c : calibrationcheck::WorkingCards) {
    SCOPED_TRACE(c.Name);
    std::vector<vmbox::TBoxConfig> boxes = vmbox::DefaultBoxes();
    for (auto& box : boxes) c.ApplyTo(box.Card);
    vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
    uitest::TScratch scratch;
    TWindow w(scratch.Files());
    TBlockCounter blocks(*w.Form);
    LevelCheckAndContinue(w, blocks, ShortedBox, ShortedBox);
    ASSERT_TRUE(w->Running());
    ASSERT_TRUE(blocks.WaitFor(6));
    EXPECT_FALSE(w->SignalIn().CalibrationRefused());
    EXPECT_TRUE(w->lbCalibration->text().startsWith("Press Stop"));
    w->btnStartStop->click();
  }
  uitest::DefaultCard();
}

// The calibration keeps the card and rate it was made at: measuring on another box of the card
// says nothing, at another rate the window says so until the user calibrates again there.
TEST(CalibrationChecks, MeasuringAtAnotherRateThanTheCalibrationSaysSo) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  LevelCheckAndContinue(w, blocks, ShortedBox, ShortedBox);
  ASSERT_TRUE(blocks.WaitFor(6));
  w->btnStartStop->click();
  EXPECT_EQ(w->SignalIn().Place.Rate, 48000u);
  const auto measure = [&](int rateIndex) {
    w->frWaveSetup1->cbSampling->setCurrentIndex(rateIndex);
    UseBox(*w.Form, 0);
    w->SetModeItem(2);
    w->btnStartStop->click();
    EXPECT_TRUE(blocks.WaitFor(2));
    w->btnStartStop->click();
    return w->lbCalibrationPlace->isVisible() ? w->lbCalibrationPlace->text().toStdString() : "";
  };
  const int at48 = w->frWaveSetup1->cbSampling->findText("48000");
  const int at96 = w->frWaveSetup1->cbSampling->findText("96000");
  ASSERT_GE(at96, 0);
  EXPECT_EQ(measure(at48), "");
  EXPECT_EQ(measure(at96), "The calibration was made on \"Virtual card\" at 48000 Hz, not on the "
                           "card and rate in use: calibrate again for exact readings.");
  w->close();
  TWindow again(scratch.Files());
  EXPECT_EQ(again->SignalIn().Place.Rate, 48000u);
  EXPECT_EQ(again->SignalIn().Place.Input, "Virtual card");
}

} // namespace
} // namespace sorvane
