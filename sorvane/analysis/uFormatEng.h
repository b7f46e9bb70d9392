#pragma once
// The number texts of the measuring core: values with an engineering prefix for the R, L and C
// results, and the fixed and exponent forms of the level-check and loss-tangent figures. Every
// text uses "." as decimal separator whatever the locale, and a value that is not a finite
// number is written as "?", so no "nan" or "inf" ever reaches the user.

#include <string>

namespace sorvane {

// x with 4 significant digits, scaled to a prefix and followed by a space and the prefix:
// "2.5 k", "1000 " (no prefix from 1 to 1000), "-47 n", "0 p". The micro prefix is U+00B5.
// A value that is not finite gives "? ", so that a unit written after it still reads sensibly.
std::string FormatEng(double x);

// x in fixed notation with `decimals` decimals; when that shows three or more digits before the
// point, general notation with two significant digits instead ("1.2E+02"). A value that rounds
// to zero carries no minus sign.
std::string FormatFixedShort(double x, int decimals);

// x in exponent notation with two significant digits and at least two exponent digits:
// "1.2E-01".
std::string FormatExponent2(double x);

// A measured value with its standard uncertainty, "3.30012 ± 0.00035 Ohm": the uncertainty to
// two significant digits, the value to the same decimal place (never more than 12 significant
// digits), both scaled to the prefix the value calls for (p n µ m k M G), then a space, the
// prefix and the unit. Without a usable uncertainty (below a part in 1e9 of the value, or not
// finite) the value is written as FormatEng writes it, followed by the unit.
std::string FormatMeasured(double value, double uncertainty, const std::string& unit);

// An upper bound, "< 1.2 mOhm": two significant digits, rounded up so that it stays a bound.
std::string FormatBound(double bound, const std::string& unit);

} // namespace sorvane
