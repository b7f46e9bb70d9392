#pragma once
// Where an axis puts its labelled ticks and how it writes them: round values (1, 2 or 5 times a
// power of ten) on a linear axis, the decades on a logarithmic one, each label with just the
// decimals that tell it from its neighbours. Plain arithmetic, no toolkit.

#include <string>
#include <vector>

namespace platform {

// The smallest of 1, 2 or 5 times a power of ten at or above raw (raw > 0).
double RoundStep(double raw);

struct TLinearTicks {
  double Step = 1;  // between labelled ticks, a 1-2-5 value
  int Decimals = 0; // what a label needs to show one step
};

// Ticks at whole multiples of a round step across lo..hi, at most maxCount of them (at least 2).
TLinearTicks LinearTicks(double lo, double hi, int maxCount);
// The multiples of the step inside lo..hi, in ascending order.
std::vector<double> LinearTickValues(double lo, double hi, const TLinearTicks& ticks);
// The printf format of the labels ("%.3f").
std::string LinearFormat(const TLinearTicks& ticks);

// The powers of ten inside lo..hi (0 < lo < hi).
std::vector<double> DecadeTickValues(double lo, double hi);
// The printf format of decade labels: plain numbers from 0.001 to below a million, otherwise
// a power of ten ("1e-06").
std::string DecadeFormat(double lo, double hi);

// A value written with a printf format holding one floating-point conversion; "-0" as "0".
std::string FormatTick(const std::string& format, double v);

} // namespace platform
