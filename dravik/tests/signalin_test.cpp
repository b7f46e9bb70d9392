// The input chain on the virtual card: its creation and destruction reports, the offset and
// amplitude runs step by step, attenuation moving the calibration and the recording level
// together, mixer changes discarding the blocks in flight, and a full calibration of a card
// whose inputs differ in gain and offset.

#include "dravik/signal/uSignalIn.h"
#include "dravik/signal/uSignalOut.h"
#include "dravik/tests/signal_support.h"

#include <cmath>
#include <iostream>
#include <tuple>

namespace dravik {
namespace {

using namespace audiotest;
using namespace signaltest;
namespace vmbox = platform::vmbox;

constexpr size_t NoiseBox = 0;
constexpr size_t ShortedBox = 1;
constexpr double Gains[2] = {1.0, 0.93};
constexpr double Offsets[2] = {0.004, -0.0025};

// The calibration position of the jig on a card whose inputs differ: gain, offset and
// anti-alias edge per channel, DC coupled, a little noise.
TBoxConfig CalibrationBox() {
  TBoxConfig box = QuietBox("Shorted", {});
  box.Circuit.Shorted = true;
  box.Card.Matched = false;
  box.Card.NoiseOn = true;
  for (int c = 0; c < 2; ++c) {
    box.Card.Gain[c] = Gains[c];
    box.Card.DcOffset[c] = Offsets[c];
  }
  return box;
}

const std::set<std::string> ChainTexts = {
    "MixerIn: Creating ...", "CalibrIn: Creating ...", "SignalIn: Created.",
    "WaveIn destroyed.",     "MixerIn destroyed.",     "CalibrIn destroyed.",
    "Can not destroy WaveIn.", "Can not destroy MixerIn.", "Can not destroy CalibrIn."};

// Level of a square-like block: mean of the upper values minus mean of the lower ones.
long double Amplitude(const TDataVector& v) {
  long double mean = 0;
  for (const long double x : v) mean += x;
  mean /= static_cast<long double>(v.size());
  long double up = 0, down = 0;
  size_t ups = 0, downs = 0;
  for (const long double x : v) {
    if (x > mean) {
      up += x;
      ++ups;
    } else {
      down += x;
      ++downs;
    }
  }
  return up / static_cast<long double>(ups) - down / static_cast<long double>(downs);
}

long double Mean(const TDataVector& v) {
  long double sum = 0;
  for (const long double x : v) sum += x;
  return sum / static_cast<long double>(v.size());
}

struct SignalIn : testing::Test {
  void SetUp() override {
    vmbox::Reinitialise({NoisyBox("Noise"), CalibrationBox()}, TSpeed::Fast);
  }
  void TearDown() override { vmbox::ClearFaults(); }

  std::unique_ptr<TSignalIn> Make(size_t box) {
    bool ok = false;
    auto in = std::make_unique<TSignalIn>(Log.Event(), ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(in->SetDevice(static_cast<int32_t>(InputOf(box))));
    in->SetOnStop([this](void* sender) { StopSenders.push_back(sender); });
    return in;
  }
  // Pumps until the chain has called its stop handler `count` times in all.
  void AwaitStops(size_t count) {
    ASSERT_TRUE(PumpUntil([&] { return StopSenders.size() >= count; }, 120s));
  }

  TLogLines Log;
  std::vector<void*> StopSenders;
};

TEST_F(SignalIn, CreationAndDestructionReportInOrder) {
  struct Case {
    const char* name;
    const char* failing; // platform call made to fail, or ""
    std::vector<std::string> created;
    bool ok;
  };
  const Case cases[] = {
      {"created", "", {"MixerIn: Creating ...", "CalibrIn: Creating ...", "SignalIn: Created."}, true},
      {"capture device fails", "waveInOpen", {}, false},
      {"mixer binding fails", "mixerOpen", {"MixerIn: Creating ..."}, false},
  };
  for (const auto& c : cases) {
    Log.Lines.clear();
    if (*c.failing) vmbox::FailCall(c.failing, MMSYSERR_NODRIVER, 0xFFFFFFFF);
    bool ok = !c.ok;
    auto in = std::make_unique<TSignalIn>(Log.Event(), ok);
    vmbox::ClearFaults();
    EXPECT_EQ(ok, c.ok) << c.name;
    EXPECT_EQ(OwnLines(Log, ChainTexts), InfoLines(c.created)) << c.name;
    if (c.ok) {
      // Each report stands between the parts' own lines: the device has settled its format
      // before the mixer is created, the mixer is bound before the calibration is created.
      const size_t mixerCreating = FirstLine(Log, "MixerIn: Creating ...");
      EXPECT_LT(FirstLine(Log, "WaveIn: Creating ..."), mixerCreating);
      EXPECT_LT(mixerCreating, FirstLine(Log, "MixerIn: Set device"));
      EXPECT_LT(FirstLine(Log, "MixerIn: Set source"), FirstLine(Log, "CalibrIn: Creating ..."));
      EXPECT_EQ(Log.Lines.back().first, "SignalIn: Created.");
      EXPECT_EQ(Log.Errors(), 0u);
      EXPECT_EQ(in->BlockLength, 1024u);
    } else {
      // A chain that could not be created stays harmless.
      in->SetAttenuation(0, 2);
      in->StartMeasurement();
      in->StartOffsetRun();
      EXPECT_EQ(in->GetStepCount(), 0);
      EXPECT_EQ(in->AddBlockConsumer([](void*, TDataMatrix&) { return false; }), -1);
    }
    Log.Lines.clear();
    in.reset();
    EXPECT_EQ(OwnLines(Log, ChainTexts),
              InfoLines({"WaveIn destroyed.", "MixerIn destroyed.", "CalibrIn destroyed."}))
        << c.name;
  }
}

TEST_F(SignalIn, SetAttenuationMovesTheStepAndTheRecordingLevelTogether) {
  auto in = Make(ShortedBox);
  const DWORD line = LineVolumeId(ShortedBox);
  struct Case { int32_t channel, step; DWORD raw; };
  const Case cases[] = {{1, 3, 8192}, {0, 1, 32768}, {0, 4, 4096}, {1, 0, 65535}};
  for (const auto& c : cases) {
    in->SetAttenuation(c.channel, c.step);
    EXPECT_EQ(in->GetAttIndex(c.channel), c.step);
    EXPECT_EQ(vmbox::MixerValues(ShortedBox, line).at(static_cast<size_t>(c.channel)), c.raw)
        << c.channel << " " << c.step;
    // The calibration uses the step from the next block on: nominal factor 2^step.
    TDataMatrix block{TDataVector(4, 0.1L), TDataVector(4, 0.1L)};
    in->CalibrIn->Process(block);
    EXPECT_NEAR(static_cast<double>(block[static_cast<size_t>(c.channel)][0]),
                0.1 * std::ldexp(1.0, c.step), 1e-15);
  }
}

TEST_F(SignalIn, OffsetRunTakesOneFifthOfASecondPerStepInOrder) {
  for (const DWORD rate : {48000u, 44100u}) {
    auto in = Make(ShortedBox);
    in->SetSamplingRate(rate);
    ASSERT_EQ(in->GetSamplingRate(), rate);
    using TVisit = std::tuple<size_t, int32_t, int32_t, DWORD, DWORD>;
    std::vector<TVisit> visits;
    in->SetOnBlock([&](const TDataMatrix& block) {
      const auto line = vmbox::MixerValues(ShortedBox, LineVolumeId(ShortedBox));
      visits.emplace_back(block[0].size(), in->GetAttIndex(0), in->GetAttIndex(1), line[0], line[1]);
    });
    StopSenders.clear();
    in->StartOffsetRun();
    AwaitStops(1);
    PumpUntil([] { return false; }, 50ms); // nothing else follows
    std::vector<TVisit> expected;
    for (int32_t s = 0; s < 5; ++s) {
      const DWORD raw = static_cast<DWORD>(std::nearbyint(65535.0 / (1 << s)));
      expected.emplace_back(rate / 5, s, s, raw, raw);
    }
    EXPECT_EQ(visits, expected) << rate;
    EXPECT_EQ(StopSenders, std::vector<void*>{in.get()}) << rate;
    EXPECT_EQ(Log.Errors(), 0u);
  }
}

TEST_F(SignalIn, AmplitudeBlocksHoldWholePeriods) {
  struct Case { DWORD rate; long double frequency; uint32_t frames; };
  const Case cases[] = {
      {48000, 48000.0L / 106, 23956}, // 226 periods of 106 frames
      {44100, 44100.0L / 96, 22080},  // 230 periods of 96 frames
      {48000, 0.25L, 192000},         // below 1 Hz: one period
      {48000, 0, 0},     {48000, -5, 0}, {48000, NAN, 0}, {48000, INFINITY, 0},
      {48000, 1e10L, 0}, // the period count does not fit 32 bits
      {192000, 1e-5L, 0}, // the block would not fit 32 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AmplitudeBlockFrames(c.rate, c.frequency), c.frames)
        << c.rate << " " << static_cast<double>(c.frequency);
  }
  auto in = Make(ShortedBox);
  EXPECT_FALSE(in->StartAmplitudeRun(0));
  EXPECT_TRUE(Log.Has("SignalIn: Invalid frequency of the calibration signal.", false));
  EXPECT_FALSE(in->WaveIn->Active);
}

// The whole calibration as the window runs it, then a block of the calibration signal at every
// step of both channels through the calibrated chain.
TEST_F(SignalIn, FullCalibrationEvensOutGainsAndOffsets) {
  bool ok = false;
  TSignalOut out(Log.Event(), ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(out.SetDevice(static_cast<int32_t>(OutputOf(ShortedBox))));
  auto in = Make(ShortedBox);
  out.SetOnMixerChange([&](void*) { in->Invalidate(); });
  using TVisit = std::tuple<int32_t, int32_t, int32_t, size_t>;
  std::vector<TVisit> visits;
  in->SetOnBlock([&](const TDataMatrix& block) {
    visits.emplace_back(in->CalibrIn->RefChannel, in->GetAttIndex(0), in->GetAttIndex(1),
                        block[0].size());
  });

  in->StartOffsetRun();
  AwaitStops(1);
  visits.clear();
  for (int32_t c = 0; c < out.ChannelCount(); ++c) out.SetAttenuation(c, 0);
  out.Trapezium(0.0001L, 0.001L);
  const long double frequency =
      static_cast<long double>(out.GetSamplingRate()) / out.GetBufferFrames();
  ASSERT_TRUE(in->StartAmplitudeRun(frequency));
  AwaitStops(2);
  EXPECT_EQ(StopSenders.back(), in.get());

  // Each block holds the whole periods of the signal nearest half a second: 226 periods of 106
  // frames at 48000 Hz.
  ASSERT_EQ(in->GetSamplingRate(), 48000u);
  const size_t period = out.GetBufferFrames();
  const size_t frames = static_cast<size_t>(std::llround(0.5 * 48000 / period)) * period;
  std::vector<TVisit> expected;
  for (int32_t s = 0; s < 5; ++s) expected.emplace_back(0, 0, s, frames);
  for (int32_t s = 1; s < 5; ++s) expected.emplace_back(1, s, 0, frames);
  EXPECT_EQ(visits, expected);
  EXPECT_EQ(in->GetAttIndex(0), 4);
  EXPECT_EQ(in->GetAttIndex(1), 0);
  EXPECT_EQ(in->CalibrIn->RefChannel, 1);
  for (size_t c = 0; c < 2; ++c) {
    for (const auto& step : in->CalibrIn->ChannelCal[c].Steps)
      EXPECT_NEAR(static_cast<double>(step.OffSet), Offsets[c], 1e-4) << c;
  }

  // One block of whole periods per step, both channels at the step.
  long double amplitude[2][5] = {}, mean[2][5] = {};
  int32_t step = 0;
  in->BlockLength = static_cast<uint32_t>(frames);
  in->AddBlockConsumer([&](void*, TDataMatrix& block) {
    for (size_t c = 0; c < 2; ++c) {
      amplitude[c][step] = Amplitude(block[c]);
      mean[c][step] = Mean(block[c]);
    }
    return true;
  });
  for (step = 0; step < 5; ++step) {
    in->SetAttenuation(0, step);
    in->SetAttenuation(1, step);
    in->SetOnStop([this](void* sender) { StopSenders.push_back(sender); });
    in->StartMeasurement();
    AwaitStops(3 + static_cast<size_t>(step));
  }
  out.Stop();
  double worstGain = 0, worstOffset = 0;
  for (size_t c = 0; c < 2; ++c) {
    for (size_t s = 0; s < 5; ++s) {
      const double gain = static_cast<double>(amplitude[c][s] / amplitude[0][0]) - 1;
      EXPECT_NEAR(gain, 0, 1e-3) << "channel " << c << " step " << s;
      EXPECT_NEAR(static_cast<double>(mean[c][s]), 0, 1e-4) << "channel " << c << " step " << s;
      worstGain = std::max(worstGain, std::fabs(gain));
      worstOffset = std::max(worstOffset, std::fabs(static_cast<double>(mean[c][s])));
    }
  }
  std::cout << "calibrated amplitude " << static_cast<double>(amplitude[0][0])
            << ", largest relative deviation " << worstGain << ", largest DC " << worstOffset
            << std::endl;
  EXPECT_EQ(Log.Errors(), 0u);
}

// Blocks captured before a mixer change is noticed never reach the consumers: the capture
// restarts behind a fresh false buffer, which shows as a jump in the position of the blocks in a
// plain recording of the same seeded noise. A change made by the program invalidates at once; a
// change by another program only when its notice is handled, after the blocks whose notices were
// posted before it (in fast mode the card fills every queued buffer at once).
TEST_F(SignalIn, MixerChangesDiscardTheBlocksInFlight) {
  enum class TTrigger { OwnStep, ForeignChange, OutputLevel };
  const TTrigger triggers[] = {TTrigger::OwnStep, TTrigger::ForeignChange, TTrigger::OutputLevel};
  constexpr size_t After = 5; // blocks taken after the invalidation
  for (const TTrigger trigger : triggers) {
    const int which = static_cast<int>(trigger);
    bool ok = false;
    TSignalOut out(Log.Event(), ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(out.SetDevice(static_cast<int32_t>(OutputOf(NoiseBox))));
    auto in = Make(NoiseBox);
    std::vector<TDataMatrix> blocks;
    size_t invalidatedAt = 0; // blocks taken when the capture was first invalidated; 0: not yet
    const TNotifyEvent invalidate = [&](void*) {
      if (invalidatedAt == 0) invalidatedAt = blocks.size();
      in->Invalidate();
    };
    in->MixerIn->OnChange = invalidate;
    out.SetOnMixerChange(invalidate);
    for (auto& channel : in->CalibrIn->ChannelCal) {
      for (auto& s : channel.Steps) s.AttVal = 1; // blocks stay equal to the recording
    }
    // The box restarts its seeded noise when it is opened at another rate.
    RecordPlain(InputOf(NoiseBox), 24000, 100);
    const std::vector<int16_t> plain = RecordPlain(InputOf(NoiseBox), 48000, 200000);
    RecordPlain(InputOf(NoiseBox), 24000, 100);

    in->BlockLength = 2048;
    in->AddBlockConsumer([&](void*, TDataMatrix& block) {
      blocks.push_back(block);
      if (blocks.size() == 3) {
        if (trigger == TTrigger::OwnStep) in->SetAttenuation(1, 1);
        if (trigger == TTrigger::ForeignChange)
          vmbox::ChangeMixerControl(NoiseBox, LineVolumeId(NoiseBox), {1000, 1000});
        if (trigger == TTrigger::OutputLevel) out.SetAttenuation(0, 2);
      }
      return invalidatedAt > 0 && blocks.size() >= invalidatedAt + After;
    });
    StopSenders.clear();
    in->StartMeasurement();
    AwaitStops(1);

    // Where each block starts in the recording.
    std::vector<long> at;
    for (const auto& b : blocks) {
      long found = -1;
      for (size_t s = 0; found < 0 && s + 2048 <= plain.size() / 2; ++s) {
        size_t j = 0;
        while (j < 2048 && b[0][j] == Pcm16ToValue(plain[2 * (s + j)]) &&
               b[1][j] == Pcm16ToValue(plain[2 * (s + j) + 1]))
          ++j;
        if (j == 2048) found = static_cast<long>(s);
      }
      at.push_back(found);
    }
    // A change made by the program itself restarts the capture before the next block.
    if (trigger != TTrigger::ForeignChange) {
      EXPECT_EQ(invalidatedAt, 3u) << which;
    }
    EXPECT_GE(invalidatedAt, 3u) << which;
    ASSERT_EQ(at.size(), invalidatedAt + After) << which;
    int jumps = 0;
    for (size_t k = 0; k < at.size(); ++k) {
      EXPECT_GE(at[k], 0) << which << ": block " << k;
      if (k == 0 || at[k] == at[k - 1] + 2048) continue;
      ++jumps;
      EXPECT_EQ(k, invalidatedAt) << which << ": the first block after the invalidation";
      EXPECT_GE(at[k], at[k - 1] + 2048 + FalseFrames(48000))
          << which << ": a false buffer at least";
    }
    EXPECT_EQ(jumps, 1) << which;
    // The program's level is back on the box after the foreign change.
    EXPECT_EQ(vmbox::MixerValues(NoiseBox, LineVolumeId(NoiseBox)),
              (std::vector<DWORD>{65535, trigger == TTrigger::OwnStep ? 32768u : 65535u}))
        << which;
  }
}

// The amplitude run on a channel without signal at its first step ends at once, keeping the
// table; a run with a single step, or a single channel, ends after its first block.
TEST_F(SignalIn, AmplitudeRunEndsEarlyWhenNothingCanBeCalibrated) {
  struct Case { const char* name; int32_t steps, channels; double level1; size_t blocks; bool message; };
  const Case cases[] = {
      {"channel 1 silent", 5, 2, 0.0, 1, true},
      {"one step", 1, 2, 1.0, 1, false},
      {"one channel", 5, 1, 1.0, 1, false},
  };
  // Without noise a channel at level 0 records a constant: no alternating signal at all.
  TBoxConfig quiet = CalibrationBox();
  quiet.Card.NoiseOn = false;
  vmbox::Reinitialise({NoisyBox("Noise"), quiet}, TSpeed::Fast);
  for (const auto& c : cases) {
    Log.Lines.clear();
    bool ok = false;
    TSignalOut out(Log.Event(), ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(out.SetDevice(static_cast<int32_t>(OutputOf(ShortedBox))));
    auto in = Make(ShortedBox);
    vmbox::SetInputLevel(ShortedBox, 1, c.level1);
    in->CalibrIn->SetStepCount(c.steps);
    in->CalibrIn->SetChannelCount(c.channels);
    const auto before = in->CalibrIn->ChannelCal;
    size_t blocks = 0;
    in->SetOnBlock([&](const TDataMatrix&) { ++blocks; });
    out.Trapezium(0.0001L, 0.001L);
    StopSenders.clear();
    ASSERT_TRUE(in->StartAmplitudeRun(48000.0L / 106));
    AwaitStops(1);
    out.Stop();
    EXPECT_EQ(blocks, c.blocks) << c.name;
    EXPECT_EQ(Log.Has("No signal on amplitude calibration.", false), c.message) << c.name;
    EXPECT_EQ(in->GetStepCount(), c.steps) << c.name;
    if (c.message) {
      for (size_t ch = 0; ch < 2; ++ch)
        for (size_t s = 0; s < 5; ++s)
          EXPECT_EQ(in->CalibrIn->ChannelCal[ch].Steps[s].AttVal, before[ch].Steps[s].AttVal);
    }
    vmbox::SetInputLevel(ShortedBox, 1, 1.0);
  }
}

// Channel 0 falls silent in the second phase: the steps from the silent one upwards leave the
// table, the run ends, and channel 0's recording level follows its step down.
TEST_F(SignalIn, AmplitudeRunShortensTheTableAtASilentStep) {
  TBoxConfig quiet = CalibrationBox();
  quiet.Card.NoiseOn = false;
  vmbox::Reinitialise({NoisyBox("Noise"), quiet}, TSpeed::Fast);
  bool ok = false;
  TSignalOut out(Log.Event(), ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(out.SetDevice(static_cast<int32_t>(OutputOf(ShortedBox))));
  auto in = Make(ShortedBox);
  using TVisit = std::pair<int32_t, int32_t>; // reference channel, step of channel 0
  std::vector<TVisit> visits;
  in->SetOnBlock([&](const TDataMatrix&) {
    visits.emplace_back(in->CalibrIn->RefChannel, in->GetAttIndex(0));
    // The next block, at step 3, finds channel 0 silent.
    if (in->CalibrIn->RefChannel == 1 && in->GetAttIndex(0) == 2)
      vmbox::SetInputLevel(ShortedBox, 0, 0.0);
  });
  out.Trapezium(0.0001L, 0.001L);
  ASSERT_TRUE(in->StartAmplitudeRun(48000.0L / 106));
  AwaitStops(1);
  out.Stop();
  vmbox::SetInputLevel(ShortedBox, 0, 1.0);
  const std::vector<TVisit> expected = {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0},
                                        {1, 1}, {1, 2}, {1, 3}};
  EXPECT_EQ(visits, expected);
  EXPECT_EQ(in->GetStepCount(), 3);
  EXPECT_EQ(in->GetAttIndex(0), 2);
  EXPECT_EQ(vmbox::MixerValues(ShortedBox, LineVolumeId(ShortedBox)).at(0), 16384u);
  EXPECT_FALSE(Log.Has("No signal on amplitude calibration.", false));
}

// Freeing the chain in the middle of a run closes the device without moving the run on and
// without calling the window's handlers.
TEST_F(SignalIn, FreedDuringARun) {
  auto in = Make(ShortedBox);
  size_t blocks = 0;
  in->SetOnBlock([&](const TDataMatrix&) { ++blocks; });
  in->StartOffsetRun();
  ASSERT_TRUE(PumpUntil([&] { return blocks >= 2; }));
  Log.Lines.clear();
  in.reset();
  EXPECT_EQ(OwnLines(Log, ChainTexts),
            InfoLines({"WaveIn destroyed.", "MixerIn destroyed.", "CalibrIn destroyed."}));
  EXPECT_TRUE(StopSenders.empty());
  EXPECT_EQ(Log.Errors(), 0u);
}

} // namespace
} // namespace dravik
