// The waveform-audio API on the virtual card: buffers come back in order with their window
// notices, reset and stop, an endless loop, pause, and positions with their wrap. (Event mode is
// exercised by vmbox_clock_test.)

#include "platform/tests/wave_support.h"

#include <thread>

namespace {

using namespace wavetest;
namespace vmbox = platform::vmbox;

constexpr UINT HeaderSize = sizeof(WAVEHDR);

struct WaveOnCard : testing::Test {
  void SetUp() override { UseQuietCard(); }
  void TearDown() override { vmbox::ClearFaults(); }
};

DWORD Samples(HWAVEIN in, UINT type = TIME_SAMPLES) {
  MMTIME time{type, {}};
  EXPECT_EQ(waveInGetPosition(in, &time, sizeof time), MMSYSERR_NOERROR);
  EXPECT_EQ(time.wType, type);
  return time.u.sample;
}

DWORD Samples(HWAVEOUT out, UINT type = TIME_SAMPLES) {
  MMTIME time{type, {}};
  EXPECT_EQ(waveOutGetPosition(out, &time, sizeof time), MMSYSERR_NOERROR);
  return time.u.sample;
}

bool AllBack(TBuffers& buffers) {
  for (size_t i = 0; i < buffers.Size(); ++i) {
    if (Flags(*buffers[i]) & WHDR_INQUEUE) return false;
  }
  return true;
}

// ---- Notices and order ----

TEST_F(WaveOnCard, WindowNoticesComeOpenFirstBuffersInOrderCloseLast) {
  for (const bool capture : {true, false}) {
    TNoticeLog log;
    TBuffers buffers(4, 480 * 4);
    const WAVEFORMATEX format = Pcm(48000);
    void* handle = nullptr;
    if (capture) {
      HWAVEIN in = nullptr;
      ASSERT_EQ(waveInOpen(&in, InputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
      for (size_t i = 0; i < buffers.Size(); ++i) {
        waveInPrepareHeader(in, buffers[i], HeaderSize);
        waveInAddBuffer(in, buffers[i], HeaderSize);
      }
      EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
      handle = in;
    } else {
      HWAVEOUT out = nullptr;
      ASSERT_EQ(waveOutOpen(&out, OutputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
      for (size_t i = 0; i < buffers.Size(); ++i) {
        waveOutPrepareHeader(out, buffers[i], HeaderSize);
        waveOutWrite(out, buffers[i], HeaderSize);
      }
      handle = out;
    }
    const UINT open = capture ? MM_WIM_OPEN : MM_WOM_OPEN, done = capture ? MM_WIM_DATA : MM_WOM_DONE;
    const UINT close = capture ? MM_WIM_CLOSE : MM_WOM_CLOSE;
    ASSERT_TRUE(PumpUntil([&] { return log.Count(done) == buffers.Size(); }));
    EXPECT_EQ(capture ? waveInClose(static_cast<HWAVEIN>(handle)) : waveOutClose(static_cast<HWAVEOUT>(handle)),
              MMSYSERR_NOERROR);
    PumpUntil([] { return false; }, 50ms); // anything late would arrive now
    ASSERT_EQ(log.Notices.size(), buffers.Size() + 2);
    EXPECT_EQ(log.Notices.front().Message, open);
    EXPECT_EQ(log.Notices.back().Message, close);
    for (size_t i = 0; i < buffers.Size(); ++i) {
      const TNotice& n = log.Notices[i + 1];
      EXPECT_EQ(n.Message, done);
      EXPECT_EQ(n.Device, reinterpret_cast<WPARAM>(handle));
      EXPECT_EQ(n.Header, reinterpret_cast<LPARAM>(buffers[i])) << "buffer " << i;
      EXPECT_EQ(Flags(*buffers[i]), WHDR_DONE | WHDR_PREPARED);
      if (capture) {
        EXPECT_EQ(buffers[i]->dwBytesRecorded, buffers[i]->dwBufferLength);
      }
    }
  }
}

// ---- Reset, stop, loops, positions ----

TEST_F(WaveOnCard, ResetReturnsEveryBufferAtOnceAndStopOnlyThePartlyFilledOne) {
  UseQuietCard(TSpeed::RealTime);
  TNoticeLog log;
  const WAVEFORMATEX format = Pcm(48000);
  HWAVEIN in = nullptr;
  ASSERT_EQ(waveInOpen(&in, InputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  TBuffers buffers(4, 48000 * 4);
  buffers[0]->dwBufferLength = 480 * 4;
  for (size_t i = 0; i < buffers.Size(); ++i) {
    waveInPrepareHeader(in, buffers[i], HeaderSize);
    waveInAddBuffer(in, buffers[i], HeaderSize);
  }
  waveInStart(in);
  ASSERT_TRUE(PumpUntil([&] { return log.Count(MM_WIM_DATA) == 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
  const DWORD stopped = Samples(in);
  EXPECT_EQ(buffers[1]->dwBytesRecorded + 480 * 4, stopped * 4); // every frame went somewhere
  EXPECT_EQ(Flags(*buffers[1]), WHDR_DONE | WHDR_PREPARED);
  EXPECT_TRUE(Flags(*buffers[2]) & WHDR_INQUEUE);
  waveInStart(in);
  ASSERT_TRUE(PumpUntil([&] { return Samples(in) > stopped; }, 2s));
  EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
  EXPECT_TRUE(AllBack(buffers)); // back when the call returns
  const DWORD reset = Samples(in);
  EXPECT_EQ(buffers[2]->dwBytesRecorded, (reset - stopped) * 4);
  EXPECT_EQ(buffers[3]->dwBytesRecorded, 0u);
  ASSERT_TRUE(PumpUntil([&] { return log.Count(MM_WIM_DATA) == 4; }));
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(log.Notices[i + 1].Header, reinterpret_cast<LPARAM>(buffers[i]));
  PumpUntil([] { return false; }, 20ms);
  EXPECT_EQ(Samples(in), reset); // a reset device records nothing more
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(WaveOnCard, PlaybackHonoursLoopsUntilTheirLastPassOrAReset) {
  const DWORD B = WHDR_BEGINLOOP, E = WHDR_ENDLOOP, Endless = 0xFFFFFFFFu;
  struct Case { const char* name; DWORD flags0, flags1, loops; DWORD frames; };
  const Case cases[] = {
      {"plain pair", 0, 0, 0, 2000},
      {"zero loops play once", B | E, 0, 0, 2000},
      {"first header three times", B | E, 0, 3, 4000},
      {"pair twice", B, E, 2, 4000},
      {"end without a begin", E, 0, 5, 2000},
      {"endless pair", B, E, Endless, 0},
  };
  for (const auto& c : cases) {
    TNoticeLog log;
    const WAVEFORMATEX format = Pcm(48000);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, OutputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    TBuffers buffers(2, 1000 * 4);
    waveOutPause(out); // both queued before the first plays
    for (size_t i = 0; i < 2; ++i) {
      buffers[i]->dwFlags = i ? c.flags1 : c.flags0;
      buffers[i]->dwLoops = c.loops;
      waveOutPrepareHeader(out, buffers[i], HeaderSize);
      waveOutWrite(out, buffers[i], HeaderSize);
    }
    waveOutRestart(out);
    if (c.frames) {
      ASSERT_TRUE(PumpUntil([&] { return log.Count(MM_WOM_DONE) == 2; })) << c.name;
      EXPECT_EQ(Samples(out), c.frames) << c.name;
    } else {
      ASSERT_TRUE(PumpUntil([&] { return Samples(out) > 100000; })) << c.name;
      EXPECT_EQ(log.Count(MM_WOM_DONE), 0u) << c.name;
      EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
      EXPECT_TRUE(AllBack(buffers)) << c.name;
    }
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR) << c.name;
  }
}

TEST_F(WaveOnCard, PositionsWrapAtTwoToThe32) {
  vmbox::SetPositionStart(0xFFFFFFFFu - 99);
  TNoticeLog log;
  const WAVEFORMATEX format = Pcm(48000);
  HWAVEIN in = nullptr;
  ASSERT_EQ(waveInOpen(&in, InputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  EXPECT_EQ(Samples(in), 0xFFFFFFFFu - 99);
  TBuffers buffers(1, 1000 * 4);
  waveInPrepareHeader(in, buffers[0], HeaderSize);
  waveInAddBuffer(in, buffers[0], HeaderSize);
  waveInStart(in);
  ASSERT_TRUE(PumpUntil([&] { return log.Count(MM_WIM_DATA) == 1; }));
  EXPECT_EQ(Samples(in), 900u); // a starved fast card holds exactly at the buffer's end
  EXPECT_EQ(Samples(in, TIME_BYTES), 3600u);
  EXPECT_EQ(Samples(in, TIME_MS), static_cast<DWORD>((0xFFFFFFFFull + 901) * 1000 / 48000));
  MMTIME smpte{TIME_SMPTE, {}};
  EXPECT_EQ(waveInGetPosition(in, &smpte, sizeof smpte), MMSYSERR_NOERROR);
  EXPECT_EQ(smpte.wType, TIME_SAMPLES); // answered in a form the device can give
  waveInReset(in);
  waveInUnprepareHeader(in, buffers[0], HeaderSize);
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

} // namespace
