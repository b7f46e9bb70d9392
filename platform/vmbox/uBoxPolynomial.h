#pragma once
// Real polynomials in the Laplace variable s, coefficients in ascending powers, and the slowest
// decay of the natural modes that a characteristic polynomial describes. Used to size the box's
// filters for a component under test given as a network.

#include <vector>

namespace platform::vmbox {

using TPolynomial = std::vector<long double>; // p[k] multiplies s^k

TPolynomial Add(const TPolynomial& a, const TPolynomial& b);
TPolynomial Multiply(const TPolynomial& a, const TPolynomial& b);

// The slowest time constant (seconds) of the modes exp(r t) for the roots r of p: the largest
// -1 / Re(r). Roots at s = 0 are dropped (they stand for a factor s that a network's numerator
// and denominator share). 0 when p has no other root; infinite when a root does not decay.
double SlowestTimeConstant(TPolynomial p);

} // namespace platform::vmbox
