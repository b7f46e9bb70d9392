#pragma once
// In-place FFT of a real block of samples, leaving a packed half spectrum in the same doubles:
//   double 0        X[0], the DC value (real)
//   double 1        X[n/2], the value at half the sampling rate (real)
//   doubles 2k,2k+1 Re and Im of X[k] for k = 1 .. n/2 - 1 (read them with BinAt, uCom.h)
// Pure computation on the caller's memory: no allocation, no state, callable from any thread.

namespace sorvane {

// forward = true: n real samples x[j] become X[k] = sum_j x[j] * exp(+2*pi*i*j*k/n), unscaled.
// forward = false: a packed spectrum becomes the n samples whose forward transform it is (the
// inverse carries the factor 2/n), so a forward then an inverse transform returns the input.
// n must be a power of two, at least 2; for any other n the data are left untouched.
void RealFFT(double* data, int n, bool forward);

} // namespace sorvane
