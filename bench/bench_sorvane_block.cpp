// Cost of Sorvane's work per delivered block, at every sampling rate the program offers, with
// the block length it uses there (2048, 4096, 8192). The counter "of300ms" gives the thread's
// CPU time per block as a fraction of the 300 ms between two hand-offs (1.0 would leave no
// time for anything else); the time is the thread's CPU time alone.
#include <benchmark/benchmark.h>

#include "sorvane/numeric/uFFT.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uSignalIn.h"
#include "sorvane/ui/uSorvaneChart.h"

#include <QApplication>
#include <cmath>
#include <ctime>
#include <random>

namespace {

constexpr double HandOffSeconds = 0.3;
constexpr double LoHz = 20, HiHz = 20000;

int BlockLength(int fs) { return 1 << static_cast<int>(std::nearbyint(std::log2(fs / 20.0))); }

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A block as the hand-off delivers it: the second channel a scaled copy of the first with
// noise of its own.
sorvane::TWaveData NoiseBlock(int n) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-0.5, 0.5);
  sorvane::TWaveData wave;
  sorvane::SetWaveLength(wave, static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    wave[0][i] = u(rng);
    wave[1][i] = 0.4 * wave[0][i] + 0.1 * u(rng);
  }
  return wave;
}

// Runs `step` on a fresh copy of the block each time (the copy outside the measured time).
template <typename TStep>
void Run(benchmark::State& state, const sorvane::TWaveData& source, TStep step) {
  sorvane::TWaveData work = source;
  double total = 0;
  for (auto _ : state) {
    sorvane::CopyWave(source, work);
    const double start = ThreadCpuSeconds();
    step(work);
    const double seconds = ThreadCpuSeconds() - start;
    state.SetIterationTime(seconds);
    total += seconds;
  }
  if (state.iterations() > 0)
    state.counters["of300ms"] = total / static_cast<double>(state.iterations()) / HandOffSeconds;
}

sorvane::TWaveData Spectra(int n) {
  sorvane::TWaveData wave = NoiseBlock(n);
  for (auto& c : wave) sorvane::RealFFT(c.data(), n, true);
  return wave;
}

void BM_ProcessBlock(benchmark::State& state, bool calibration) {
  const int fs = static_cast<int>(state.range(0)), n = BlockLength(fs);
  sorvane::TSignalIn in;
  in.SetSampleRate(static_cast<DWORD>(fs));
  in.SetBlockLength(n);
  if (calibration) in.StartCalibration(20, 22000);
  else in.StartMeasurement();
  Run(state, NoiseBlock(n), [&](sorvane::TWaveData& w) { in.ProcessBlock(w); });
}
void BM_ProcessBlockMeasure(benchmark::State& s) { BM_ProcessBlock(s, false); }
void BM_ProcessBlockCalibration(benchmark::State& s) { BM_ProcessBlock(s, true); }

void BM_ComputeImpedance(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0)), n = BlockLength(fs);
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, LoHz, HiHz, fs);
  Run(state, Spectra(n), [&](sorvane::TWaveData& w) {
    benchmark::DoNotOptimize(sorvane::ComputeImpedanceBins(w, false, bins, 10, true, fs));
  });
}

void BM_ComputeTransfer(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0)), n = BlockLength(fs);
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, LoHz, HiHz, fs);
  Run(state, Spectra(n), [&](sorvane::TWaveData& w) { sorvane::ComputeTransferBins(w, false, bins); });
}

// The chart points of one drawn block: Re and Im of Zx and the two model curves, handed to the
// chart's series (which thins what it paints).
void BM_ChartPoints(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0)), n = BlockLength(fs);
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, LoHz, HiHz, fs);
  sorvane::TSorvaneChart chart;
  chart.SetBottomLog(true);
  Run(state, Spectra(n), [&](sorvane::TWaveData& w) {
    std::array<QList<QPointF>, 4> points;
    for (int k = bins.Lo; k <= bins.Hi; ++k) {
      const double f = static_cast<double>(k) * fs / n;
      const sorvane::TComplexD z = sorvane::BinAt(w[0].data(), k), m = sorvane::BinAt(w[1].data(), k);
      points[0].append({f, z.Re});
      points[1].append({f, z.Im});
      points[2].append({f, m.Re});
      points[3].append({f, m.Im});
    }
    for (int i = 0; i < 4; ++i) chart.SetPoints(i, points[i]);
  });
}

} // namespace

#define SORVANE_RATES ->Arg(48000)->Arg(96000)->Arg(192000)->UseManualTime()
BENCHMARK(BM_ProcessBlockMeasure) SORVANE_RATES;
BENCHMARK(BM_ProcessBlockCalibration) SORVANE_RATES;
BENCHMARK(BM_ComputeImpedance) SORVANE_RATES;
BENCHMARK(BM_ComputeTransfer) SORVANE_RATES;
BENCHMARK(BM_ChartPoints) SORVANE_RATES;

int main(int argc, char** argv) {
  QApplication app(argc, argv); // the chart's series need it
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
