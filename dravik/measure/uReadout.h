#pragma once
// The readout of a result: R and L or C, each with as many digits as its uncertainty supports
// and "±" the uncertainty, and |Z| and its phase at the strongest frequency (the one that
// carried the most weight). A resistance that
// cannot be told from zero is shown as a bound ("< x"), a reactance that cannot be told from
// zero as a component that reads as a resistor.

#include "dravik/measure/uLCRFit.h"

#include <string>

namespace dravik {

// A value is told from zero when it lies more than this many of its uncertainties from it.
constexpr long double SignificantUncertainties = 2;

// "3.30012 ± 0.00035 Ohm": the uncertainty to two significant digits, the value to the same
// decimal place, both with the decimal prefix the value calls for; "± ?" and three digits when
// the uncertainty is not known.
std::string FormatMeasured(long double value, long double uncertainty, bool known,
                           const std::string& unit);

// The fitted L or C lies within SignificantUncertainties of zero (or the fit found neither):
// the component shows no reactance above the noise. False when the uncertainty is not known
// and the fit found an L or a C.
bool ReadsAsResistor(const TLCRFitResult& fit);

// The resistance cannot be told from zero, or is negative: it is shown as a bound.
bool ResistanceIsBound(const TLCRFitResult& fit);

// The readout's lines, separated by '\n'; empty without a result.
std::string ReadoutText(const TLCRFitResult& fit);

} // namespace dravik
