#pragma once
// Component values as people write them: a number with an optional SI prefix (p n u m k M; the
// micro sign too) and an optional unit, read and written with "." as decimal separator whatever
// the locale.

#include <optional>
#include <string>
#include <string_view>

namespace platform::vmbox {

// s without leading and trailing white space.
std::string_view TrimBlanks(std::string_view s);

// "3.3", "1m", "10u", "100nF", "2.2 kOhm" -> the value in base units. `unit` is the unit that
// may follow (compared without regard to case; empty: none). Nothing else may follow the number;
// empty, non-finite or malformed text gives no value.
std::optional<double> ParseValue(std::string_view text, std::string_view unit);

// A value with at most 3 significant digits and the prefix that puts the number in [1, 1000),
// then a blank and the unit: 0.001 H -> "1 mH", 1e-5 F -> "10 uF", 2200 Ohm -> "2.2 kOhm".
// Values from 0.01 to 1 keep a plain decimal fraction ("0.2 Ohm"), as people write resistances.
std::string FormatValue(double value, std::string_view unit);

} // namespace platform::vmbox
