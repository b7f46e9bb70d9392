// Dravik's devices and analysis on a real sound card: the loopback server of
// scripts/loopback.sh with the sink's right channel lowered to k of the left, which the
// analysis must read as the resistor Rref * (1/k - 1) that such a divider stands for.

#include "dravik/tests/measure_support.h"
#include "platform/tests/real_support.h"

#include <cmath>
#include <cstdio>
#include <thread>

namespace dravik {
namespace {

using namespace audiotest;

// The fit of the second result of a measurement on the server's devices.
TLCRFitResult Measure(int inDevice, int outDevice) {
  const std::vector<TLCRFitResult> fits = MeasureFits(inDevice, outDevice, 1, 30s);
  return fits.empty() ? TLCRFitResult{} : fits[0];
}

TEST(RealEndToEnd, ALoweredRightChannelReadsAsTheDividerResistor) {
  SKIP_WITHOUT_LOOPBACK();
  const int in = realtest::FindInput("pulse"), out = realtest::FindOutput("pulse");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  constexpr long double Rref = 10; // the analysis's default reference
  const std::string sink = realtest::LoopbackSink();
  for (const double k : {0.5, 0.25}) {
    SCOPED_TRACE(k);
    const long raw = std::lround(65536 * std::cbrt(k)); // the server's scale is cubic
    ASSERT_TRUE(realtest::Shell("pactl set-sink-volume " + sink + " 65536 " + std::to_string(raw)));
    std::this_thread::sleep_for(200ms);
    const TLCRFitResult fit = Measure(in, out);
    const long double expected = Rref * (1 / std::pow(raw / 65536.0L, 3) - 1);
    std::printf("[ measured ] divider k %.2f: R %.4Lf ohm for %.4Lf (%.3Lf %%)\n", k, fit.R,
                expected, 100 * (fit.R / expected - 1));
    EXPECT_NEAR(static_cast<double>(fit.R), static_cast<double>(expected),
                0.01 * static_cast<double>(expected));
  }
  realtest::Shell("pactl set-sink-volume " + sink + " 65536 65536");
}

} // namespace
} // namespace dravik
