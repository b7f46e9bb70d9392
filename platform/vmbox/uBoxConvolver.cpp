#include "platform/vmbox/uBoxConvolver.h"

#include <algorithm>
#include <stdexcept>

namespace platform::vmbox {
namespace {

using TC = std::complex<double>;

// acc += a * b over n bins, written out: std::complex's operator* checks for infinities.
void MultiplyAdd(const TC* a, const TC* b, TC* acc, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    const double re = a[k].real() * b[k].real() - a[k].imag() * b[k].imag();
    const double im = a[k].real() * b[k].imag() + a[k].imag() * b[k].real();
    acc[k] = {acc[k].real() + re, acc[k].imag() + im};
  }
}

// Both channels at once, so that the input spectrum is read from memory once.
void MultiplyAdd2(const TC* a, const TC* b0, const TC* b1, TC* acc0, TC* acc1, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    const double ar = a[k].real(), ai = a[k].imag();
    acc0[k] = {acc0[k].real() + ar * b0[k].real() - ai * b0[k].imag(),
               acc0[k].imag() + ar * b0[k].imag() + ai * b0[k].real()};
    acc1[k] = {acc1[k].real() + ar * b1[k].real() - ai * b1[k].imag(),
               acc1[k].imag() + ar * b1[k].imag() + ai * b1[k].real()};
  }
}

} // namespace

TStereoConvolver::TStereoConvolver(size_t blockSize)
    : B(blockSize),
      Fft(2 * blockSize),
      Window(2 * blockSize),
      Current(blockSize + 1),
      Product(blockSize + 1),
      Time(2 * blockSize) {
  if (blockSize == 0 || (blockSize & (blockSize - 1)) != 0)
    throw std::invalid_argument("convolution block size is not a power of two");
  for (auto& t : Tail) t.assign(B + 1, TC{});
}

void TStereoConvolver::StoreFilter(const std::vector<double>& h, std::vector<TC>& partitions) {
  partitions.assign(P * (B + 1), TC{});
  std::vector<double> frame(2 * B);
  for (size_t p = 0; p < P; ++p) {
    std::fill(frame.begin(), frame.end(), 0.0);
    const size_t from = std::min(h.size(), p * B);
    const size_t to = std::min(h.size(), from + B);
    std::copy(h.begin() + long(from), h.begin() + long(to), frame.begin());
    Fft.Forward(frame.data(), &partitions[p * (B + 1)]);
  }
}

void TStereoConvolver::SetFilters(const std::vector<double>& left,
                                  const std::vector<double>& right) {
  const size_t taps = std::max<size_t>({left.size(), right.size(), 1});
  const size_t partitions = (taps + B - 1) / B;
  const bool keepHistory = partitions == P;
  P = partitions;
  StoreFilter(left, Filter[0]);
  StoreFilter(right, Filter[1]);
  if (!keepHistory) {
    History.assign((P - 1) * (B + 1), TC{});
    Reset();
  } else {
    ComputeTail();
  }
}

void TStereoConvolver::Reset() {
  std::fill(Window.begin(), Window.end(), 0.0);
  std::fill(History.begin(), History.end(), TC{});
  Fill = 0;
  Newest = 0;
  for (auto& t : Tail) std::fill(t.begin(), t.end(), TC{});
}

void TStereoConvolver::Process(const double* in, size_t n, double* outLeft, double* outRight) {
  if (P == 0) { // no filters yet: nothing passes
    std::fill(outLeft, outLeft + n, 0.0);
    std::fill(outRight, outRight + n, 0.0);
    return;
  }
  size_t done = 0;
  while (done < n) {
    const size_t count = std::min(n - done, B - Fill);
    std::copy(in + done, in + done + count, Window.begin() + long(B + Fill));
    ComputeBlock(done, count, outLeft, outRight);
    done += count;
    Fill += count;
    if (Fill == B) FinishBlock();
  }
}

void TStereoConvolver::ComputeBlock(size_t from, size_t count, double* outLeft, double* outRight) {
  Fft.Forward(Window.data(), Current.data());
  double* outs[2] = {outLeft, outRight};
  for (int c = 0; c < 2; ++c) {
    std::copy(Tail[c].begin(), Tail[c].end(), Product.begin());
    MultiplyAdd(Current.data(), Filter[c].data(), Product.data(), B + 1);
    Fft.Inverse(Product.data(), Time.data());
    // Overlap-save: the second half of the circular result is the linear convolution.
    std::copy(Time.begin() + long(B + Fill), Time.begin() + long(B + Fill + count), outs[c] + from);
  }
}

void TStereoConvolver::FinishBlock() {
  if (P > 1) {
    Newest = (Newest + 1) % (P - 1);
    std::copy(Current.begin(), Current.end(), History.begin() + long(Newest * (B + 1)));
  }
  std::copy(Window.begin() + long(B), Window.end(), Window.begin());
  std::fill(Window.begin() + long(B), Window.end(), 0.0);
  Fill = 0;
  ComputeTail();
}

void TStereoConvolver::ComputeTail() {
  for (auto& t : Tail) std::fill(t.begin(), t.end(), TC{});
  // Partition p meets the block p blocks back.
  for (size_t p = 1; p < P; ++p) {
    const size_t slot = (Newest + (P - 1) - (p - 1)) % (P - 1);
    MultiplyAdd2(&History[slot * (B + 1)], &Filter[0][p * (B + 1)], &Filter[1][p * (B + 1)],
                 Tail[0].data(), Tail[1].data(), B + 1);
  }
}

} // namespace platform::vmbox
