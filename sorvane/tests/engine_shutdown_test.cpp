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

// Creates the object, starts it on the quiet box when asked, and destroys it.
template <typename T> void StartAndDestroy(bool start, const std::function<void(T&)>& setUp = {}) {
  UseFastCard();
  auto device = std::make_unique<T>();
  if (setUp) setUp(*device);
  if constexpr (requires { device->Start(); }) {
    if (start && !device->Start()) std::exit(2);
  }
  device.reset();
}

struct ShutdownRule : testing::Test {
  // The device threads run in the process that the check stops: start it afresh for each case.
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ShutdownRule, AClassThatForgetsShutdownStopsTheProgramWithItsName) {
  struct Case { const char* what; std::function<void()> run; const char* message; };
  const Case cases[] = {
      {"started capture device",
       [] {
         StartAndDestroy<TForgetfulWaveIn>(true, [](TWaveIn& in) { in.SetDeviceID(InputOf(0)); });
       },
       "TWaveControl: the destructor of sorvane::.*TForgetfulWaveIn did not call Shutdown\\(\\) first"},
      {"device class never started", [] { StartAndDestroy<TForgetfulControl>(false); },
       "TWaveControl: the destructor of a class derived from it did not call Shutdown\\(\\) first"},
      {"started hand-off thread",
       [] {
         StartAndDestroy<TForgetfulSync>(true, [](TSyncIn& in) { in.SetDeviceID(InputOf(0)); });
       },
       "TSyncIn: the destructor of sorvane::.*TForgetfulSync did not call Shutdown\\(\\) first"},
      {"hand-off thread never started", [] { StartAndDestroy<TForgetfulSync>(false); },
       "TSyncIn: the destructor of a class derived from it did not call Shutdown\\(\\) first"},
  };
  for (const auto& c : cases) EXPECT_DEATH(c.run(), c.message) << c.what;
}

// Each class of the program, and a class that keeps the rule, destroyed idle and while running:
// the process carries on.
TEST_F(ShutdownRule, EveryDeviceClassOfTheProgramKeepsTheRule) {
  const auto input = [](auto& in) { in.SetDeviceID(InputOf(0)); };
  const auto output = [](TWaveOut& out) {
    out.SetDeviceID(OutputOf(0));
    out.SetSignal(2048, 0.5, 100, 10000);
  };
  struct Case { const char* what; std::function<void(bool start)> run; };
  const Case cases[] = {
      {"TWaveIn", [&](bool start) { StartAndDestroy<TWaveIn>(start, input); }},
      {"TWaveOut", [&](bool start) { StartAndDestroy<TWaveOut>(start, output); }},
      {"TSignalIn", [&](bool start) { StartAndDestroy<TSignalIn>(start, input); }},
      {"a TSyncIn that calls Shutdown", [&](bool start) { StartAndDestroy<TDutifulSync>(start, input); }},
  };
  for (const auto& c : cases) {
    for (const bool start : {false, true}) {
      EXPECT_EXIT({
        c.run(start);
        std::exit(0);
      }, testing::ExitedWithCode(0), "") << c.what << (start ? " running" : " idle");
    }
  }
}

} // namespace
} // namespace sorvane
