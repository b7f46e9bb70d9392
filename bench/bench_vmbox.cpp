// How much faster than real time the virtual measuring box runs. "xRealTime" is seconds of
// stereo input simulated per second of processor time: above 1 the box keeps up with a real
// card at that rate.

#include <benchmark/benchmark.h>

#include "platform/vmbox/uBoxSimulator.h"

#include <cmath>
#include <vector>

using namespace platform::vmbox;

namespace {

const TCircuit Circuits[] = {
    {3.3, 1e-3, 0, 10, false}, // short impulse responses
    {10, 1.0, 0, 10, false},   // 45 ms time constant: the longest default-size filters
};

// Args: sample rate, circuit index, frames per call.
void BM_BoxProcess(benchmark::State& state) {
  const double fs = double(state.range(0));
  TBoxConfig config;
  config.Circuit = Circuits[state.range(1)];
  TBoxSimulator sim(config, fs);
  const auto frames = size_t(state.range(2));
  std::vector<double> out(frames), in(2 * frames);
  for (size_t i = 0; i < frames; ++i) out[i] = 0.4 * std::sin(0.05 * double(i));
  for (auto _ : state) {
    sim.Process(out.data(), frames, in.data());
    benchmark::DoNotOptimize(in.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(frames));
  state.counters["taps"] = double(sim.FilterTaps());
  state.counters["xRealTime"] = benchmark::Counter(double(state.iterations()) * double(frames) / fs,
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BoxProcess)
    ->ArgsProduct({{48000, 96000, 192000}, {0, 1}, {2048}})
    ->ArgsProduct({{48000}, {0, 1}, {192}}) // 4 ms steps, as the virtual card runs
    ->ArgsProduct({{192000}, {0, 1}, {768}})
    ->Unit(benchmark::kMicrosecond);

// Opening a device designs the filters: the worst default case at each rate.
void BM_BoxOpen(benchmark::State& state) {
  TBoxConfig config;
  config.Circuit = Circuits[1];
  for (auto _ : state) {
    TBoxSimulator sim(config, double(state.range(0)));
    benchmark::DoNotOptimize(&sim);
  }
}
BENCHMARK(BM_BoxOpen)->Arg(48000)->Arg(192000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
