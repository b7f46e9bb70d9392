// Many start/stop cycles with signal changes on the virtual card, starts right after stops,
// and teardown at every stage: nothing may hang, leak or race.

#include <gtest/gtest.h>

#include <memory>

#include "sorvane/tests/engine_support.h"

namespace sorvane {
namespace {

using namespace enginetest;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define ENGINE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define ENGINE_SANITIZED 1
#endif
#endif

#ifdef ENGINE_SANITIZED
constexpr int Cycles = 60; // the sanitizers slow every step of the card more than tenfold
#else
constexpr int Cycles = 200;
#endif

std::unique_ptr<TRig> NewRig() {
  auto rig = std::make_unique<TRig>(0);
  rig->In.KeepRaw = false;
  rig->In.Averaging = true;
  return rig;
}

TEST(EngineStress, StartStopAndSignalChangeCycles) {
  UseFastCard();
  auto rig = NewRig();
  for (int cycle = 0; cycle < Cycles; ++cycle) {
    const double hi = 20000 - 700 * (cycle % 9);
    rig->Out.SetSignal(2048, 0.8, 50 + 40 * (cycle % 7), hi); // idle, or still stopping
    rig->In.Handed.clear();
    ASSERT_TRUE(rig->Start()) << cycle;
    ASSERT_TRUE(rig->WaitHanded(1)) << cycle;
    rig->Out.SetSignal(2048, 0.5, hi / 8, hi / 2); // while playing
    if (cycle % 3 == 0) {
      ASSERT_TRUE(rig->WaitHanded(2)) << cycle;
    }
    if (cycle % 25 == 12) {
      rig = NewRig(); // destroyed while running
      continue;
    }
    rig->Stop(); // the next Start waits for this stop to complete
    if (cycle % 25 == 24) rig = NewRig(); // destroyed while stopping
  }
  rig->Stop();
  EXPECT_TRUE(WaitUntil([&] { return rig->Idle(); }));
  EXPECT_TRUE(rig->Errors.empty());
}

} // namespace
} // namespace sorvane
