// The whole engine on the virtual card in fast mode: hand-offs on the card's clock with the mean
// of their interval, the signal change protocol and failed opens.

#include <gtest/gtest.h>

#include <array>
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

// The raw blocks [First, Last] whose mean (or, without averaging, the single block Last) a
// handed-over block is.
struct TRun {
  size_t First, Last;
};

// The mean of raw blocks first .. last, summed in the engine's order.
TWaveData MeanOf(const TProbe& probe, size_t first, size_t last) {
  TWaveData mean = probe.Raw[first].first;
  for (size_t r = first + 1; r <= last; ++r) {
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < mean[c].size(); ++i) mean[c][i] += probe.Raw[r].first[c][i];
    }
  }
  for (TChannelData& channel : mean) {
    for (double& x : channel) x /= double(last - first + 1);
  }
  return mean;
}

// For each handed-over block in turn, the run it came from. A run normally starts right after
// the previous one; on the fast card two hand-offs can fall within one turn of a busy main
// thread, and the second then replaces the first before it is taken: the next run starts later.
// Candidates are found on a few samples through prefix sums, then checked in full.
std::vector<TRun> Runs(const TProbe& probe, bool averaging) {
  constexpr size_t Probes[] = {0, 517, 1301, 2047};
  std::vector<std::array<double, 4>> prefix(probe.Raw.size() + 1);
  for (size_t r = 0; r < probe.Raw.size(); ++r) {
    for (size_t p = 0; p < 4; ++p) prefix[r + 1][p] = prefix[r][p] + probe.Raw[r].first[0][Probes[p]];
  }
  const auto candidate = [&](const TWaveData& handed, size_t first, size_t last) {
    for (size_t p = 0; p < 4; ++p) {
      const double mean = (prefix[last + 1][p] - prefix[first][p]) / double(last - first + 1);
      if (std::fabs(mean - handed[0][Probes[p]]) > 1e-9) return false;
    }
    return Same(MeanOf(probe, first, last), handed);
  };
  std::vector<TRun> runs;
  size_t start = 0;
  for (const TWaveData& handed : probe.Handed) {
    bool found = false;
    for (size_t first = start; first < probe.Raw.size() && !found; ++first) {
      for (size_t last = first; last < probe.Raw.size() && !found; ++last) {
        if (!averaging && last != first) break;
        if (candidate(handed, first, last)) {
          runs.push_back({first, last});
          found = true;
        }
      }
    }
    if (!found) return runs;
    start = runs.back().Last + 1;
  }
  return runs;
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
    const auto runs = Runs(rig.In, c.Averaging);
    ASSERT_EQ(runs.size(), rig.In.Handed.size());
    EXPECT_EQ(runs[0].Last, 0u) << "the first block is handed over at once";
    // The engine reads the clock for block i between the times noted for blocks i and i + 1.
    const auto time = [&](size_t i) { return rig.In.Raw[i].second; };
    int replaced = 0;
    for (size_t d = 1; d + 1 < runs.size(); ++d) {
      const size_t before = runs[d - 1].Last, end = runs[d].Last;
      EXPECT_GE(platform::MillisecondsBetween(time(before), time(end + 1)), c.MinGapMs);
      // A mean covers its own interval only; the gap since the hand-off before it is bounded
      // when no hand-off fell between them.
      if (c.Averaging && runs[d].First != before + 1) {
        ++replaced;
        EXPECT_LE(platform::MillisecondsBetween(time(runs[d].First), time(end)), c.MaxGapMs);
        continue;
      }
      EXPECT_LE(platform::MillisecondsBetween(time(before + 1), time(end)), c.MaxGapMs);
    }
    EXPECT_LE(replaced, 2) << "a hand-off replaced now and then, not as a rule";
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
    // The device's number, then what the result means and what to try.
    const std::string busy =
        ". Another program is using the device: close that program or choose another device.";
    EXPECT_EQ(rig.Errors, std::vector<std::string>{output ? "Can not open output device " + std::to_string(OutputOf(0)) + busy
                                                          : "Can not open input device " + std::to_string(InputOf(0)) + busy});
    EXPECT_TRUE(WaitUntil([&] { return rig.Idle(); }));
    ASSERT_TRUE(rig.Start()) << "nothing is left behind";
    EXPECT_TRUE(rig.WaitHanded(2));
    rig.Stop();
    EXPECT_TRUE(WaitUntil([&] { return rig.Idle(); }));
  }
}

} // namespace
} // namespace sorvane
