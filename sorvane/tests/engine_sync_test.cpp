// The whole engine on the virtual card in fast mode: hand-offs on the card's clock with the mean
// of their interval, the signal change protocol and failed opens.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sorvane/tests/engine_support.h"

namespace sorvane {
namespace {

using namespace enginetest;

struct EngineOnCard : testing::Test {
  void SetUp() override { UseFastCard(); }
  void TearDown() override { vmbox::ClearFaults(); }
};

bool Same(const TWaveData& a, const TWaveData& b) {
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < a[c].size(); ++i) {
      if (std::fabs(a[c][i] - b[c][i]) > 1e-12) return false;
    }
  }
  return true;
}

// For each handed-over block in turn, the raw block that ends the run it is the mean of (or,
// without averaging, the raw block it equals).
std::vector<size_t> RunEnds(const TProbe& probe, bool averaging) {
  std::vector<size_t> ends;
  size_t start = 0;
  for (const TWaveData& handed : probe.Handed) {
    TWaveData sum{TChannelData(2048), TChannelData(2048)}, mean = sum;
    for (size_t end = start; end < probe.Raw.size(); ++end) {
      const TWaveData& raw = probe.Raw[end].first;
      for (int c = 0; c < 2; ++c) {
        for (size_t i = 0; i < 2048; ++i) {
          sum[c][i] += raw[c][i];
          mean[c][i] = averaging ? sum[c][i] / double(end - start + 1) : raw[c][i];
        }
      }
      if (Same(mean, handed)) {
        ends.push_back(end);
        break;
      }
    }
    if (ends.empty() || ends.back() < start) return ends;
    start = ends.back() + 1;
  }
  return ends;
}

TEST_F(EngineOnCard, HandOffsComeOnTheClockWithTheMeanOfTheirInterval) {
  struct TCase {
    bool Averaging, AskNext;
    int64_t MinGapMs, MaxGapMs;
  };
  // The noisy box makes every raw block different, so each hand-off names its own run.
  for (const TCase& c : {TCase{true, true, 300, 5000}, {false, true, 300, 5000},
                         {true, false, 2000, 2900}}) {
    SCOPED_TRACE(testing::Message() << "averaging " << c.Averaging << ", ask " << c.AskNext);
    TRig rig(1);
    rig.In.Averaging = c.Averaging;
    rig.In.AskNext = c.AskNext;
    rig.Out.SetSignal(2048, 0.5, 100, 20000);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.WaitHanded(5));
    rig.Stop();
    ASSERT_TRUE(WaitUntil([&] { return rig.Idle(); }));
    const auto ends = RunEnds(rig.In, c.Averaging);
    ASSERT_EQ(ends.size(), rig.In.Handed.size());
    EXPECT_EQ(ends[0], 0u) << "the first block is handed over at once";
    // The engine reads the clock for block i between the times noted for blocks i and i + 1.
    const auto time = [&](size_t i) { return rig.In.Raw[i].second; };
    for (size_t d = 1; d + 1 < ends.size(); ++d) {
      EXPECT_GE(platform::MillisecondsBetween(time(ends[d - 1]), time(ends[d] + 1)), c.MinGapMs);
      EXPECT_LE(platform::MillisecondsBetween(time(ends[d - 1] + 1), time(ends[d])), c.MaxGapMs);
    }
  }
}

TEST_F(EngineOnCard, NoHandedBlockMixesTheOldSignalWithTheNew) {
  const int aLo = 43, aHi = 213, bLo = 341, bHi = 683; // bins of 1..5 kHz and 8..16 kHz
  for (const bool averaging : {true, false}) {
    SCOPED_TRACE(averaging ? "averaging" : "latest block");
    TRig rig(0);
    rig.In.Averaging = averaging;
    rig.Out.SetSignal(2048, 0.8, 8000, 16000);
    rig.Out.SetSignal(2048, 0.8, 1000, 5000); // replaces the first while idle: plays from the start
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.WaitHanded(3));
    const size_t before = rig.In.Handed.size();
    rig.Out.SetSignal(2048, 0.8, 8000, 16000);
    // Every block is the old signal alone until one is the new signal alone, and so on.
    size_t firstNew = 0;
    for (size_t i = before - 1; firstNew == 0 || i < firstNew + 3; ++i) {
      ASSERT_TRUE(rig.WaitHanded(i + 1));
      const double a = PowerIn(rig.In.Handed[i][0], aLo, aHi);
      const double b = PowerIn(rig.In.Handed[i][0], bLo, bHi);
      if (firstNew == 0 && b > a) firstNew = i;
      EXPECT_LT(firstNew ? a / b : b / a, 1e-6) << "hand-off " << i << (firstNew ? " new" : " old");
    }
    EXPECT_GE(firstNew, before) << "the signal loaded last while idle played first";
    rig.Stop();
    ASSERT_TRUE(WaitUntil([&] { return rig.Idle(); }));
  }
}

TEST_F(EngineOnCard, FailedOpenIsReportedAndBothDevicesAreIdleAgain) {
  for (const auto port : {vmbox::TPort::Output, vmbox::TPort::Input}) {
    const bool output = port == vmbox::TPort::Output;
    TRig rig(0);
    rig.Out.SetSignal(2048, 0.8, 100, 10000);
    vmbox::FailNextOpen(port, MMSYSERR_ALLOCATED);
    EXPECT_FALSE(rig.Start());
    EXPECT_EQ(rig.Errors, std::vector<std::string>{output ? "Can not open output device " + std::to_string(OutputOf(0))
                                                          : "Can not open input device " + std::to_string(InputOf(0))});
    EXPECT_TRUE(WaitUntil([&] { return rig.Idle(); }));
    ASSERT_TRUE(rig.Start()) << "nothing is left behind";
    EXPECT_TRUE(rig.WaitHanded(2));
    rig.Stop();
    EXPECT_TRUE(WaitUntil([&] { return rig.Idle(); }));
  }
}

} // namespace
} // namespace sorvane
