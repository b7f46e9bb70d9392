// The level handlers: which attenuator step moves on a saturated or a weak block, the messages
// they report, and a measurement on a box that clips until the steps have moved.

#include "dravik/tests/ui_support.h"

namespace dravik {
namespace {

using namespace uitest;
using platform::vmbox::TCardModel;

const std::string Saturation0 = "Saturation. Channel: 0";
const std::string Saturation1 = "Saturation. Channel: 1";

struct Levels : TWindowTest {
  void SetUp() override {
    TWindowTest::SetUp();
    Open();
    SelectBox(2);
  }
  void SetOutput(int32_t step0, int32_t step1) {
    W->SignalOut->SetAttenuation(0, step0);
    W->SignalOut->SetAttenuation(1, step1);
  }
  std::pair<int32_t, int32_t> Output() const {
    return {W->SignalOut->GetAttenuation(0), W->SignalOut->GetAttenuation(1)};
  }
  std::pair<int32_t, int32_t> Input() const {
    return {W->SignalIn->GetAttIndex(0), W->SignalIn->GetAttIndex(1)};
  }
  // A new card of matched boxes changed by `card`, the window opened again on the 47 ohm box;
  // every reading of lblR is kept in Readings.
  void Reopen(const std::function<void(TCardModel&)>& card) {
    std::vector<TBoxConfig> boxes = MatchedBoxes();
    for (auto& box : boxes) card(box.Card);
    vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
    W.reset();
    Log.clear();
    Open();
    QObject::connect(W.get(), &TfmLCR::ResultShown, [this] { Readings.push_back(Text(W->lblR)); });
    SelectBox(2);
  }
  std::vector<std::string> Readings;
};

// The left output, which drives the circuit, is lowered; the right one is left alone.
TEST_F(Levels, LowerOutputLevelLowersTheDrivingOutput) {
  SetOutput(2, 3);
  const std::pair<int32_t, int32_t> expected[] = {{3, 3}, {4, 3}, {5, 3}, {6, 3}};
  for (const auto& after : expected) {
    EXPECT_TRUE(W->LowerOutputLevel(0));
    EXPECT_EQ(Output(), after);
  }
  SetOutput(0, 0);
  EXPECT_TRUE(W->LowerOutputLevel(1));
  EXPECT_EQ(Output(), std::make_pair(1, 0));
  EXPECT_EQ(Count(Saturation0), 4u);
  EXPECT_TRUE(Logged(Saturation1, false));
}

TEST_F(Levels, SaturationRaisesTheInputStepAndAtTheLastStepLowersAnOutput) {
  SetOutput(0, 0);
  W->SignalIn->SetAttenuation(0, 3);
  EXPECT_TRUE(W->HandleSaturation(0));
  EXPECT_EQ(Input().first, 4);
  EXPECT_EQ(Output(), std::make_pair(0, 0));
  EXPECT_EQ(Count(Saturation0), 1u);
  EXPECT_TRUE(W->HandleSaturation(0));
  EXPECT_EQ(Input().first, 4);
  EXPECT_EQ(Output(), std::make_pair(1, 0));
  EXPECT_EQ(Count(Saturation0), 3u); // once more, and once from lowering the output
}

struct TLowCase {
  const char* Name;
  int32_t InputStep; // of channel 0
  std::pair<int32_t, int32_t> Output, InputAfter, OutputAfter;
  bool Dropped;
};
const TLowCase LowCases[] = {
    {"input step down first", 2, {3, 3}, {1, 0}, {3, 3}, true},
    {"then the other output if it is lower", 0, {1, 2}, {0, 0}, {1, 1}, true},
    {"then its own output", 0, {2, 2}, {0, 0}, {1, 2}, true},
    {"nothing left to raise", 0, {0, 0}, {0, 0}, {0, 0}, false},
};

TEST_F(Levels, LowLevelRaisesOneStepAndSaysNothing) {
  for (const auto& c : LowCases) {
    SCOPED_TRACE(c.Name);
    W->SignalIn->SetAttenuation(0, c.InputStep);
    W->SignalIn->SetAttenuation(1, 0);
    SetOutput(c.Output.first, c.Output.second);
    const size_t lines = Log.size();
    EXPECT_EQ(W->HandleLowLevel(0), c.Dropped);
    EXPECT_EQ(Input(), c.InputAfter);
    EXPECT_EQ(Output(), c.OutputAfter);
    for (size_t i = lines; i < Log.size(); ++i) EXPECT_TRUE(Log[i].second) << Log[i].first;
  }
}

// A measurement on inputs that record a constant level just under or just over the overload
// level of 0.99: each input shows its converter's offset, the other input sits at 0.7, and the
// card's smallest gain lets under 0.0005 of the test signal through. Over the level, every
// block is dropped, the saturation is reported for the channel and its input step moves
// through the recording mixer; under it, nothing moves and the blocks reach the analysis.
TEST_F(Levels, APeakJustOverTheOverloadLevelIsHandledAndOneJustUnderIsNot) {
  struct TCase { int Channel; double Peak; bool Saturated; };
  const TCase cases[] = {{0, 0.989, false}, {0, 0.991, true}, {1, 0.989, false}, {1, 0.991, true}};
  std::vector<TBoxConfig> boxes = MatchedBoxes();
  const size_t first = boxes.size();
  for (const TCase& c : cases) {
    TBoxConfig box = boxes[2];
    box.Name = "Peak " + std::to_string(boxes.size() - first);
    box.Card.Matched = false;
    box.Card.NoiseOn = false;
    box.Card.Gain[0] = box.Card.Gain[1] = 1e-3;
    box.Card.HighPassHz[0] = box.Card.HighPassHz[1] = 0;
    box.Card.DcOffset[c.Channel] = c.Peak;
    box.Card.DcOffset[1 - c.Channel] = 0.7;
    boxes.push_back(box);
  }
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
  W.reset();
  Log.clear();
  Open();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(testing::Message() << "channel " << c.Channel << " at " << c.Peak);
    SelectBox(first + i);
    const size_t from = Log.size();
    const int results = Results;
    W->rgRunMode->Item(1)->click();
    W->btnStart->click();
    ASSERT_TRUE(RunAudio(1.5));
    const std::string saturation = "Saturation. Channel: " + std::to_string(c.Channel);
    // The window handles the blocks after the fast card has recorded them (later still on a
    // busy machine): wait for what each side of the level must bring, a result or the report
    // with its step, before counting what came.
    PumpUntil([&] {
      if (!c.Saturated) return Results > results;
      const int32_t step = c.Channel == 0 ? Input().first : Input().second;
      return step > 0 && std::find(Log.begin() + static_cast<std::ptrdiff_t>(from), Log.end(),
                                   std::make_pair(saturation, false)) != Log.end();
    }, 10s);
    size_t reported = Log.size(), moved = Log.size(), other = 0;
    for (size_t j = from; j < Log.size(); ++j) {
      if (Log[j] == std::make_pair(saturation, false) && reported == Log.size()) reported = j;
      const bool volume = Log[j].first.rfind("MixerIn: Set volume", 0) == 0;
      if (reported < j && volume && moved == Log.size()) moved = j;
      other += Log[j].first == "Saturation. Channel: " + std::to_string(1 - c.Channel);
    }
    const int32_t step = c.Channel == 0 ? Input().first : Input().second;
    EXPECT_EQ(reported < Log.size(), c.Saturated);
    EXPECT_EQ(moved < Log.size(), c.Saturated) << "the recording level follows the report";
    EXPECT_EQ(step > 0, c.Saturated);
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(Results > results, !c.Saturated) << "a saturated block never reaches the analysis";
    StopRun();
  }
}

// A card whose inputs amplify 40 times clips until channel 0 is at its last input step and an
// output level has come down; when the card's input level then drops, the low-level handler
// takes no step back to a level that saturated in this run; the next run starts afresh.
TEST_F(Levels, AClippingBoxMovesTheStepsAndWeakLevelsNeverMoveThemBackToSaturation) {
  std::vector<TBoxConfig> boxes = MatchedBoxes();
  for (auto& box : boxes) box.Card.Gain[0] = box.Card.Gain[1] = 40;
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
  W.reset();
  Log.clear();
  Open();
  SelectBox(2);
  ASSERT_TRUE(Measure(1));
  EXPECT_EQ(Input().first, 4);
  EXPECT_GT(Output().first, 0);
  EXPECT_EQ(Output().second, 0); // the right output drives nothing
  bool twice = false;
  for (size_t i = 1; i < Log.size(); ++i) {
    twice = twice || (Log[i].first == Saturation0 && Log[i - 1].first == Saturation0);
  }
  EXPECT_TRUE(twice);
  EXPECT_LT(std::fabs(EngValue(Text(W->lblR), "Rx= ", "Ohm") - 47), 0.5) << Text(W->lblR);

  const auto input = Input();
  const auto output = Output();
  vmbox::SetInputLevel(2, 0, 1 / 256.0);
  vmbox::SetInputLevel(2, 1, 1 / 256.0);
  ASSERT_TRUE(RunAudio(5));
  EXPECT_EQ(Input(), input);
  EXPECT_EQ(Output(), output);
  StopRun();
  ASSERT_TRUE(Measure(1));
  EXPECT_EQ(Input(), std::make_pair(0, 0));
  EXPECT_EQ(Output(), std::make_pair(0, 0));
  StopRun();
}

// Channel 0 clips at step 0 while channel 1 is weak with nothing left to raise: the block that
// clipped must not reach the analysis with the factor of the step the saturation moved to.
TEST_F(Levels, ABlockCapturedBeforeALevelChangeNeverReachesTheAnalysis) {
  Reopen([](TCardModel& card) { card.Gain[0] = card.Gain[1] = 2.5; });
  ASSERT_TRUE(Measure(2));
  EXPECT_EQ(Input(), std::make_pair(1, 0));
  EXPECT_EQ(Count(Saturation0), 1u);
  for (const auto& reading : Readings) {
    EXPECT_LT(std::fabs(EngValue(reading, "Rx= ", "Ohm") - 47), 0.5) << reading;
  }
  StopRun();
}

// A mixer whose steps are eighths (a cubic volume curve): a channel that clips at step 0 reads
// below 0.45 at step 1, and must stay there instead of going back to the step that clipped.
// The calibration measures the first step's factor of 8 and leaves out the steps beyond it.
TEST_F(Levels, LevelsSettleWhereAStepIsNotAHalving) {
  Reopen([](TCardModel& card) {
    card.Gain[0] = card.Gain[1] = 2.5;
    card.VolumeCurve = 3;
  });
  ASSERT_TRUE(Calibrate());
  EXPECT_EQ(W->SignalIn->GetStepCount(), 2);
  EXPECT_NEAR(static_cast<double>(W->SignalIn->CalibrIn->ChannelCal[0].Steps[1].AttVal), 8, 0.1);
  SelectBox(2);
  Readings.clear();
  const size_t saturations = Count(Saturation0);
  W->rgRunMode->Item(1)->click();
  W->btnStart->click();
  ASSERT_TRUE(PumpUntil([this] { return Readings.size() >= 4; }, 60s));
  size_t started = 0;
  for (size_t i = 0; i < Log.size(); ++i) {
    if (Log[i].first.rfind("WaveIn: Start:", 0) == 0) started = i;
  }
  EXPECT_LE(LevelChanges(started), 3u);
  EXPECT_LE(Count(Saturation0) - saturations, 2u);
  EXPECT_EQ(Input(), std::make_pair(1, 0));
  for (size_t i = 1; i < Readings.size(); ++i) {
    EXPECT_LT(std::fabs(EngValue(Readings[i], "Rx= ", "Ohm") - 47), 0.5) << Readings[i];
  }
  StopRun();
}

} // namespace
} // namespace dravik
