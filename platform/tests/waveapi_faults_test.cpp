// Faults injected into the virtual card, each seen through the waveform-audio API as a program
// would see it.

#include "platform/tests/wave_support.h"

namespace {

using namespace wavetest;
namespace vmbox = platform::vmbox;

constexpr UINT HeaderSize = sizeof(WAVEHDR);

struct WaveFaults : testing::Test {
  void SetUp() override { UseQuietCard(); }
  void TearDown() override { vmbox::ClearFaults(); }

  // Opens box 0's input in window mode with `count` buffers of `frames` frames queued.
  void OpenInput(size_t count, size_t frames) {
    Buffers = std::make_unique<TBuffers>(count, frames * 4);
    ASSERT_EQ(waveInOpen(&In, InputOf(0), &Format, WindowOf(Log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    for (size_t i = 0; i < count; ++i) {
      ASSERT_EQ(waveInPrepareHeader(In, (*Buffers)[i], HeaderSize), MMSYSERR_NOERROR);
      ASSERT_EQ(waveInAddBuffer(In, (*Buffers)[i], HeaderSize), MMSYSERR_NOERROR);
    }
  }
  DWORD Position() {
    MMTIME time{TIME_SAMPLES, {}};
    EXPECT_EQ(waveInGetPosition(In, &time, sizeof time), MMSYSERR_NOERROR);
    return time.u.sample;
  }
  void CloseInput() {
    waveInReset(In);
    for (size_t i = 0; i < Buffers->Size(); ++i) waveInUnprepareHeader(In, (*Buffers)[i], HeaderSize);
    EXPECT_EQ(waveInClose(In), MMSYSERR_NOERROR);
  }

  const WAVEFORMATEX Format = Pcm(48000);
  TNoticeLog Log;
  HWAVEIN In = nullptr;
  std::unique_ptr<TBuffers> Buffers;
};

TEST_F(WaveFaults, ForcedResultsHitTheNamedCallsOnlyAndOnlyAsOftenAsAsked) {
  OpenInput(1, 480);
  TBuffers spare(1, 480 * 4);
  vmbox::FailCall("waveInAddBuffer", MMSYSERR_NOMEM, 2);
  vmbox::FailCall("waveInStart", MMSYSERR_ERROR);
  vmbox::FailNextOpen(TPort::Output, MMSYSERR_ALLOCATED);
  waveInPrepareHeader(In, spare[0], HeaderSize);
  HWAVEOUT out = nullptr;
  struct Case { const char* name; MMRESULT result, expected; };
  const Case cases[] = {
      {"first forced add", waveInAddBuffer(In, spare[0], HeaderSize), MMSYSERR_NOMEM},
      {"capture open is not touched", waveInOpen(nullptr, InputOf(1), &Format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR},
      {"second forced add", waveInAddBuffer(In, spare[0], HeaderSize), MMSYSERR_NOMEM},
      {"third add works", waveInAddBuffer(In, spare[0], HeaderSize), MMSYSERR_NOERROR},
      {"forced start", waveInStart(In), MMSYSERR_ERROR},
      {"forced open", waveOutOpen(&out, OutputOf(0), &Format, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED},
      {"next open works", waveOutOpen(&out, OutputOf(0), &Format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR},
      {"close", waveOutClose(out), MMSYSERR_NOERROR},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
  EXPECT_EQ(Position(), 0u); // the forced start did not start
  waveInReset(In);
  waveInUnprepareHeader(In, spare[0], HeaderSize);
  CloseInput();
}

TEST_F(WaveFaults, LostSamplesAdvanceThePositionButNotTheBuffers) {
  vmbox::LoseSamples(0, 500);
  OpenInput(1, 1000);
  waveInStart(In);
  ASSERT_TRUE(PumpUntil([&] { return Log.Count(MM_WIM_DATA) == 1; }));
  EXPECT_EQ(Position(), 1500u);
  EXPECT_EQ((*Buffers)[0]->dwBytesRecorded, 4000u);
  CloseInput();
}

TEST_F(WaveFaults, VanishedDeviceReturnsItsBuffersAndAnswersNoDriver) {
  OpenInput(3, 48000 * 10);
  waveInStart(In);
  vmbox::Vanish(0, TPort::Input);
  ASSERT_TRUE(PumpUntil([&] { return Log.Count(MM_WIM_DATA) == 3; }));
  MMTIME time{TIME_SAMPLES, {}};
  WAVEINCAPSA caps{};
  HWAVEIN again = nullptr;
  struct Case { const char* name; MMRESULT result, expected; };
  const Case cases[] = {
      {"add", waveInAddBuffer(In, (*Buffers)[0], HeaderSize), MMSYSERR_NODRIVER},
      {"start", waveInStart(In), MMSYSERR_NODRIVER},
      {"position", waveInGetPosition(In, &time, sizeof time), MMSYSERR_NODRIVER},
      {"capabilities", waveInGetDevCapsA(InputOf(0), &caps, sizeof caps), MMSYSERR_NODRIVER},
      {"other box still there", waveInGetDevCapsA(InputOf(1), &caps, sizeof caps), MMSYSERR_NOERROR},
      {"unprepare", waveInUnprepareHeader(In, (*Buffers)[0], HeaderSize), MMSYSERR_NOERROR},
      {"close", waveInClose(In), MMSYSERR_NOERROR},
      {"open", waveInOpen(&again, InputOf(0), &Format, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
  ASSERT_TRUE(PumpUntil([&] { return Log.Count(MM_WIM_CLOSE) == 1; }));
  EXPECT_EQ(waveInGetNumDevs(), vmbox::BoxCount()); // numbers of the others stay put
  vmbox::ClearFaults();
  ASSERT_EQ(waveInOpen(&again, InputOf(0), &Format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(again), MMSYSERR_NOERROR);
}

TEST_F(WaveFaults, LateBuffersComeBackAfterTheirDelayOfCardTime) {
  vmbox::SetReturnDelay(0, TPort::Input, 50);
  OpenInput(2, 480); // 10 ms each
  std::vector<double> returnedAt;
  Log.OnNotice = [&](const TNotice& n) {
    if (n.Message == MM_WIM_DATA) returnedAt.push_back(vmbox::AudioSeconds());
  };
  waveInStart(In);
  ASSERT_TRUE(PumpUntil([&] { return returnedAt.size() == 2; }));
  EXPECT_GE(returnedAt[0], 0.060);
  EXPECT_GE(returnedAt[1], 0.070);
  EXPECT_GT(Position(), 960u); // the card ran on past the queued buffers: samples were lost
  CloseInput();
}

} // namespace
