// Speed of the real FFT for the block lengths the second program uses, against a plain complex
// radix-2 transform and against FFTW (the field's reference, used by this benchmark only).
// Every variant starts each call from a fresh copy of the same random block, as the analysis
// transforms a fresh block each time. The counters give our time per transform over theirs
// (below 1: faster), measured side by side in the same run.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include "sorvane/numeric/uFFT.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

namespace {

std::vector<double> RandomBlock(int n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> x(n);
  for (double& v : x) v = u(rng);
  return x;
}

// Textbook transform: the real block as n complex values, bit reversal, butterflies with a
// precomputed table of n/2 twiddles.
class TPlainFFT {
public:
  explicit TPlainFFT(int n) : n_(n), data_(n), twiddle_(n / 2) {
    for (int k = 0; k < n / 2; ++k) twiddle_[k] = std::polar(1.0, 2 * M_PI * k / n);
  }
  void Run(const double* x) {
    for (int j = 0; j < n_; ++j) data_[j] = x[j];
    for (int i = 1, j = 0; i < n_; ++i) {
      int bit = n_ >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(data_[i], data_[j]);
    }
    for (int len = 2; len <= n_; len *= 2)
      for (int i = 0; i < n_; i += len)
        for (int k = 0; k < len / 2; ++k) {
          const std::complex<double> t = twiddle_[k * (n_ / len)] * data_[i + k + len / 2];
          data_[i + k + len / 2] = data_[i + k] - t;
          data_[i + k] += t;
        }
    benchmark::DoNotOptimize(data_.data());
  }

private:
  int n_;
  std::vector<std::complex<double>> data_;
  std::vector<std::complex<double>> twiddle_;
};

class TFftw {
public:
  explicit TFftw(int n) : n_(n) {
    in_ = fftw_alloc_real(n);
    out_ = fftw_alloc_complex(n / 2 + 1);
    plan_ = fftw_plan_dft_r2c_1d(n, in_, out_, FFTW_MEASURE);
  }
  ~TFftw() {
    fftw_destroy_plan(plan_);
    fftw_free(in_);
    fftw_free(out_);
  }
  TFftw(const TFftw&) = delete;
  TFftw& operator=(const TFftw&) = delete;
  void Run(const double* x) {
    std::memcpy(in_, x, n_ * sizeof(double));
    fftw_execute(plan_);
    benchmark::DoNotOptimize(out_);
  }

private:
  int n_;
  double* in_;
  fftw_complex* out_;
  fftw_plan plan_;
};

void RunRealFFT(std::vector<double>& work, const std::vector<double>& x) {
  std::copy(x.begin(), x.end(), work.begin());
  sorvane::RealFFT(work.data(), static_cast<int>(work.size()), true);
  benchmark::DoNotOptimize(work.data());
}

// CPU time of this thread, which time spent by other processes does not inflate.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Time per call of each variant: the best of many short bursts, the variants taking turns so
// that a busy machine slows them alike.
std::vector<double> SecondsPerCall(const std::vector<std::function<void()>>& variants) {
  std::vector<double> best(variants.size(), 1e9);
  for (int round = 0; round < 20; ++round) {
    for (size_t v = 0; v < variants.size(); ++v) {
      int calls = 0;
      const double start = ThreadSeconds();
      double spent = 0;
      while (spent < 0.004) {
        variants[v]();
        ++calls;
        spent = ThreadSeconds() - start;
      }
      best[v] = std::min(best[v], spent / calls);
    }
  }
  return best;
}

void BM_RealFFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x = RandomBlock(n);
  std::vector<double> work(n);
  for (auto _ : state) RunRealFFT(work, x);

  TPlainFFT plain(n);
  TFftw fftw(n);
  const std::vector<double> t = SecondsPerCall({[&] { RunRealFFT(work, x); },
                                                [&] { plain.Run(x.data()); },
                                                [&] { fftw.Run(x.data()); }});
  state.counters["vs_plain"] = t[0] / t[1];
  state.counters["vs_fftw"] = t[0] / t[2];
}

void BM_PlainFFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x = RandomBlock(n);
  TPlainFFT plain(n);
  for (auto _ : state) plain.Run(x.data());
}

void BM_Fftw(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> x = RandomBlock(n);
  TFftw fftw(n);
  for (auto _ : state) fftw.Run(x.data());
}

BENCHMARK(BM_RealFFT)->RangeMultiplier(2)->Range(2048, 65536)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFFT)->RangeMultiplier(2)->Range(2048, 65536)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fftw)->RangeMultiplier(2)->Range(2048, 65536)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
