// Capture on the virtual card in fast mode: blocks per device buffer with the discarded start
// frames, the three buffers skipped on resuming, and blocks that follow without a seam.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/kernel.h"
#include "sorvane/tests/engine_support.h"

namespace sorvane {
namespace {

using namespace enginetest;

// Counts the blocks that each device buffer completes and keeps every block.
class TCountingWaveIn : public TWaveIn {
public:
  explicit TCountingWaveIn(DWORD rate = 48000, int n = 2048) {
    SetDeviceID(InputOf(0));
    SetSampleRate(rate);
    SetBlockLength(n);
    OnData = [this](const TWaveData& block) { Blocks.push_back(block); };
  }
  ~TCountingWaveIn() override { Shutdown(); }
  void Run(const std::function<bool()>& until) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil(until));
    Stop();
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  }
  std::vector<int> PerBuffer;    // read once the device is idle
  std::vector<TWaveData> Blocks; // likewise
  std::atomic<int> Buffers{0};

protected:
  void ProcessBuffer(WAVEHDR& header) override {
    const size_t before = Blocks.size();
    TWaveIn::ProcessBuffer(header);
    PerBuffer.push_back(static_cast<int>(Blocks.size() - before));
    ++Buffers;
  }
};

struct CaptureOnCard : testing::Test {
  void SetUp() override { UseFastCard(); }
};

TEST_F(CaptureOnCard, BlocksPerBufferFollowTheDiscardedStartFrames) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  if (info.dwPageSize != 4096) GTEST_SKIP() << "buffer sizes assume 4096-byte pages";
  struct TCase {
    DWORD Rate;
    int N;
    std::vector<int> PerBuffer;
  };
  // 4096-frame buffers at 48000 Hz, 9216 at 96000 Hz; 73 and 121 frames discarded.
  for (const TCase& c : {TCase{48000, 2048, {1, 2, 2, 2, 2, 2}}, {48000, 4023, {1, 1, 1, 1, 1, 1}},
                         {48000, 4024, {0, 2, 1, 1, 1, 1}}, {96000, 4096, {2, 2, 2, 2, 3, 2}}}) {
    SCOPED_TRACE(testing::Message() << c.Rate << " Hz, N = " << c.N);
    TCountingWaveIn in(c.Rate, c.N);
    EXPECT_EQ(in.BlockLength(), c.N);
    in.Run([&] { return in.Buffers >= 6; });
    in.PerBuffer.resize(6);
    EXPECT_EQ(in.PerBuffer, c.PerBuffer);
  }
}

TEST_F(CaptureOnCard, StartWhileRunningChangesNothing) {
  TCountingWaveIn in;
  bool again = false;
  in.Run([&] {
    if (!again && in.Buffers >= 3) {
      again = true;
      EXPECT_TRUE(in.Start()) << "a running device counts as started";
    }
    return in.Buffers >= 8;
  });
  // No second open and no new discarded start frames: every buffer after the first ends blocks.
  in.PerBuffer.resize(8);
  EXPECT_EQ(in.PerBuffer, (std::vector<int>{1, 2, 2, 2, 2, 2, 2, 2}));
}

TEST_F(CaptureOnCard, ResumeSkipsThreeBuffersThenStartsABlockAtABufferBoundary) {
  TCountingWaveIn in;
  int paused = 0, resumed = 0;
  in.Run([&] {
    if (!paused && in.Buffers >= 3) {
      in.EnableCollection(false);
      paused = in.Buffers;
    } else if (paused && !resumed && in.Buffers >= paused + 3) {
      in.EnableCollection(true);
      resumed = in.Buffers;
    }
    return resumed && in.Buffers >= resumed + 20;
  });
  for (int i = paused + 2; i < resumed; ++i) EXPECT_EQ(in.PerBuffer[i], 0) << "paused buffer " << i;
  const auto after = in.PerBuffer.begin() + resumed;
  const auto first = std::find_if(after, after + 20, [](int n) { return n > 0; });
  // Buffers already back when collection resumed are skipped as well.
  EXPECT_GE(first - after, 3);
  EXPECT_LE(first - after, 3 + BufferCount + 1);
  EXPECT_TRUE(std::all_of(first, after + 20, [](int n) { return n == 2; }));
}

TEST_F(CaptureOnCard, BlocksOfAPeriodicSignalRepeatWithoutASeam) {
  for (const DWORD rate : {48000u, 96000u}) {
    SCOPED_TRACE(rate);
    const int n = rate / 48000 * 2048;
    TWaveOut out;
    out.SetDeviceID(OutputOf(0));
    out.SetSampleRate(rate);
    out.SetSignal(n, 0.8, 300, 15000);
    ASSERT_TRUE(out.Start());
    TCountingWaveIn in(rate, n);
    in.Run([&] { return in.Buffers >= 25; });
    out.Stop();
    ASSERT_TRUE(WaitUntil([&] { return out.Idle(); }));
    const auto& b = in.Blocks;
    EXPECT_GT(*std::max_element(b[20][0].begin(), b[20][0].end()), 0.3);
    // The output repeats N frames, so each captured block equals the one before, to one code.
    for (size_t k = 11; k < 40; ++k) {
      for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < n; ++i) {
          ASSERT_NEAR(b[k][c][i], b[k - 1][c][i], 1.01 / 32767.5) << k << " " << c << " " << i;
        }
      }
    }
  }
}

} // namespace
} // namespace sorvane
