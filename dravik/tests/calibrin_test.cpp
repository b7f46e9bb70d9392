#include "dravik/signal/uCalibrIn.h"

#include "platform/inifile.h"
#include "platform/tests/support/log_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace dravik {
namespace {

// A block of `frames` frames, one constant per channel.
TDataMatrix Constant(std::vector<long double> levels, size_t frames = 64) {
  TDataMatrix block;
  for (const long double v : levels) block.emplace_back(frames, v);
  return block;
}

// A square wave between mean + half and mean - half, `frames` frames, period 8 frames.
TDataVector Square(long double mean, long double half, size_t frames = 64) {
  TDataVector v(frames);
  for (size_t i = 0; i < frames; ++i) v[i] = mean + ((i % 8) < 4 ? half : -half);
  return v;
}

using TLog = testsupport::TLogLines;

// What a value looks like after a trip through the settings file (15 significant digits).
long double Stored(long double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", static_cast<double>(v));
  return std::strtod(text, nullptr);
}

TEST(CalibrIn, StartsWithNominalTablesThatUndoTheAttenuation) {
  TCalibrIn cal;
  ASSERT_EQ(cal.GetChannelCount(), 2);
  ASSERT_EQ(cal.GetStepCount(), 5);
  EXPECT_EQ(cal.RefChannel, 0);
  for (const auto& channel : cal.ChannelCal) {
    EXPECT_EQ(channel.AttIndex, 0);
    for (size_t s = 0; s < channel.Steps.size(); ++s) {
      EXPECT_EQ(channel.Steps[s].OffSet, 0);
      EXPECT_EQ(channel.Steps[s].AttVal, std::ldexp(1.0L, static_cast<int>(s)));
    }
  }
  // Uncalibrated, 0.1 at step 3 comes out as 0.8; a third channel of the block passes as it is.
  cal.SetAttIndex(1, 3);
  TDataMatrix block = Constant({0.1L, 0.1L, 0.1L});
  cal.Process(block);
  EXPECT_NEAR(static_cast<double>(block[0][0]), 0.1, 1e-18);
  EXPECT_NEAR(static_cast<double>(block[1][5]), 0.8, 1e-18);
  EXPECT_EQ(block[2][5], 0.1L);
}

TEST(CalibrIn, OffsetBlockMeasuresEachChannelAtItsStep) {
  TCalibrIn cal;
  cal.SetAttIndex(1, 2);
  int shown = 0;
  cal.OnBlock = [&](const TDataMatrix&) { ++shown; };
  TDataMatrix block = Constant({0.01L, -0.02L});
  EXPECT_TRUE(cal.OffsetBlock(block));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(block[0][0], 0.01L); // the block itself is not changed
  EXPECT_NEAR(static_cast<double>(cal.ChannelCal[0].Steps[0].OffSet), 0.01, 1e-18);
  EXPECT_NEAR(static_cast<double>(cal.ChannelCal[1].Steps[2].OffSet), -0.02, 1e-18);
  EXPECT_EQ(cal.ChannelCal[1].Steps[0].OffSet, 0); // other steps untouched
  cal.Process(block);
  EXPECT_NEAR(static_cast<double>(block[0][3]), 0.0, 1e-18);
  EXPECT_NEAR(static_cast<double>(block[1][3]), 0.0, 1e-18);

  // A block without samples measures nothing (no division by zero).
  TDataMatrix empty(2);
  cal.OffsetBlock(empty);
  EXPECT_NEAR(static_cast<double>(cal.ChannelCal[0].Steps[0].OffSet), 0.01, 1e-18);
}

TEST(CalibrIn, AmplitudeBlockTiesEveryFactorToTheReference) {
  struct Case {
    const char* name;
    int32_t ref, step0, step1;
    long double factor0, factor1; // factors of the current steps before the block
    long double half0, half1;     // half amplitudes of the squares
    long double expect0, expect1; // factors of the current steps after the block
  };
  const Case cases[] = {
      // Channel 0 at step 0 is the reference: channel 1 at half the level gets factor 2.
      {"first phase", 0, 0, 1, 1, 2, 0.45L, 0.225L, 1, 2},
      // Channel 1 (factor 1.5 at step 0) is the reference; channel 0 at a quarter level.
      {"second phase", 1, 2, 0, 4, 1.5L, 0.1L, 0.4L, 1.5L * 0.8L / 0.2L, 1.5L},
      // The reference's own factor scales the others, and it never changes itself.
      {"scaled reference", 0, 0, 3, 1.02L, 8, 0.3L, 0.05L, 1.02L, 1.02L * 0.6L / 0.1L},
  };
  for (const auto& c : cases) {
    TCalibrIn cal;
    cal.RefChannel = c.ref;
    cal.SetAttIndex(0, c.step0);
    cal.SetAttIndex(1, c.step1);
    cal.ChannelCal[0].Steps[static_cast<size_t>(c.step0)].AttVal = c.factor0;
    cal.ChannelCal[1].Steps[static_cast<size_t>(c.step1)].AttVal = c.factor1;
    // Offsets on the squares: the mean is taken out before the levels are compared.
    TDataMatrix block{Square(0.003L, c.half0), Square(-0.002L, c.half1)};
    EXPECT_TRUE(cal.AmplitudeBlock(block)) << c.name;
    EXPECT_NEAR(static_cast<double>(cal.ChannelCal[0].Steps[static_cast<size_t>(c.step0)].AttVal),
                static_cast<double>(c.expect0), 1e-12) << c.name;
    EXPECT_NEAR(static_cast<double>(cal.ChannelCal[1].Steps[static_cast<size_t>(c.step1)].AttVal),
                static_cast<double>(c.expect1), 1e-12) << c.name;
    EXPECT_NEAR(static_cast<double>(block[0][0]), static_cast<double>(c.half0), 1e-15) << c.name;
  }
}

TEST(CalibrIn, ChannelsWithoutSignalEndTheBlockSafely) {
  struct Case {
    const char* name;
    int32_t ref, step0, step1;
    bool silent0, silent1;
    int32_t steps;     // step count afterwards
    bool message;      // "No signal on amplitude calibration." reported
    bool stopped;      // the run must end
  };
  const Case cases[] = {
      {"reference silent", 0, 0, 2, true, false, 5, true, false},
      {"other channel silent at step 2", 0, 0, 2, false, true, 2, false, false},
      {"other channel silent at step 0", 0, 0, 0, false, true, 5, true, true},
      {"second phase, reference silent", 1, 3, 0, false, true, 5, true, false},
      {"second phase, channel 0 silent at step 3", 1, 3, 0, true, false, 3, false, false},
  };
  for (const auto& c : cases) {
    TCalibrIn cal;
    TLog log;
    cal.OnLog = log.Event();
    cal.RefChannel = c.ref;
    cal.SetAttIndex(0, c.step0);
    cal.SetAttIndex(1, c.step1);
    const auto before = cal.ChannelCal;
    TDataMatrix block{c.silent0 ? TDataVector(64, 0.01L) : Square(0, 0.2L),
                      c.silent1 ? TDataVector(64, 0.0L) : Square(0, 0.1L)};
    EXPECT_TRUE(cal.AmplitudeBlock(block)) << c.name;
    EXPECT_EQ(cal.GetStepCount(), c.steps) << c.name;
    EXPECT_EQ(cal.AmplitudeRunStopped, c.stopped) << c.name;
    // A run that must end also names the channel without signal.
    ASSERT_EQ(log.Lines.size(), c.message ? (c.stopped ? 2u : 1u) : 0u) << c.name;
    if (c.message) {
      EXPECT_EQ(log.Lines[0],
                std::make_pair(std::string("No signal on amplitude calibration."), false));
    }
    EXPECT_EQ(cal.AmplitudeRunFailed, c.message) << c.name;
    // No factor of the block is written, also not for a channel measured before the silent one.
    for (size_t ch = 0; ch < 2; ++ch) {
      for (size_t s = 0; s < static_cast<size_t>(c.steps); ++s) {
        EXPECT_EQ(cal.ChannelCal[ch].Steps[s].AttVal, before[ch].Steps[s].AttVal) << c.name;
      }
      EXPECT_LT(cal.GetAttIndex(static_cast<int32_t>(ch)), c.steps) << c.name;
    }
  }
}

// Noise measured as signal gives factors in the thousands: far from the step's nominal 2^s it
// counts as no signal, on the channel itself when too large, on the reference when too small.
TEST(CalibrIn, FactorsNoWorkingCardCanHaveCountAsNoSignal) {
  struct Case {
    const char* name;
    int32_t step1;
    long double half0, half1;
    int32_t steps;         // step count afterwards
    const char* named;     // the line naming the channel, "" for none
    long double factor1;   // channel 1's factor at its step afterwards
  };
  const Case cases[] = {
      {"noise on channel 1 at step 0", 0, 0.45L, 3e-5L, 5,
       "No signal on channel 1: the calibration in force is kept.", 1},
      {"noise on channel 1 at step 3", 3, 0.45L, 3e-5L, 3, "", 4},
      {"noise on the reference", 0, 3e-5L, 0.45L, 5,
       "No signal on channel 0: the calibration in force is kept.", 1},
      {"a cubic mixer's first step", 1, 0.45L, 0.45L / 8, 5, "", 8},
      {"a quieter channel 1", 0, 0.45L, 0.45L / 1.25L, 5, "", 1.25L},
      // On the shorted jig both inputs record one voltage: no card's inputs differ this much.
      {"channel 1 quieter than a card's", 0, 0.45L, 0.45L / 1.35L, 5,
       "Amplitude calibration refused: the two inputs differ by a factor of 1.35, more than a "
       "sound card could. Short the terminals and pick the same box or card as output and "
       "input; the calibration in force is kept.", 1},
      {"channel 1 louder than a card's", 0, 0.45L, 0.45L * 1.35L, 5,
       "Amplitude calibration refused: the two inputs differ by a factor of 0.74, more than a "
       "sound card could. Short the terminals and pick the same box or card as output and "
       "input; the calibration in force is kept.", 1},
      {"a quieter channel 1 at step 1", 1, 0.45L, 0.45L / 2 / 1.35L, 5, "", 2.7L},
      {"both inputs hear only noise", 0, 3e-4L, 3e-4L, 5,
       "The inputs hear nothing of the output: pick the same box or card as output and input, "
       "check the cable and turn the output up. The calibration in force is kept.", 1},
  };
  for (const auto& c : cases) {
    TCalibrIn cal;
    TLog log;
    cal.OnLog = log.Event();
    cal.SetAttIndex(1, c.step1);
    TDataMatrix block{Square(0, c.half0), Square(0, c.half1)};
    EXPECT_TRUE(cal.AmplitudeBlock(block)) << c.name;
    EXPECT_EQ(cal.GetStepCount(), c.steps) << c.name;
    EXPECT_EQ(cal.AmplitudeRunStopped, *c.named != 0) << c.name;
    EXPECT_EQ(log.Lines.empty(), !*c.named) << c.name;
    if (*c.named) {
      EXPECT_EQ(log.Lines.back(), std::make_pair(std::string(c.named), false)) << c.name;
    }
    const auto step = static_cast<size_t>(cal.GetAttIndex(1));
    EXPECT_NEAR(static_cast<double>(cal.ChannelCal[1].Steps[step].AttVal),
                static_cast<double>(c.factor1), 1e-9) << c.name;
  }
}

// A calibration starts with the default steps; a failed one gets the table in force back.
TEST(CalibrIn, ACalibrationStartsWithTheDefaultStepsAndCanPutTheOldTableBack) {
  TCalibrIn cal;
  EXPECT_FALSE(cal.PutBackKeptTable());
  cal.SetStepCount(3);
  cal.ChannelCal[1].Steps[2].AttVal = 4.5L;
  cal.SetAttIndex(0, 2);
  cal.BeginCalibration();
  EXPECT_EQ(cal.GetStepCount(), DefaultAttenuationSteps);
  EXPECT_EQ(cal.ChannelCal[1].Steps[4].AttVal, 16.0L);
  cal.ChannelCal[1].Steps[2].AttVal = 13300;
  EXPECT_TRUE(cal.PutBackKeptTable());
  EXPECT_EQ(cal.GetStepCount(), 3);
  EXPECT_EQ(cal.ChannelCal[1].Steps[2].AttVal, 4.5L);
  EXPECT_EQ(cal.GetAttIndex(0), 2);
}

TEST(CalibrIn, ChannelAndStepCountsKeepTheTablesConsistent) {
  TCalibrIn cal;
  cal.ChannelCal[1].AttIndex = 4;
  cal.ChannelCal[1].Steps[4] = {0.5L, 3.0L};
  cal.SetChannelCount(3); // a copy of channel 1
  ASSERT_EQ(cal.GetChannelCount(), 3);
  EXPECT_EQ(cal.ChannelCal[2].AttIndex, 4);
  EXPECT_EQ(cal.ChannelCal[2].Steps[4].OffSet, 0.5L);
  EXPECT_EQ(cal.ChannelCal[2].Steps[4].AttVal, 3.0L);

  cal.SetStepCount(3); // steps dropped, channels beyond them moved to the last one
  EXPECT_EQ(cal.GetStepCount(), 3);
  EXPECT_EQ(cal.GetAttIndex(1), 2);
  EXPECT_EQ(cal.GetAttIndex(0), 0);
  cal.SetStepCount(7); // new steps get the nominal factors
  ASSERT_EQ(cal.ChannelCal[2].Steps.size(), 7u);
  EXPECT_EQ(cal.ChannelCal[2].Steps[3].AttVal, 8.0L);
  EXPECT_EQ(cal.ChannelCal[0].Steps[5].AttVal, 32.0L);
  EXPECT_EQ(cal.ChannelCal[1].Steps[6].AttVal, 64.0L);
  cal.SetStepCount(-4);
  EXPECT_EQ(cal.GetStepCount(), 0);

  cal.SetChannelCount(1);
  EXPECT_EQ(cal.GetChannelCount(), 1);
  cal.SetChannelCount(-1);
  EXPECT_EQ(cal.GetChannelCount(), 0);
  EXPECT_EQ(cal.GetStepCount(), 0);
  cal.SetStepCount(4); // nothing to resize without channels
  EXPECT_EQ(cal.GetStepCount(), 0);
  cal.SetChannelCount(2); // from none: nominal tables again
  EXPECT_EQ(cal.GetStepCount(), 5);
  EXPECT_EQ(cal.ChannelCal[1].Steps[4].AttVal, 16.0L);

  // A channel that does not exist, or a step outside the table, is no crash: the step is
  // simply not applied.
  cal.SetAttIndex(7, 1);
  EXPECT_EQ(cal.GetAttIndex(7), 0);
  cal.SetAttIndex(0, 9);
  TDataMatrix block = Constant({0.25L, 0.25L});
  cal.Process(block);
  EXPECT_EQ(block[0][0], 0.25L);
}

TEST(CalibrIn, SettingsSectionRoundTrip) {
  TCalibrIn saved;
  for (size_t c = 0; c < 2; ++c)
    for (size_t s = 0; s < 5; ++s)
      saved.ChannelCal[c].Steps[s] = {0.001L * (c + 1) / 3 - 0.0001L * s, 1.0L / 3 + 2.0L * s + c};
  platform::TIniFile file("/nonexistent-dir/calibration.ini");
  saved.SaveToIni(file);
  const std::string text = file.Text();
  // Counts first, then per channel and step the offset before the factor.
  size_t at = 0;
  for (const char* key : {"[Calibration]", "Channels=2", "AttNumber=5", "OffSet00=", "AttVal00=",
                          "OffSet01=", "AttVal04=", "OffSet10=", "AttVal10=", "OffSet14=",
                          "AttVal14="}) {
    const size_t found = text.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << "\n" << text;
    at = found;
  }

  TCalibrIn loaded;
  loaded.SetStepCount(3);
  loaded.SetAttIndex(0, 2);
  loaded.SetAttIndex(1, 1);
  loaded.LoadFromIni(file);
  ASSERT_EQ(loaded.GetChannelCount(), 2);
  ASSERT_EQ(loaded.GetStepCount(), 5);
  for (size_t c = 0; c < 2; ++c) {
    EXPECT_EQ(loaded.ChannelCal[c].AttIndex, 0);
    for (size_t s = 0; s < 5; ++s) {
      EXPECT_EQ(loaded.ChannelCal[c].Steps[s].OffSet, Stored(saved.ChannelCal[c].Steps[s].OffSet));
      EXPECT_EQ(loaded.ChannelCal[c].Steps[s].AttVal, Stored(saved.ChannelCal[c].Steps[s].AttVal));
    }
  }
}

TEST(CalibrIn, UnusableSettingsLeaveTheValuesInForce) {
  platform::TIniFile file("/nonexistent-dir/calibration.ini");
  file.WriteString("Calibration", "Channels", "two");
  file.WriteInteger("Calibration", "AttNumber", 1000000000); // far more than the keys can name
  file.WriteString("Calibration", "OffSet00", "0,5");
  file.WriteString("Calibration", "AttVal00", "nan");
  file.WriteFloat("Calibration", "AttVal11", 2.5);
  TCalibrIn cal;
  cal.ChannelCal[0].Steps[0].OffSet = 0.125L;
  cal.LoadFromIni(file);
  EXPECT_EQ(cal.GetChannelCount(), 2);
  EXPECT_EQ(cal.GetStepCount(), 5);
  EXPECT_EQ(cal.ChannelCal[0].Steps[0].OffSet, 0.125L);
  EXPECT_EQ(cal.ChannelCal[0].Steps[0].AttVal, 1.0L);
  EXPECT_EQ(cal.ChannelCal[1].Steps[1].AttVal, 2.5L);

  file.WriteInteger("Calibration", "AttNumber", 0); // would leave no step to be at
  cal.LoadFromIni(file);
  EXPECT_EQ(cal.GetStepCount(), 5);

  // The program measures with two inputs: another count would drop channel 1's calibration.
  for (const int32_t channels : {1, 3}) {
    file.WriteInteger("Calibration", "Channels", channels);
    file.WriteFloat("Calibration", "AttVal11", 2.25);
    cal.LoadFromIni(file);
    ASSERT_EQ(cal.GetChannelCount(), 2) << channels;
    EXPECT_EQ(cal.ChannelCal[1].Steps[1].AttVal, 2.25L) << channels;
  }
}

TEST(CalibrIn, TheInputResponseIsKeptBesideTheTable) {
  TCalibrIn saved;
  saved.Response.Rate = 48000;
  saved.Response.Frames = 2048;
  for (size_t i = 0; i < saved.Response.Points.size(); ++i)
    saved.Response.Points[i] = {{0.99L + 0.001L * i, 0.017L / (i + 1)}, 1e-9L * i};
  platform::TIniFile file("/nonexistent-dir/calibration.ini");
  saved.SaveToIni(file);
  TCalibrIn loaded;
  loaded.LoadFromIni(file);
  EXPECT_TRUE(loaded.Response.AppliesTo(48000, 2048));
  for (size_t i = 0; i < saved.Response.Points.size(); ++i) {
    EXPECT_EQ(loaded.Response.Points[i].Ratio.Re, Stored(saved.Response.Points[i].Ratio.Re));
    EXPECT_EQ(loaded.Response.Points[i].Ratio.Im, Stored(saved.Response.Points[i].Ratio.Im));
    EXPECT_EQ(loaded.Response.Points[i].Variance, Stored(saved.Response.Points[i].Variance));
  }

  // A file from before the response run, and files whose response no card could have or that
  // lack a key, load with no response and the table as stored.
  struct Case { const char* name; const char* key; const char* value; };
  // (no key: a section of the table alone, as an earlier version wrote it)
  const Case cases[] = {{"a file from before the response run", nullptr, nullptr},
                        {"no response measured", "ResponseRate", "0"},
                        {"a block length no measurement uses", "ResponseFrames", "3000"},
                        {"a gain of 5", "ResponseRe3", "5"},
                        {"a point without its value", "ResponseIm9", ""},
                        {"a negative variance", "ResponseVar2", "-1e-9"},
                        {"not a number", "ResponseRe0", "one"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::TIniFile edited("/nonexistent-dir/calibration.ini");
    if (c.key) saved.SaveToIni(edited);
    edited.WriteFloat("Calibration", "AttVal11", 2.5);
    if (c.key) edited.WriteString("Calibration", c.key, c.value);
    TCalibrIn cal;
    cal.LoadFromIni(edited);
    EXPECT_FALSE(cal.Response.Measured());
    EXPECT_EQ(cal.ChannelCal[1].Steps[1].AttVal, 2.5L);
  }
}

TEST(SignalProcessing, ConsumersRunInOrderUntilOneStops) {
  struct Case {
    std::vector<bool> answers;
    bool result;
    size_t called;
  };
  const Case cases[] = {
      {{}, false, 0}, {{false}, false, 1}, {{true, false}, true, 1}, {{false, false, true}, true, 3},
  };
  for (const auto& c : cases) {
    TCalibrIn cal;
    std::vector<int> order;
    int tags[4] = {0, 1, 2, 3};
    for (size_t i = 0; i < c.answers.size(); ++i) {
      const bool answer = c.answers[i];
      EXPECT_EQ(cal.AddConsumer([&order, answer](void* data, TDataMatrix&) {
        order.push_back(*static_cast<int*>(data));
        return answer;
      }, &tags[i]), static_cast<int32_t>(i));
    }
    TDataMatrix block = Constant({0.1L, 0.1L});
    EXPECT_EQ(cal.Process(block), c.result);
    ASSERT_EQ(order.size(), c.called);
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], static_cast<int>(i));
  }
}

TEST(Attenuation, StepsAndLevels) {
  struct Case { int32_t step; double level; int32_t readBack; };
  const Case cases[] = {
      {0, 1.0, 0},       {1, 0.5, 1},           {3, 0.125, 3},        {30, std::ldexp(1.0, -30), 30},
      {31, std::ldexp(1.0, -30), 30}, {254, std::ldexp(1.0, -30), 30}, {255, 0.0, 255},
      {256, 0.0, 255},   {-3, 1.0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AttenuationLevel(c.step), c.level) << c.step;
    EXPECT_EQ(AttenuationStep(AttenuationLevel(c.step)), c.readBack) << c.step;
  }
  // Levels between steps read as the nearest step.
  EXPECT_EQ(AttenuationStep(0.3), 2); // log2(1/0.3) = 1.74
  EXPECT_EQ(AttenuationStep(0.7), 1); // 0.51
  EXPECT_EQ(AttenuationStep(-0.1), 255);
}

} // namespace
} // namespace dravik
