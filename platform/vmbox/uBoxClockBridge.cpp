#include "platform/vmbox/uBoxClockBridge.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::vmbox {
namespace {

constexpr int HalfWidth = 24; // interpolation taps on each side
constexpr int Phases = 2048;  // kernel rows per frame; linear between rows
constexpr double KaiserBeta = 9.0;

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 60 && term > 1e-17 * sum; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
  }
  return sum;
}

double WindowedSinc(double x) {
  const double u = x / HalfWidth;
  if (std::fabs(u) >= 1) return 0;
  const double sinc = x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
  return sinc * BesselI0(KaiserBeta * std::sqrt(1 - u * u)) / BesselI0(KaiserBeta);
}

// Row p holds the weights of the samples at offsets 1-HalfWidth .. HalfWidth from the frame
// below a position p/Phases past it; each row sums to 1 so a constant passes exactly.
std::vector<double> MakeKernel() {
  std::vector<double> k((Phases + 1) * 2 * HalfWidth);
  for (int p = 0; p <= Phases; ++p) {
    double* row = &k[size_t(p) * 2 * HalfWidth];
    double sum = 0;
    for (int j = 0; j < 2 * HalfWidth; ++j)
      sum += row[j] = WindowedSinc(j + 1 - HalfWidth - double(p) / Phases);
    for (int j = 0; j < 2 * HalfWidth; ++j) row[j] /= sum;
  }
  return k;
}

} // namespace

TClockBridge::TClockBridge(size_t delay, double ppm, double sampleRate)
    : Delay(std::max(delay, MinDelay(ppm))),
      Ratio(1.0L + ppm * 1e-6L),
      Resampling(ppm != 0),
      MaxWait(Delay + size_t(std::max(sampleRate, 8192.0))) {
  if (Resampling) Kernel = MakeKernel();
  Reset();
}

size_t TClockBridge::MinDelay(double ppm) { return ppm != 0 ? HalfWidth + 2 : 0; }

void TClockBridge::Reset() {
  Queue.assign(Delay, 0.0); // what the inputs hear before the first frame arrives
  QueueStart = 0;
  Written = Delay;
  Recorded = Played = 0;
  Skip = 0;
}

long double TClockBridge::Position(uint64_t frame) const {
  return Skip + (Resampling ? (long double)frame * Ratio : (long double)frame);
}

size_t TClockBridge::OutputFramesFor(size_t inFrames) const {
  const auto target = uint64_t(std::floor((long double)(Recorded + inFrames) * Ratio));
  return target > Played ? size_t(target - Played) : 0;
}

void TClockBridge::Write(const double* out, size_t n, double scale) {
  for (size_t i = 0; i < n; ++i) Queue.push_back(out ? out[i] * scale : 0.0);
  Written += n;
  Played += n;
  const long double waiting = (long double)Written - Position(Recorded);
  if (waiting > (long double)MaxWait) Skip += waiting - (long double)MaxWait;
}

void TClockBridge::Pad(uint64_t end) {
  if (end <= Written) return;
  Queue.resize(Queue.size() + size_t(end - Written), 0.0);
  Written = end;
}

double TClockBridge::At(int64_t index) const {
  if (index < int64_t(QueueStart) || index >= int64_t(Written)) return 0.0;
  return Queue[size_t(index - int64_t(QueueStart))];
}

double TClockBridge::Interpolate(long double pos) const {
  const auto base = int64_t(std::floor(pos));
  const double phase = double(pos - (long double)base) * Phases;
  const int row = std::min(int(phase), Phases - 1);
  const double frac = phase - row;
  const double* lo = &Kernel[size_t(row) * 2 * HalfWidth];
  const double* hi = lo + 2 * HalfWidth;
  double sum = 0;
  for (int j = 0; j < 2 * HalfWidth; ++j)
    sum += (lo[j] + frac * (hi[j] - lo[j])) * At(base + 1 - HalfWidth + j);
  return sum;
}

void TClockBridge::Read(double* x, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const long double pos = Position(Recorded++);
    if (!Resampling) {
      const auto index = uint64_t(pos);
      Pad(index + 1);
      x[i] = At(int64_t(index));
    } else {
      Pad(uint64_t(std::floor(pos)) + HalfWidth + 1);
      x[i] = Interpolate(pos);
    }
  }
  const long double next = Position(Recorded);
  const long double keep = next - HalfWidth - 1;
  if (keep > 0) Discard(uint64_t(keep));
}

void TClockBridge::Discard(uint64_t below) {
  // Moves the queue down only now and then, so each frame is moved a bounded number of times.
  if (below <= QueueStart || below - QueueStart < 4096 || below - QueueStart < Queue.size() / 2)
    return;
  const auto drop = size_t(std::min<uint64_t>(below - QueueStart, Queue.size()));
  Queue.erase(Queue.begin(), Queue.begin() + long(drop));
  QueueStart += drop;
}

} // namespace platform::vmbox
