#include "dravik/ui/uRunWatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace dravik {
namespace {

// One look of the window at the capture: when (real time; the device's clock runs Speed times
// as fast), the count it saw, whether the look counts (buffers due and the window not late).
struct TLook {
  double At;
  uint64_t Buffers;
  bool Counting;
};

struct TWatchCase {
  const char* Name;
  std::vector<TLook> Looks;
  bool Stalls; // the last look reports a stall, and no look before it did
  double Speed = 1; // the device's clock against real time (a fast virtual card: 25)
};

// A 3 s limit; the window looks four times a second unless a case says otherwise.
std::vector<TLook> Steady(double From, double To, uint64_t Buffers, bool Counting) {
  std::vector<TLook> looks;
  for (double t = From; t <= To + 1e-9; t += 0.25) looks.push_back({t, Buffers, Counting});
  return looks;
}

std::vector<TLook> Joined(std::vector<TLook> First, const std::vector<TLook>& Then) {
  First.insert(First.end(), Then.begin(), Then.end());
  return First;
}

TEST(RunWatch, OnlyTimeOfCountingLooksAddsUpToAStall) {
  const std::vector<TWatchCase> cases = {
      {"a running capture that never returns a buffer", Steady(0.25, 3.25, 0, true), true},
      {"just inside the limit", Steady(0.25, 3.0, 0, true), false},
      {"a count that moves each block", {{1, 1, true}, {2, 2, true}, {3, 3, true}, {4, 4, true}},
       false},
      {"a capture stopped between steps for longer than the limit", Steady(0.25, 10, 0, false),
       false},
      {"quiet time restarts when a stopped capture runs again",
       Joined(Steady(0.25, 2.0, 0, true), Steady(2.25, 4.0, 0, false)), false},
      {"a late look restarts the quiet time",
       Joined(Steady(0.25, 2.75, 0, true), Joined({{3.0, 0, false}}, Steady(3.25, 5.75, 0, true))),
       false},
      {"a late look, then a real stall", Joined({{0.25, 0, false}}, Steady(0.5, 3.5, 0, true)),
       true},
      {"a fast card's clock passes the limit while real time has not",
       Steady(0.25, 3.0, 0, true), false, 25},
      {"a fast card that really stalls", Steady(0.25, 3.25, 0, true), true, 25},
  };
  for (const TWatchCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRunWatch watch;
    watch.Begin(0, {0, 0});
    for (size_t i = 0; i < c.Looks.size(); ++i) {
      const TLook& look = c.Looks[i];
      const TWatchTime at{look.At * c.Speed, look.At};
      const bool stalled = watch.Stalled(look.Buffers, look.Counting, at, 3.0);
      ASSERT_EQ(stalled, c.Stalls && i + 1 == c.Looks.size()) << "look at " << look.At << " s";
    }
    EXPECT_EQ(watch.Watching(), !c.Stalls);
  }
}

TEST(RunWatch, TheLimitGrowsWithTheBlock) {
  EXPECT_DOUBLE_EQ(StalledCaptureSeconds(24000, 48000), 3.5); // Dravik's half-second block
  EXPECT_DOUBLE_EQ(StalledCaptureSeconds(48000, 48000), 5.0);
  EXPECT_DOUBLE_EQ(StalledCaptureSeconds(1000, 0), 2.0); // no rate yet: the open allowance only
}

} // namespace
} // namespace dravik
