// Dravik's devices and analysis on a real sound card: the loopback server of
// scripts/loopback.sh with the sink's right channel lowered to k of the left, which the
// analysis must read as the resistor Rref * (1/k - 1) that such a divider stands for.

#include "dravik/audio/uWaveIn.h"
#include "dravik/audio/uWaveOut.h"
#include "dravik/measure/uLCRAnalysis.h"
#include "dravik/tests/audio_support.h"
#include "platform/tests/real_support.h"

#include <cmath>
#include <cstdio>
#include <thread>

namespace dravik {
namespace {

using namespace audiotest;

class TNoDisplay : public TAnalysisOutput {
public:
  void SetResistanceText(const std::string&) override {}
  void SetReactanceText(const std::string&) override {}
  void SetSeriesTitle(TSeriesId, const std::string&) override {}
  void SetSeriesPoints(TSeriesId, const TChartPoints&) override {}
};

// The fit of the second result of a measurement on the server's devices (the first second of
// blocks may still hold the start of the sound).
TLCRFitResult Measure(int inDevice, int outDevice) {
  TLogLines log;
  bool ok = false;
  TWaveOut out(log.Event(), ok);
  TWaveIn in(nullptr, log.Event(), ok);
  out.SelectDevice(outDevice);
  in.SelectDevice(inDevice);
  out.MultiSin(9, 1, 1024);
  in.SetBlockSize(static_cast<uint32_t>(out.BufferFrames()));
  TNoDisplay display;
  TLCRAnalysis analysis(display);
  std::vector<TLCRFitResult> fits;
  int results = 0;
  in.OnData = [&](TDataMatrix& block) {
    const platform::TDateTime before = analysis.LastResultTime();
    analysis.AnalyseBlock(block, in.SampleRate(), in.BlockSize);
    if (analysis.LastResultTime() != before && results++ > 0) fits.push_back(analysis.LastFit());
    return !fits.empty();
  };
  in.Open();
  EXPECT_TRUE(PumpUntil([&] { return !in.Active && !fits.empty(); }, 30s));
  out.Stop();
  EXPECT_TRUE(PumpUntil([&] { return !out.Active; }));
  EXPECT_EQ(log.Errors(), 0u);
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
