// Dravik's soak run on the fast virtual card: the window measures one box for SOAK_AUDIO_SECONDS
// of audio with every result checked against the box's circuit, then runs SOAK_CYCLES
// start/stop cycles in each run mode (measurement, offset run, amplitude run). Memory,
// descriptors and threads must stay flat through both.

#include "dravik/tests/ui_support.h"
#include "soak/soak_support.h"

#include <QLineSeries>

#include <chrono>
#include <cstdio>

namespace dravik {
namespace {

using namespace uitest;
using Clock = std::chrono::steady_clock;

// The first default box, with both inputs alike: 3.3 Ohm + 1 mH. Each result is one second's
// average; the window test allows 1 % after two of them, the soak allows it for every one.
constexpr double BoxR = 3.3, BoxL = 1e-3, Tolerance = 0.01;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Soak : TWindowTest {
  std::vector<std::string> Errors; // error lines nobody expected, the first few kept

  // The fixture records every log line; the soak checks the errors and lets the rest go, so
  // that its own record does not grow with the run.
  void DrainLog(const std::vector<std::string>& expected) {
    for (const auto& [text, info] : Log) {
      if (info || std::find(expected.begin(), expected.end(), text) != expected.end()) continue;
      if (Errors.size() < 10) Errors.push_back(text);
    }
    Log.clear();
  }
  void ExpectNoErrors() {
    for (const auto& e : Errors) ADD_FAILURE() << "unexpected error in the log: " << e;
  }
};

TEST_F(Soak, MeasuresABoxForTheWholeAudioTime) {
  Open();
  SelectBox(0);
  const double wanted = soak::AudioSecondsWanted();
  const double every = std::max(1.0, wanted / 100);
  int results = 0, outside = 0;
  double worst = 0;
  QObject::connect(W.get(), &TfmLCR::ResultShown, [&] {
    // The first result's second may still hold the start of the sound.
    if (++results == 1) return;
    // The labels round to three digits; the fit behind them is what is judged.
    const TLCRFitResult& fit = W->Analysis.LastFit();
    const double r = static_cast<double>(fit.R), l = static_cast<double>(fit.Value);
    const double deviation = std::max(std::fabs(r / BoxR - 1), std::fabs(l / BoxL - 1));
    if (!(deviation <= Tolerance) || Text(W->lblZ).rfind("Lx= ", 0) != 0) {
      if (++outside <= 5) ADD_FAILURE() << "result " << results << ": " << Text(W->lblR) << ", "
                                        << Text(W->lblZ);
    }
    if (!(deviation <= worst)) worst = deviation; // a NaN counts as the worst
  });
  soak::TUsageTrack track;
  const auto wall = Clock::now();
  const double start = vmbox::AudioSeconds();
  double next = start;
  W->rgRunMode->Item(1)->click();
  W->btnStart->click();
  const bool ran = PumpUntil([&] {
    const double now = vmbox::AudioSeconds();
    if (now >= next) {
      track.Sample();
      DrainLog({});
      next += every;
    }
    return now - start >= wanted;
  }, std::chrono::hours(48));
  const double audio = vmbox::AudioSeconds() - start;
  StopRun();
  EXPECT_TRUE(ran);
  std::printf("Dravik measurement: %.0f s of audio in %.0f s, %d results, %d outside %.0f %%, "
              "worst deviation %.3g %%\n",
              audio, Seconds(wall), results, outside, 100 * Tolerance, 100 * worst);
  track.Print("Dravik measurement");
  // A result at most once a second; blocks come in whole buffers, so somewhat fewer.
  EXPECT_GE(results, static_cast<int>(audio / 2));
  EXPECT_EQ(outside, 0);
  track.ExpectFlat("Dravik measurement");
  DrainLog({});
  ExpectNoErrors();
  EXPECT_TRUE(W->close());
}

struct TCycleMode {
  const char* Name;
  int RunMode;           // the radio group's item
  bool OnShortedBox;
  const char* WaitFor;   // a log line that must come before the run mode is reached, or null
};
const TCycleMode CycleModes[] = {
    {"measurement", 1, false, nullptr},
    {"offset run", 0, true, nullptr},
    {"amplitude run", 0, true, "Amplitude calibration..."},
};

// Each cycle waits until the run mode has drawn its first block, so that every cycle has opened,
// run and closed both devices.
TEST_F(Soak, StartStopCyclesInEveryRunMode) {
  Open();
  const int cycles = soak::CyclesWanted();
  const auto wall = Clock::now();
  const double start = vmbox::AudioSeconds();
  for (const auto& mode : CycleModes) {
    SCOPED_TRACE(mode.Name);
    SelectBox(mode.OnShortedBox ? vmbox::BoxCount() - 1 : 0);
    soak::TUsageTrack track;
    const int every = std::max(1, cycles / 100);
    int done = 0;
    for (; done < cycles; ++done) {
      if (done % every == 0) track.Sample();
      W->rgRunMode->Item(mode.RunMode)->click();
      W->Series1->clear();
      W->btnStart->click();
      if (mode.WaitFor && !PumpUntil([&] { return Count(mode.WaitFor) > 0; })) break;
      W->Series1->clear();
      if (!PumpUntil([&] { return W->Series1->count() > 0; })) break;
      StopRun();
      if (W->btnStart->text() != "Start") break;
      DrainLog({"Calibration aborted."});
    }
    EXPECT_EQ(done, cycles) << "the cycle did not reach its run mode or did not stop";
    track.Sample();
    std::printf("Dravik %s: %d cycles\n", mode.Name, done);
    track.Print(std::string("Dravik ") + mode.Name);
    track.ExpectFlat(std::string("Dravik ") + mode.Name);
  }
  std::printf("Dravik cycles: %.0f s of audio in %.0f s\n", vmbox::AudioSeconds() - start,
              Seconds(wall));
  DrainLog({"Calibration aborted."});
  ExpectNoErrors();
  EXPECT_TRUE(W->close());
}

} // namespace
} // namespace dravik
