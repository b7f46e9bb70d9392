// The destructor rule of the device threads: a class that was started and then destroyed without
// its own destructor calling Shutdown() first stops the program with a message naming it, and
// every class of the program keeps the rule.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "sorvane/analysis/uSignalIn.h"
#include "sorvane/tests/engine_support.h"

namespace sorvane {
namespace {

using namespace enginetest;

// Overrides the block handler but forgets Shutdown(): TWaveIn's own destructor would stop the
// thread only after this object's part is gone.
class TForgetfulWaveIn : public TWaveIn {
protected:
  void ProcessBuffer(WAVEHDR& header) override {
    ++Seen;
    TWaveIn::ProcessBuffer(header);
  }
  int Seen = 0;
};

// A device class of its own that forgets Shutdown() altogether.
class TForgetfulControl : public TWaveControl {
protected:
  void ProcessBuffer(WAVEHDR&) override {}
  void ResetDevice() override {}
};

class TForgetfulSync : public TSyncIn {
protected:
  void PreviewBlock(const TWaveData& block) override { Samples += block[0].size(); }
  size_t Samples = 0;
};

class TDutifulSync : public TSyncIn {
public:
  ~TDutifulSync() override { Shutdown(); }
};

// How an object ends: never started, destroyed while it runs, or stopped first and destroyed
// once its capture is idle.
enum class TEnd { NeverStarted, Running, Stopped };

bool CaptureIdle(const TWaveControl& device) { return device.Idle(); }
bool CaptureIdle(const TSyncIn& sync) { return sync.WaveIn().Idle(); }

template <typename T> void Destroy(TEnd end, const std::function<void(T&)>& setUp = {}) {
  UseFastCard();
  auto device = std::make_unique<T>();
  if (setUp) setUp(*device);
  if constexpr (requires { device->Start(); }) {
    if (end != TEnd::NeverStarted && !device->Start()) std::exit(2);
    if (end == TEnd::Stopped) {
      device->Stop();
      if (!WaitUntil([&] { return CaptureIdle(*device); })) std::exit(3);
    }
  }
  device.reset();
}

struct ShutdownRule : testing::Test {
  // The device threads run in the process that the check stops: start it afresh for each case.
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ShutdownRule, AClassThatForgetsShutdownStopsTheProgramWithItsName) {
  struct Case { const char* what; std::function<void()> run; const char* message; };
  // The started ones are stopped first: a thread still inside the forgotten override while the
  // object goes is the race that the rule prevents, and the thread sanitizer would report it
  // before the check could speak.
  const Case cases[] = {
      {"stopped capture device",
       [] { Destroy<TForgetfulWaveIn>(TEnd::Stopped, [](TWaveIn& in) { in.SetDeviceID(InputOf(0)); }); },
       "TWaveControl: the destructor of sorvane::.*TForgetfulWaveIn did not call Shutdown\\(\\) first"},
      {"device class never started", [] { Destroy<TForgetfulControl>(TEnd::NeverStarted); },
       "TWaveControl: the destructor of a class derived from it did not call Shutdown\\(\\) first"},
      {"stopped hand-off thread",
       [] { Destroy<TForgetfulSync>(TEnd::Stopped, [](TSyncIn& in) { in.SetDeviceID(InputOf(0)); }); },
       "TSyncIn: the destructor of sorvane::.*TForgetfulSync did not call Shutdown\\(\\) first"},
      {"hand-off thread never started", [] { Destroy<TForgetfulSync>(TEnd::NeverStarted); },
       "TSyncIn: the destructor of a class derived from it did not call Shutdown\\(\\) first"},
  };
  for (const auto& c : cases) EXPECT_DEATH(c.run(), c.message) << c.what;
}

// Each class of the program, and a class that keeps the rule, destroyed never started, while
// running and after a stop: the process carries on.
TEST_F(ShutdownRule, EveryDeviceClassOfTheProgramKeepsTheRule) {
  const auto input = [](auto& in) { in.SetDeviceID(InputOf(0)); };
  const auto output = [](TWaveOut& out) {
    out.SetDeviceID(OutputOf(0));
    out.SetSignal(2048, 0.5, 100, 10000);
  };
  struct Case { const char* what; std::function<void(TEnd end)> run; };
  const Case cases[] = {
      {"TWaveIn", [&](TEnd end) { Destroy<TWaveIn>(end, input); }},
      {"TWaveOut", [&](TEnd end) { Destroy<TWaveOut>(end, output); }},
      {"TSignalIn", [&](TEnd end) { Destroy<TSignalIn>(end, input); }},
      {"a TSyncIn that calls Shutdown", [&](TEnd end) { Destroy<TDutifulSync>(end, input); }},
  };
  for (const auto& c : cases) {
    for (const TEnd end : {TEnd::NeverStarted, TEnd::Running, TEnd::Stopped}) {
      EXPECT_EXIT({
        c.run(end);
        std::exit(0);
      }, testing::ExitedWithCode(0), "") << c.what << " ending " << static_cast<int>(end);
    }
  }
}

} // namespace
} // namespace sorvane
