// Sorvane's engine and analysis on a real sound card: the loopback server of
// scripts/loopback.sh with the sink's right channel lowered to k of the left, which the
// measurement must read as the resistor Rref * (1/k - 1) that such a divider stands for.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <thread>

#include "platform/tests/real_support.h"
#include "sorvane/tests/analysis_support.h"

namespace sorvane {
namespace {

using namespace analysistest;

TEST(RealAnalysis, ALoweredRightChannelReadsAsTheDividerResistor) {
  SKIP_WITHOUT_LOOPBACK();
  const int in = realtest::FindInput("pulse"), out = realtest::FindOutput("pulse");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  const std::string sink = realtest::LoopbackSink();
  for (const double k : {0.5, 0.25}) {
    SCOPED_TRACE(k);
    const long raw = std::lround(65536 * std::cbrt(k)); // the server's scale is cubic
    ASSERT_TRUE(realtest::Shell("pactl set-sink-volume " + sink + " 65536 " + std::to_string(raw)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    TMeter meter;
    meter.Out.SetDeviceID(static_cast<UINT>(out));
    meter.In.SetDeviceID(static_cast<UINT>(in));
    meter.StartMeasurement(TTask::Impedance, 200, 5000);
    ASSERT_TRUE(meter.Start());
    ASSERT_TRUE(meter.RunSettled(4));
    meter.Stop();
    EXPECT_TRUE(meter.Errors.empty());
    const int kLo = FrequencyToBin(TMeter::N, 200, 48000);
    const double r = Bin(meter.Blocks.back()[1], kLo).real(); // the averaged R of the model
    const double expected = meter.Rref * (1 / std::pow(raw / 65536.0, 3) - 1);
    std::printf("[ measured ] divider k %.2f: R %.4f ohm for %.4f (%.3f %%)\n", k, r, expected,
                100 * (r / expected - 1));
    EXPECT_NEAR(r, expected, 0.01 * expected);
  }
  realtest::Shell("pactl set-sink-volume " + sink + " 65536 65536");
}

} // namespace
} // namespace sorvane
