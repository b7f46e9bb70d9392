// The wait at the start of a capture for the signal to reach the inputs and settle.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "sorvane/engine/uSignalArrival.h"

namespace sorvane {
namespace {

constexpr unsigned Rate = 48000;
constexpr int Wait = static_cast<int>(TSignalArrival::LongestWaitSeconds * Rate);
constexpr int Settle = static_cast<int>(TSignalArrival::SettleSeconds * Rate);
// The first frame passed on when the signal's first step is at frame `arrival`.
constexpr int AfterArrival(int arrival) { return arrival + 1 + Settle; }

// The index of the first frame passed on, or -1 within `frames`.
int FirstSettled(unsigned rate, const std::function<TStereoFrame(int)>& input, int frames) {
  TSignalArrival arrival;
  arrival.Reset(rate);
  for (int i = 0; i < frames; ++i)
    if (arrival.Settled(input(i))) return i;
  return -1;
}

TStereoFrame Both(int v) { return {static_cast<int16_t>(v), static_cast<int16_t>(v)}; }

// A tone of `amplitude` codes on the left input (the pair) from frame `from` on.
std::function<TStereoFrame(int)> ToneFrom(int from, double amplitude, double hz) {
  return [=](int i) {
    if (i < from) return Both(3);
    const double v = amplitude * std::sin(2 * M_PI * hz * (i - from) / Rate);
    return TStereoFrame{static_cast<int16_t>(std::lround(v)), 3};
  };
}

TEST(SignalArrival, PassesFramesOnOnlyAfterTheSignalHasArrivedAndSettled) {
  const struct {
    const char* What;
    unsigned Rate;
    std::function<TStereoFrame(int)> Input;
    int First;
  } cases[] = {
      {"no wait asked for", 0, ToneFrom(1 << 30, 0, 1), 0},
      {"silence: the longest wait", Rate, [](int) { return Both(0); }, Wait - 1},
      {"a DC offset of 1000 codes is no signal", Rate, [](int) { return Both(1000); }, Wait - 1},
      {"noise of +-16 codes is none", Rate, [](int i) { return Both(i % 2 ? 16 : -16); }, Wait - 1},
      {"a tone from frame 12000, then the settling", Rate, ToneFrom(12000, 8000, 1000), AfterArrival(12001)},
      {"the level check's tone at -40 dB", Rate, ToneFrom(500, 330, 1000), AfterArrival(501)},
      {"a signal on the reference input alone", Rate,
       [](int i) { return TStereoFrame{0, static_cast<int16_t>(i >= 100 ? (i % 2) * 4000 : 0)}; },
       AfterArrival(101)},
  };
  for (const auto& c : cases) EXPECT_EQ(FirstSettled(c.Rate, c.Input, 3 * Wait), c.First) << c.What;
}

TEST(SignalArrival, EveryFrameAfterTheFirstSettledOneIsPassedOnUntilTheNextReset) {
  TSignalArrival arrival;
  arrival.Reset(Rate);
  const auto tone = ToneFrom(0, 8000, 1000);
  int passed = 0;
  for (int i = 0; i < 2 * Settle; ++i) passed += arrival.Settled(i > Settle ? Both(0) : tone(i));
  EXPECT_EQ(passed, 2 * Settle - AfterArrival(1)) << "silence after the arrival is passed on: it is what the inputs hear";
  arrival.Reset(Rate);
  EXPECT_FALSE(arrival.Settled(Both(0)));
}

} // namespace
} // namespace sorvane
