// Cost of the multi-frequency analysis per captured block. The time of the analysis benchmarks is
// the thread's CPU time spent in AnalyseBlock alone (the machine may be busy with other work);
// the counters "cost@<rate>" give it as a fraction of the block's duration at each sampling rate
// that uses this block length (1.0 would use the whole time between two blocks). The
// calibration path (TCalibrIn applying offset and factor to both channels) is measured alike.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include "dravik/audio/uTestSignals.h"
#include "dravik/measure/uLCRAnalysis.h"
#include "dravik/signal/uCalibrIn.h"
#include "platform/clock.h"

#include <cmath>
#include <ctime>
#include <random>
#include <string>

namespace {

using dravik::TDataMatrix;

// Keeps what a chart would be given, so the result step pays for its copies.
class TSinkOutput : public dravik::TAnalysisOutput {
public:
  void SetResistanceText(const std::string& text) override { R = text; }
  void SetReactanceText(const std::string& text) override { Z = text; }
  void SetSeriesTitle(dravik::TSeriesId, const std::string& title) override { Title = title; }
  void SetSeriesPoints(dravik::TSeriesId, const dravik::TChartPoints& p) override { Points = p; }

private:
  std::string R, Z, Title;
  dravik::TChartPoints Points;
};

// Two channels of noise; the second a scaled copy of the first with its own noise.
TDataMatrix NoiseBlock(std::size_t n) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-0.5, 0.5);
  TDataMatrix block(2, dravik::TDataVector(n));
  for (std::size_t m = 0; m < n; ++m) {
    block[0][m] = u(rng);
    block[1][m] = 0.4L * block[0][m] + 0.1L * u(rng);
  }
  return block;
}

// The blocks are transformed in place, so each run starts from a fresh copy, outside the
// measured time (the capture device hands over a fresh block each time).
void Refill(TDataMatrix& work, const TDataMatrix& source) {
  for (std::size_t c = 0; c < source.size(); ++c)
    work[c].assign(source[c].begin(), source[c].end());
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void SetCostCounters(benchmark::State& state, std::size_t n, double secondsPerBlock) {
  for (const unsigned fs : {11025u, 22050u, 44100u, 48000u, 96000u, 192000u}) {
    if (dravik::MultiSinFrames(fs) != static_cast<int32_t>(n)) continue;
    const double blockSeconds = static_cast<double>(n) / fs;
    state.counters["cost@" + std::to_string(fs / 1000) + "k"] = secondsPerBlock / blockSeconds;
  }
}

void RunAnalysis(benchmark::State& state, double msPerBlock) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const TDataMatrix source = NoiseBlock(n);
  TDataMatrix work = source;
  platform::TManualClock clock;
  TSinkOutput output;
  dravik::TLCRAnalysis analysis(output);
  analysis.AnalyseBlock(work, 48000, static_cast<unsigned>(n)); // the first result
  double total = 0;
  for (auto _ : state) {
    Refill(work, source);
    clock.AdvanceMs(msPerBlock);
    const double start = ThreadCpuSeconds();
    analysis.AnalyseBlock(work, 48000, static_cast<unsigned>(n));
    const double seconds = ThreadCpuSeconds() - start;
    state.SetIterationTime(seconds);
    total += seconds;
  }
  if (state.iterations() > 0)
    SetCostCounters(state, n, total / static_cast<double>(state.iterations()));
}

// Blocks inside the one-second window: accumulation only.
void BM_AnalyseBlock(benchmark::State& state) { RunAnalysis(state, 0); }

// Every block closes a window: accumulation, fit and output.
void BM_AnalyseBlockWithResult(benchmark::State& state) { RunAnalysis(state, 1000); }

// The input calibration of one block: (x - offset) * factor on both channels, then the
// (here empty) list of consumers.
void BM_CalibrateBlock(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const TDataMatrix source = NoiseBlock(n);
  TDataMatrix work = source;
  dravik::TCalibrIn calibration;
  calibration.ChannelCal[0].Steps[0] = {0.0012L, 1.0L};
  calibration.ChannelCal[1].Steps[0] = {-0.0008L, 1.015L};
  double total = 0;
  for (auto _ : state) {
    Refill(work, source);
    const double start = ThreadCpuSeconds();
    calibration.Process(work);
    const double seconds = ThreadCpuSeconds() - start;
    state.SetIterationTime(seconds);
    total += seconds;
  }
  if (state.iterations() > 0)
    SetCostCounters(state, n, total / static_cast<double>(state.iterations()));
}

void BM_Four1(benchmark::State& state) {
  const int nn = static_cast<int>(state.range(0));
  dravik::TDataVector data(2 * static_cast<std::size_t>(nn));
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  for (auto& v : data) v = u(rng);
  // The transform multiplies the rms value by sqrt(nn); scaling back keeps repeated transforms
  // from drifting towards overflow or denormals.
  const long double scale = 1.0L / std::sqrt(static_cast<long double>(nn));
  for (auto _ : state) {
    dravik::Four1(data.data(), nn, 1);
    for (auto& v : data) v *= scale;
    benchmark::DoNotOptimize(data.data());
  }
}

// The same complex transform of nn long double points by FFTW's long double library (the
// field's reference, used by this benchmark only), sign +1 as Four1, planned once.
void BM_Fftwl(benchmark::State& state) {
  const int nn = static_cast<int>(state.range(0));
  fftwl_complex* data = fftwl_alloc_complex(static_cast<size_t>(nn));
  fftwl_plan plan = fftwl_plan_dft_1d(nn, data, data, FFTW_BACKWARD, FFTW_MEASURE);
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < nn; ++i) data[i][0] = u(rng), data[i][1] = u(rng);
  const long double scale = 1.0L / std::sqrt(static_cast<long double>(nn));
  for (auto _ : state) {
    fftwl_execute(plan);
    for (int i = 0; i < nn; ++i) data[i][0] *= scale, data[i][1] *= scale;
    benchmark::DoNotOptimize(data);
  }
  fftwl_destroy_plan(plan);
  fftwl_free(data);
}

} // namespace

BENCHMARK(BM_AnalyseBlock)->Arg(2048)->Arg(4096)->Arg(8192)->UseManualTime();
BENCHMARK(BM_AnalyseBlockWithResult)->Arg(2048)->Arg(4096)->Arg(8192)->UseManualTime();
BENCHMARK(BM_CalibrateBlock)->Arg(2048)->Arg(4096)->Arg(8192)->UseManualTime();
BENCHMARK(BM_Four1)->Arg(1024)->Arg(2048)->Arg(4096);
BENCHMARK(BM_Fftwl)->Arg(1024)->Arg(2048)->Arg(4096);

BENCHMARK_MAIN();
