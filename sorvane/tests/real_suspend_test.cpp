// Sorvane's devices on a real sound card whose server is stopped (SIGSTOP: it answers nothing)
// while they measure: both go idle within the 2 s that the window's close waits for them (it
// said "Abnormal termination" before, and the process never ended), and the device threads
// end, as the program's exit needs. The test stops the server, so it runs only in a loopback
// session that allows it (LOOPBACK_MAY_STOP=1); it resumes the server in every case.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "platform/tests/real_support.h"
#include "sorvane/tests/analysis_support.h"

namespace sorvane {
namespace {

using namespace analysistest;
using Clock = std::chrono::steady_clock;

// What the window's close waits for its devices (StopWaitMs), and a loaded machine's delay.
constexpr auto WindowWait = 2000ms;
constexpr auto Slack = 1000ms;

long long MsSince(Clock::time_point start) {
  return static_cast<long long>((Clock::now() - start) / 1ms);
}

TEST(RealSuspend, TheDevicesGoIdleAndTheirThreadsEndUnderAStoppedServer) {
  SKIP_WITHOUT_STOPPABLE_SERVER();
  const int in = realtest::FindInput("pulse"), out = realtest::FindOutput("pulse");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  auto meter = std::make_unique<TMeter>();
  meter->Out.SetDeviceID(static_cast<UINT>(out));
  meter->In.SetDeviceID(static_cast<UINT>(in));
  meter->StartMeasurement(TTask::Impedance, 200, 5000);
  ASSERT_TRUE(meter->Start());
  ASSERT_TRUE(WaitUntil([&] { return !meter->Blocks.empty(); }, 30s)) << "no block on the live server";
  {
    realtest::TStoppedServer server;
    ASSERT_TRUE(server.Stopped);
    // As the window's close asks them: stop both, then wait for both to be idle.
    auto start = Clock::now();
    meter->In.Stop();
    meter->Out.Stop();
    const bool idle = WaitUntil([&] { return meter->Out.Idle() && meter->In.WaveIn().Idle(); },
                                WindowWait + Slack);
    const long long idleMs = MsSince(start);
    std::printf("Stop under a stopped server: both devices idle after %lld ms\n", idleMs);
    EXPECT_TRUE(idle) << "a device still busy: the window would say \"Abnormal termination\"";
    EXPECT_LT(idleMs, (WindowWait + Slack) / 1ms);
    // What the program's exit does: the devices and their threads go.
    start = Clock::now();
    meter.reset();
    const long long endedMs = MsSince(start);
    std::printf("the device threads ended after %lld ms more\n", endedMs);
    EXPECT_LT(endedMs, Slack / 1ms);
  }
  EXPECT_TRUE(realtest::InputOpensAgain(in, 15s)) << "the device never came back";
}

} // namespace
} // namespace sorvane
