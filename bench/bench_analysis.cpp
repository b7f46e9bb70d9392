#include <benchmark/benchmark.h>

#include "dravik/measure/uFour1.h"

#include <random>

static void BM_Four1(benchmark::State& state) {
  const int nn = static_cast<int>(state.range(0));
  dravik::TDataVector data(2 * nn);
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  for (auto& v : data) v = u(rng);
  for (auto _ : state) {
    dravik::Four1(data.data(), nn, 1);
    benchmark::DoNotOptimize(data.data());
  }
}
BENCHMARK(BM_Four1)->Arg(1024)->Arg(2048)->Arg(4096);

BENCHMARK_MAIN();
