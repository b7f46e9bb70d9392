#include "bench/accuracy/uStudyBox.h"

#include "platform/vmbox/uBoxSimulator.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <complex>

namespace study {

namespace {

using TSpectrum = std::vector<std::complex<double>>;

double RoundTo16Bits(double x) {
  const double code = std::clamp(std::nearbyint(x * 32768.0), -32768.0, 32767.0);
  return code / 32768.0;
}

// Spectrum of one channel of an interleaved block (bins 0 .. n/2).
TSpectrum ChannelSpectrum(const TStereo& block, size_t n, int channel) {
  std::vector<double> in(n);
  for (size_t i = 0; i < n; ++i) in[i] = block[2 * i + channel];
  TSpectrum out(n / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in.data(),
                                        reinterpret_cast<fftw_complex*>(out.data()),
                                        FFTW_ESTIMATE);
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  return out;
}

} // namespace

TStereo Record(const TBoxConfig& box, double fs, const std::vector<double>& period, size_t settle,
               size_t frames, bool quantise) {
  platform::vmbox::TBoxSimulator sim(box, fs);
  const size_t total = settle + frames;
  std::vector<double> out(total);
  for (size_t i = 0; i < total; ++i) out[i] = period[i % period.size()];
  TStereo in(2 * total);
  // In pieces of a block, as the card moves them.
  constexpr size_t Piece = 4096;
  for (size_t done = 0; done < total; done += Piece) {
    const size_t count = std::min(Piece, total - done);
    sim.Process(out.data() + done, count, in.data() + 2 * done);
  }
  TStereo kept(in.begin() + static_cast<std::ptrdiff_t>(2 * settle), in.end());
  if (quantise)
    for (double& v : kept) v = RoundTo16Bits(v);
  return kept;
}

size_t SettleFrames(const TBoxConfig& box, double fs) {
  platform::vmbox::TBoxSimulator sim(box, fs);
  // The jig's slowest pole, or the inputs' AC coupling, whichever is slower.
  double tau = platform::vmbox::TimeConstant(box.Circuit, box.Card.SourceImpedance);
  for (const double corner : box.Card.HighPassHz)
    if (corner > 0) tau = std::max(tau, 1 / (2 * std::numbers::pi * corner));
  return sim.LatencyFrames() + sim.FilterTaps() + static_cast<size_t>(12 * tau * fs) + 4096;
}

double MeasuredSigma(const TStereo& noisy, const TStereo& clean, size_t frames) {
  double sum = 0;
  for (size_t i = 0; i < 2 * frames; ++i) sum += (noisy[i] - clean[i]) * (noisy[i] - clean[i]);
  return std::sqrt(sum / static_cast<double>(2 * frames));
}

// Each bin k gives Zk = Rref (U - V) / V with a circular complex error whose real and
// imaginary parts each have the variance s = Rref^2 (v/|V|^2 + |U|^2 v/|V|^4), v = n sigma^2 / 2
// being the noise variance per part of one bin. R enters Re Zk directly, L as w L and C as
// -1/(w C) in Im Zk; the Fisher information adds over bins and blocks.
TBound CramerRao(const TStereo& clean, size_t n, double fs, const TBoxConfig& box, double sigma,
                 double blocks) {
  const TSpectrum u = ChannelSpectrum(clean, n, 0), v = ChannelSpectrum(clean, n, 1);
  double strongest = 0;
  for (size_t k = 1; k < n / 2; ++k) strongest = std::max(strongest, std::norm(u[k]));
  const double perPart = static_cast<double>(n) * sigma * sigma / 2;
  const double rref = box.Circuit.Rref, L = box.Circuit.L, C = box.Circuit.C;
  double infoR = 0, infoX = 0;
  TBound bound;
  for (size_t k = 1; k < n / 2; ++k) {
    if (!(std::norm(u[k]) > 1e-9 * strongest) || std::norm(v[k]) == 0) continue;
    const double v2 = std::norm(v[k]);
    const double s = rref * rref * (perPart / v2 + std::norm(u[k]) * perPart / (v2 * v2));
    const double w = 2 * M_PI * fs * static_cast<double>(k) / static_cast<double>(n);
    infoR += 1 / s;
    if (L > 0) infoX += w * w / s;
    else if (C > 0) infoX += 1 / (w * w * C * C * C * C * s);
    ++bound.Bins;
  }
  bound.R = infoR > 0 ? 1 / std::sqrt(infoR * blocks) : 0;
  bound.X = infoX > 0 ? 1 / std::sqrt(infoX * blocks) : 0;
  return bound;
}

} // namespace study
