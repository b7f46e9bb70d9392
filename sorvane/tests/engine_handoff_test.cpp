// The hand-off to the main thread on a manual clock: the first block at once, then at most every
// 300 ms and only when asked, the 2000 ms re-arm (each to the millisecond), and the mean over
// each interval.

#include <gtest/gtest.h>

#include <algorithm>

#include "sorvane/tests/engine_support.h"

namespace sorvane {
namespace {

using namespace enginetest;

// Blocks go in by hand, as the capture thread would hand them over; the hand-off thread runs
// without a device. ProcessBlock negates channel 1, so OnBlock can tell that it ran first.
class TTestSync : public TSyncIn {
public:
  TTestSync(bool askNext, bool averaging) {
    Averaging = averaging;
    OnBlock = [this, askNext](TWaveData& block) {
      EXPECT_EQ(block[1][0], -block[0][0]);
      Handed.push_back(block[0][0]);
      if (askNext) RequestNext();
    };
    Resume();
  }
  ~TTestSync() override { Shutdown(); }
  std::vector<double> Handed;

protected:
  void ProcessBlock(TWaveData& block) override {
    for (double& x : block[1]) x = -x;
  }
};

struct TFeed {
  double Ms, Value;
  size_t Length;
  bool Due; // a hand-off is expected with this block: wait for it before the next
};

std::vector<double> Feed(TTestSync& sync, const std::vector<TFeed>& feeds) {
  platform::TManualClock clock;
  const double base = clock.Now();
  for (const TFeed& f : feeds) {
    clock.Set(base + f.Ms / platform::MillisecondsPerDay);
    const size_t before = sync.Handed.size();
    sync.BlockCaptured({TChannelData(f.Length, f.Value), TChannelData(f.Length, f.Value)});
    if (f.Due) {
      EXPECT_TRUE(WaitUntil([&] { return sync.Handed.size() > before; }, 10s)) << f.Ms;
    }
  }
  WaitUntil([] { return false; }, 50ms); // a hand-off that should not have come arrives now
  return sync.Handed;
}

TEST(HandOff, PacingReArmAndAveraging) {
  struct TCase {
    const char* Name;
    bool Averaging, AskNext;
    double StepMs;
    int Blocks;
    std::vector<int> DueAt;
    std::vector<double> Handed;
  };
  for (const TCase& c : std::vector<TCase>{
           {"latest block every 300 ms", false, true, 43, 22, {0, 7, 14, 21}, {0, 7, 14, 21}},
           {"mean every 300 ms", true, true, 43, 22, {0, 7, 14, 21}, {0, 4, 11, 18}},
           {"latest block, re-armed", false, false, 43, 100, {0, 47, 94}, {0, 47, 94}},
           {"mean, re-armed", true, false, 43, 100, {0, 47, 94}, {0, 24, 71}},
           {"300 ms exactly is due", false, true, 100, 7, {0, 3, 6}, {0, 3, 6}},
           {"2000 ms exactly is not", false, false, 500, 11, {0, 5, 10}, {0, 5, 10}}}) {
    SCOPED_TRACE(c.Name);
    TTestSync sync(c.AskNext, c.Averaging);
    std::vector<TFeed> feeds;
    for (int i = 0; i < c.Blocks; ++i) {
      feeds.push_back({i * c.StepMs, double(i), 4, std::count(c.DueAt.begin(), c.DueAt.end(), i) > 0});
    }
    EXPECT_EQ(Feed(sync, feeds), c.Handed);
  }
}

// Each rule a millisecond either side: a block 299 ms after the last hand-off waits and one at
// 300 ms goes; without a request a block 2000 ms after it waits and one at 2001 ms goes.
TEST(HandOff, PacingAndReArmToTheMillisecond) {
  struct TCase {
    const char* Name;
    bool AskNext;
    std::vector<double> AtMs;
    std::vector<double> Handed; // the indices of the blocks handed over
  };
  for (const TCase& c : std::vector<TCase>{
           {"asked: 299 ms waits, 300 ms goes", true, {0, 299, 300, 599, 600}, {0, 2, 4}},
           {"not asked: 2000 ms waits, 2001 ms goes", false, {0, 300, 2000, 2001, 4001, 4002},
            {0, 3, 5}}}) {
    SCOPED_TRACE(c.Name);
    TTestSync sync(c.AskNext, false);
    std::vector<TFeed> feeds;
    for (size_t i = 0; i < c.AtMs.size(); ++i) {
      const bool due = std::count(c.Handed.begin(), c.Handed.end(), double(i)) > 0;
      feeds.push_back({c.AtMs[i], double(i), 4, due});
    }
    EXPECT_EQ(Feed(sync, feeds), c.Handed);
  }
}

TEST(HandOff, LengthChangeRestartsTheMeanAndABackwardClockHandsOverAtOnce) {
  TTestSync sync(true, true);
  EXPECT_EQ(Feed(sync, {{1000, 1, 4, true}, {1100, 2, 4, false}, {1200, 10, 8, false},
                        {1300, 20, 8, true}, {1400, 7, 8, false}, {0, 9, 8, true}}),
            (std::vector<double>{1, 15, 8}));
}

// A signal change (a new range or level) pauses collection: no block summed or handed over
// before it reaches the main thread, where it would be analysed for the new range.
TEST(HandOff, NoBlockOfTheOldSignalIsPassedOnAfterASignalChange) {
  {
    TTestSync sync(true, true);
    platform::TManualClock clock;
    const double base = clock.Now();
    const auto at = [&](double ms, double value) {
      clock.Set(base + ms / platform::MillisecondsPerDay);
      sync.BlockCaptured({TChannelData(4, value), TChannelData(4, value)});
    };
    at(0, 1);
    ASSERT_TRUE(WaitUntil([&] { return sync.Handed.size() == 1; }, 10s));
    at(100, 2);
    at(200, 3);
    sync.EnableCollection(false); // the sum of 2 and 3 belongs to the old signal
    at(350, 9);
    ASSERT_TRUE(WaitUntil([&] { return sync.Handed.size() == 2; }, 10s));
    EXPECT_EQ(sync.Handed, (std::vector<double>{1, 9}));
  }
  // Handed over, but not yet taken by the main thread when the signal changes.
  TTestSync sync(true, false);
  platform::TManualClock clock;
  sync.BlockCaptured({TChannelData(4, 5.0), TChannelData(4, 5.0)});
  sync.EnableCollection(false);
  WaitUntil([] { return false; }, 100ms);
  EXPECT_TRUE(sync.Handed.empty());
  clock.Set(clock.Now() + 400 / platform::MillisecondsPerDay);
  sync.BlockCaptured({TChannelData(4, 6.0), TChannelData(4, 6.0)});
  EXPECT_TRUE(WaitUntil([&] { return sync.Handed == std::vector<double>{6}; }, 10s))
      << "the next block comes without waiting for the re-arm";
}

} // namespace
} // namespace sorvane
