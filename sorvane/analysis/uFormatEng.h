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

} // namespace sorvane
