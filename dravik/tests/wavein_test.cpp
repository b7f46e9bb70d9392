// The capture device on the virtual card: format negotiation, the false buffer and the block
// stream compared frame by frame with a plain recording, level callbacks, stops, restarts, lost
// samples, a vanished device and failures inside the open notice.

#include "dravik/audio/uPcmCodes.h"
#include "dravik/audio/uWaveIn.h"
#include "dravik/tests/audio_support.h"

#include <array>
#include <map>

namespace dravik {
namespace {

using namespace audiotest;
namespace vmbox = platform::vmbox;

struct WaveIn : testing::Test {
  void SetUp() override {
    TBoxConfig levels = QuietBox("Levels", {}); // channel 0 clipped at full scale, channel 1 silent
    levels.Card.Matched = false;
    levels.Card.DcOffset[0] = 1.0;
    vmbox::Reinitialise({NoisyBox("Noise"), levels}, TSpeed::Fast);
    ASSERT_EQ(vmbox::BoxCount(), 2u);
  }
  void TearDown() override { vmbox::ClearFaults(); }

  std::unique_ptr<TWaveIn> Make(size_t box = 0) {
    bool ok = false;
    auto in = std::make_unique<TWaveIn>(nullptr, Log.Event(), ok);
    in->SelectDevice(static_cast<int32_t>(InputOf(box)));
    return in;
  }

  // Opens a run that keeps copies of the blocks until `count` have come, then asks to stop;
  // `during` runs inside the consumer before a block is kept.
  void Run(TWaveIn& in, size_t count, const std::function<void(size_t)>& during = {}) {
    in.OnData = [&, count, during](TDataMatrix& block) {
      if (during) during(Blocks.size());
      Blocks.push_back(block);
      return Blocks.size() >= count;
    };
    in.OnStop = [&](void*) { ++Stops; };
    in.Open();
    ASSERT_TRUE(PumpUntil([&] { return Stops > 0; }));
  }

  // A plain recording of box 0 from a fresh start. The box restarts its simulation whenever it
  // is opened at another rate, so a short recording at half the rate around it makes the
  // recording and the next run of the device under test hear the same seeded noise.
  static std::vector<int16_t> Plain(DWORD rate, size_t frames) {
    RecordPlain(InputOf(0), rate / 2, 100);
    std::vector<int16_t> plain = RecordPlain(InputOf(0), rate, frames);
    RecordPlain(InputOf(0), rate / 2, 100);
    return plain;
  }

  // Where each kept block starts exactly in the plain recording (-1: nowhere, as for a block
  // that spans a gap). Left is channel 0; values are codes / 32767.5.
  std::vector<long> Offsets(const std::vector<int16_t>& plain) const {
    std::vector<long> offsets;
    for (const auto& b : Blocks) {
      long at = -1;
      for (size_t s = 0; at < 0 && s + b[0].size() <= plain.size() / 2; ++s) {
        size_t j = 0;
        while (j < b[0].size() && b[0][j] == Pcm16ToValue(plain[2 * (s + j)]) &&
               b[1][j] == Pcm16ToValue(plain[2 * (s + j) + 1])) {
          ++j;
        }
        if (j == b[0].size()) at = static_cast<long>(s);
      }
      offsets.push_back(at);
    }
    return offsets;
  }

  TLogLines Log;
  std::vector<TDataMatrix> Blocks;
  int Stops = 0;
};

TEST(WaveInPosition, ComparisonWrapsAroundTwoToThe32) {
  struct Case { uint32_t p, e; bool ahead; };
  const Case cases[] = {
      {5, 0xFFFFFFF6u, true},  {0xFFFFFFF6u, 5, false}, {101, 100, true},        {100, 100, false},
      {99, 100, false},        {0x7FFFFFFFu, 0, true},   {0x80000000u, 0, true}, {0, 0x80000000u, false},
  };
  for (const auto& c : cases) EXPECT_EQ(PositionIsAhead(c.p, c.e), c.ahead) << c.p << " vs " << c.e;
}

TEST_F(WaveIn, NegotiatesTheHighestUsefulRateOrReportsWhyNot) {
  struct Case { uint32_t maxRate; DWORD rate; DWORD flags; };
  const Case cases[] = {
      {44100, 44100, CALLBACK_WINDOW},
      {48000, 48000, CALLBACK_WINDOW | WAVE_FORMAT_DIRECT},
      {96000, 96000, CALLBACK_WINDOW | WAVE_FORMAT_DIRECT},
      {192000, 48000, CALLBACK_WINDOW | WAVE_FORMAT_DIRECT},
  };
  bool ok = false;
  for (const auto& c : cases) {
    vmbox::SetMaxSampleRate(c.maxRate);
    Log.Lines.clear();
    TWaveIn in(nullptr, Log.Event(), ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(in.OpenFlags, c.flags) << c.maxRate;
    const std::string set = "WaveIn: \"Noise\": Set format: Channels=2, Sampling=" + std::to_string(c.rate);
    const decltype(Log.Lines) expected = {{"WaveIn: Creating ...", true}, {set + ", Bits=16.", true}};
    EXPECT_EQ(Log.Lines, expected) << c.maxRate;
  }
  vmbox::FailNextOpen(TPort::Input, WAVERR_BADFORMAT);
  { TWaveIn in(nullptr, Log.Event(), ok); }
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Log.Has(platform::WithAdvice(
      "WaveIn: \"Noise\": Invalid wave format: Channels=2, Sampling=44100, Bits=16.", WAVERR_BADFORMAT),
      false));
  vmbox::SetMaxSampleRate(8000); // below every standard rate: no device offers a format
  TWaveIn none(nullptr, Log.Event(), ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Log.Has("WaveIn: Devices not found.", false));
  none.Open(); // no device: nothing happens
  EXPECT_FALSE(none.Active);
}

TEST_F(WaveIn, DiscardsTheFalseBufferAndHandsOnContiguousBlocksUntilTheConsumerStops) {
  constexpr unsigned Rate = 44100, Block = 1024; // the default block length
  vmbox::SetMaxSampleRate(Rate);
  const std::vector<int16_t> plain = Plain(Rate, 12000);
  auto in = Make();
  Run(*in, 4);
  EXPECT_EQ(in->BufferCount, CaptureBufferCount(Rate, Block)); // 45
  EXPECT_EQ(in->Headers.at(0).dwBufferLength, Block * StereoPcm16Bytes); // 4096 bytes
  const long f = FalseFrames(Rate); // 4510 frames, 18040 bytes
  EXPECT_EQ(in->FalseHeader.dwBufferLength, f * StereoPcm16Bytes);
  EXPECT_EQ(Offsets(plain), (std::vector<long>{f, f + Block, f + 2 * Block, f + 3 * Block}));
  EXPECT_EQ(Stops, 1);
  EXPECT_EQ(Log.Lines.back(), std::make_pair(std::string("WaveIn: Stop."), true));
  EXPECT_EQ(Log.Errors(), 0u);
  EXPECT_FALSE(in->Active);
  EXPECT_EQ(in->QueuedCount, 0);
}

// Every callback is called; any one that asks drops the block.
TEST_F(WaveIn, LevelCallbacksFireAndAnyAnswerDrops) {
  struct Case { size_t box; uint32_t bits; bool overload, low; std::string calls; bool delivered; };
  const Case cases[] = {
      {1, 16, true, false, "O0 L1 ", false}, {1, 16, false, true, "O0 L1 ", false},
      {1, 8, true, false, "O0 L1 ", false},  {1, 8, true, true, "O0 L1 ", false},
      {1, 16, false, false, "O0 L1 ", true},
      {0, 16, true, false, "L0 L1 ", true},  {0, 16, false, true, "L0 L1 ", false},
  };
  for (const auto& c : cases) {
    auto in = Make(c.box);
    in->SetBits(c.bits);
    std::string calls;
    int delivered = 0;
    in->OnOverload = [&](int32_t ch) { calls += "O" + std::to_string(ch) + " "; return c.overload; };
    in->OnLowLevel = [&](int32_t ch) { calls += "L" + std::to_string(ch) + " "; return c.low; };
    in->OnData = [&](TDataMatrix&) { return ++delivered == 3; };
    in->Open();
    ASSERT_TRUE(PumpUntil([&] { return calls.size() >= 3 * c.calls.size(); }));
    in->Close();
    ASSERT_TRUE(PumpUntil([&] { return !in->Active; }));
    EXPECT_EQ(calls.substr(0, 3 * c.calls.size()), c.calls + c.calls + c.calls) << c.box << c.bits;
    EXPECT_EQ(delivered > 0, c.delivered) << c.box << " " << c.bits << " " << c.overload << c.low;
  }
}

// The level rule per channel, just either side of each threshold: a peak above 0.99 of full scale
// calls the overload callback, one below 0.45 the low-level callback, anything between neither.
// Each box records a constant level per input (its converter's offset on a silent, DC-coupled
// input), so the peak of every block is that level to within one 16-bit code.
TEST_F(WaveIn, LevelThresholdsApplyToEachChannelOnItsOwn) {
  struct Case { double peak0, peak1; std::string calls; };
  const Case cases[] = {
      {0.989, 0.7, ""},   {0.991, 0.7, "O0 "},    {0.7, 0.989, ""},   {0.7, 0.991, "O1 "},
      {0.451, 0.7, ""},   {0.449, 0.7, "L0 "},    {0.7, 0.451, ""},   {0.7, 0.449, "L1 "},
      {-0.991, -0.449, "O0 L1 "}, {-0.989, -0.451, ""}, // the peak is the largest magnitude
  };
  std::vector<TBoxConfig> boxes;
  for (const auto& c : cases) {
    TBoxConfig box = QuietBox("Level " + std::to_string(boxes.size()), {});
    box.Card.Matched = false; // a matched card has no offsets
    box.Card.DcOffset[0] = c.peak0;
    box.Card.DcOffset[1] = c.peak1;
    boxes.push_back(box);
  }
  vmbox::Reinitialise(boxes, TSpeed::Fast);
  for (size_t b = 0; b < boxes.size(); ++b) {
    const Case& c = cases[b];
    SCOPED_TRACE(testing::Message() << c.peak0 << " " << c.peak1);
    auto in = Make(b);
    std::string calls;
    std::vector<std::string> perBlock;
    in->OnOverload = [&](int32_t ch) { calls += "O" + std::to_string(ch) + " "; return false; };
    in->OnLowLevel = [&](int32_t ch) { calls += "L" + std::to_string(ch) + " "; return false; };
    in->OnData = [&](TDataMatrix&) {
      perBlock.push_back(calls);
      calls.clear();
      return perBlock.size() == 3;
    };
    in->OnStop = [&](void*) { ++Stops; };
    Stops = 0;
    in->Open();
    ASSERT_TRUE(PumpUntil([&] { return Stops > 0; }));
    EXPECT_EQ(perBlock, std::vector<std::string>(3, c.calls));
  }
}

// A callback that moves a level (the mixer's notice invalidates the capture at once) but answers
// false still has the block dropped: it was captured at the old level.
TEST_F(WaveIn, ALevelChangeInsideTheCallbacksDropsTheBlock) {
  auto in = Make(1);
  int calls = 0, delivered = 0;
  in->OnOverload = [&](int32_t) {
    ++calls;
    in->Invalidate();
    return false;
  };
  in->OnData = [&](TDataMatrix&) { return ++delivered == 3; };
  in->Open();
  ASSERT_TRUE(PumpUntil([&] { return calls >= 3; }));
  in->Close();
  ASSERT_TRUE(PumpUntil([&] { return !in->Active; }));
  EXPECT_EQ(delivered, 0);
}

TEST_F(WaveIn, InvalidateRestartsBehindAFreshFalseBuffer) {
  const std::vector<int16_t> plain = Plain(48000, 80000);
  auto in = Make();
  in->SetBlockSize(2048);
  in->Invalidate(); // idle: nothing happens
  EXPECT_FALSE(in->Resync());
  long resetAt = 0;
  Run(*in, 5, [&](size_t k) {
    if (k != 2) return;
    in->Invalidate();
    MMTIME time{TIME_SAMPLES, {}};
    waveInGetPosition(in->Handle, &time, sizeof time);
    resetAt = time.u.sample;
  });
  // The box runs on while the device stands reset, so the restart may begin a few card steps
  // (192 frames each) after the point where the reset stopped; never less than a false buffer.
  const long f = FalseFrames(48000);
  const std::vector<long> at = Offsets(plain);
  ASSERT_EQ(at.size(), 5u);
  EXPECT_EQ(std::vector<long>(at.begin(), at.begin() + 3), (std::vector<long>{f, f + 2048, f + 4096}));
  EXPECT_GE(at[3], resetAt + f);
  EXPECT_LE(at[3], resetAt + f + 4 * 192);
  EXPECT_EQ(at[4], at[3] + 2048);
  EXPECT_EQ(Log.Errors(), 0u);
}

TEST_F(WaveIn, LostSamplesRestartTheRunWithNoBlockAcrossTheGap) {
  const std::vector<int16_t> plain = Plain(48000, 300000);
  auto in = Make();
  in->SetBlockSize(2048);
  // The buffers queued when the loss happens are filled behind the gap and never reach the
  // consumer: the next block comes after a false buffer, more than the loss further on.
  Run(*in, 40, [&](size_t k) { if (k == 2) vmbox::LoseSamples(0, 3 * 48000); });
  const std::vector<long> at = Offsets(plain);
  ASSERT_EQ(at.size(), 40u);
  int jumps = 0;
  for (size_t k = 0; k < at.size(); ++k) {
    EXPECT_GE(at[k], 0) << "block " << k << " is not one piece of the recording";
    if (k > 0 && at[k] != at[k - 1] + 2048) {
      ++jumps;
      EXPECT_GE(at[k] - at[k - 1], 3 * 48000 + FalseFrames(48000));
    }
  }
  EXPECT_EQ(jumps, 1);
  EXPECT_EQ(Log.Errors(), 0u);
}

TEST_F(WaveIn, RunsAcrossThePositionWrapWithoutRestarting) {
  const std::vector<int16_t> plain = Plain(48000, 70000);
  vmbox::SetPositionStart(0xFFFFFFFFu - 30000);
  auto in = Make();
  in->SetBlockSize(2048);
  Run(*in, 30);
  const std::vector<long> at = Offsets(plain);
  for (size_t k = 0; k < at.size(); ++k) {
    EXPECT_EQ(at[k], FalseFrames(48000) + static_cast<long>(2048 * k)) << k;
  }
}

TEST_F(WaveIn, FailuresInTheOpenNoticeReleaseTheDevice) {
  struct Case { const char* call; MMRESULT code; std::string line; };
  const Case cases[] = {
      {"waveInPrepareHeader", MMSYSERR_NOMEM, "WaveIn: Prepare false header: "},
      {"waveInAddBuffer", MMSYSERR_NOMEM, "WaveIn: Add false buffer: "},
      {"waveInStart", MMSYSERR_ERROR, "WaveIn: Start: "},
  };
  auto in = Make();
  for (const auto& c : cases) {
    Log.Lines.clear();
    Stops = 0;
    vmbox::FailCall(c.call, c.code);
    Run(*in, 1);
    EXPECT_TRUE(Log.Has(platform::WithAdvice(c.line + WaveInText(c.code), c.code), false)) << c.call;
    EXPECT_EQ(Log.Lines.back(), std::make_pair(std::string("WaveIn: Stop."), true)) << c.call;
    Blocks.clear();
    Stops = 0;
    Run(*in, 2); // the device was given back: the next run works
    EXPECT_EQ(Blocks.size(), 2u) << c.call;
  }
  vmbox::FailNextOpen(TPort::Input, MMSYSERR_ALLOCATED);
  in->Open();
  // The driver's text, then what it means and what to try.
  EXPECT_EQ(Log.Lines.back(),
            std::make_pair(std::string("WaveIn: Open: The device is already open; close it before "
                                       "opening it again. Another program is using the device: "
                                       "close that program or choose another device."),
                           false));
  EXPECT_FALSE(in->Active);
}

TEST_F(WaveIn, AVanishedDeviceEndsTheRunWithLogLines) {
  auto in = Make();
  Run(*in, 100, [&](size_t k) { if (k == 2) vmbox::Vanish(0, TPort::Input); });
  EXPECT_EQ(Blocks.size(), 3u);
  EXPECT_TRUE(Log.Has(
      platform::WithAdvice("WaveIn: Add false buffer: " + WaveInText(MMSYSERR_NODRIVER), MMSYSERR_NODRIVER),
      false));
  EXPECT_EQ(Log.Lines.back(), std::make_pair(std::string("WaveIn: Stop."), true));
  EXPECT_FALSE(in->Active);
}

// The fields as the header's table gives them for each state: Active, DeviceOpen, Probing,
// Resync, Stopping.
const std::map<TCaptureState, std::array<bool, 5>> FieldsOf = {
    {TCaptureState::Idle, {false, false, false, false, false}},
    {TCaptureState::ProbeOpening, {false, true, true, false, false}},
    {TCaptureState::ProbeClosing, {false, false, true, false, false}},
    {TCaptureState::Opening, {false, true, false, false, false}},
    {TCaptureState::Running, {true, true, false, false, false}},
    {TCaptureState::Resynchronising, {true, true, false, true, false}},
    {TCaptureState::Stopping, {true, true, false, false, true}},
    {TCaptureState::Closing, {true, false, false, false, false}},
};

// Every state a device passes through on the way of each case, and at each change the fields it
// shows agree with that state's row.
TEST_F(WaveIn, EachStepOfItsLifeShowsItsStateAndTheFieldsThatGoWithIt) {
  using S = TCaptureState;
  vmbox::SetMaxSampleRate(44100); // one test open per format negotiation
  struct Case { const char* what; std::function<void(std::unique_ptr<TWaveIn>&)> act; std::vector<S> path; };
  const Case cases[] = {
      {"format negotiation", [](auto& in) { in->SelectDevice(static_cast<int32_t>(InputOf(0))); },
       {S::ProbeOpening, S::ProbeClosing, S::Idle}},
      {"a test open whose close fails, then destruction",
       [](auto& in) {
         vmbox::FailCall("waveInClose", MMSYSERR_ERROR);
         in->SelectDevice(static_cast<int32_t>(InputOf(0)));
         in.reset();
       },
       {S::ProbeOpening, S::Opening, S::Idle}},
      {"a run the consumer stops", [this](auto& in) { Run(*in, 2); },
       {S::Opening, S::Running, S::Stopping, S::Running, S::Closing, S::Idle}},
      {"a restart by Invalidate", [this](auto& in) { Run(*in, 4, [&](size_t k) { if (k == 1) in->Invalidate(); }); },
       {S::Opening, S::Running, S::Resynchronising, S::Running, S::Stopping, S::Running, S::Closing, S::Idle}},
      // The card fills the 45 queued buffers ahead, so the loss shows only in the blocks after them.
      {"a restart after lost samples",
       [this](auto& in) { Run(*in, 100, [](size_t k) { if (k == 1) vmbox::LoseSamples(0, 3 * 44100); }); },
       {S::Opening, S::Running, S::Resynchronising, S::Running, S::Stopping, S::Running, S::Closing, S::Idle}},
      {"a run whose buffers cannot be prepared",
       [this](auto& in) {
         vmbox::FailCall("waveInPrepareHeader", MMSYSERR_NOMEM);
         Run(*in, 1);
       },
       {S::Opening, S::Running, S::Closing, S::Idle}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Blocks.clear();
    Stops = 0;
    auto in = Make();
    std::vector<S> path;
    in->OnStateChange = [&](void* sender) {
      const auto& device = *static_cast<TWaveIn*>(sender);
      path.push_back(device.State());
      const std::array<bool, 5> shown = {device.Active, device.DeviceOpen(), device.Probing(),
                                         device.Resync(), device.Stopping()};
      EXPECT_EQ(shown, FieldsOf.at(device.State())) << CaptureStateName(device.State());
      EXPECT_EQ(device.Idle(), !shown[0] && !shown[1]) << CaptureStateName(device.State());
    };
    c.act(in);
    std::vector<std::string> names, expected;
    for (const S s : path) names.emplace_back(CaptureStateName(s));
    for (const S s : c.path) expected.emplace_back(CaptureStateName(s));
    EXPECT_EQ(names, expected);
    if (in) in->OnStateChange = {};
  }
}

// Destruction gives the device back even when a close stops half way, and a test open whose
// close fails does not wait for a close notice that never comes.
TEST_F(WaveIn, DestructionAndProbesNeverKeepTheDevice) {
  struct Case { const char* failedCall; bool running; DWORD rate; };
  const Case cases[] = {
      {nullptr, true, 48000}, {"waveInUnprepareHeader", true, 48000}, {"waveInClose", false, 44100}};
  for (const auto& c : cases) {
    Log.Lines.clear();
    if (!c.running) vmbox::FailCall(c.failedCall, MMSYSERR_ERROR);
    auto in = Make();
    EXPECT_EQ(in->SampleRate(), c.rate) << "a held device cannot be probed at higher rates";
    if (c.running) {
      in->OnData = [](TDataMatrix&) { return false; };
      in->Open();
      ASSERT_TRUE(PumpUntil([&] { return in->QueuedCount > 0; }));
      if (c.failedCall) vmbox::FailCall(c.failedCall, MMSYSERR_ERROR);
    }
    in.reset();
    EXPECT_EQ(Log.Errors(), c.failedCall ? 1u : 0u);
    HWAVEIN again = nullptr;
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    EXPECT_EQ(waveInOpen(&again, InputOf(0), &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    waveInClose(again);
  }
}

} // namespace
} // namespace dravik
