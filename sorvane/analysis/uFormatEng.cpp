#include "sorvane/analysis/uFormatEng.h"

#include <array>
#include <charconv>
#include <algorithm>
#include <cmath>
#include <string_view>

namespace sorvane {
namespace {

constexpr std::string_view Unknown = "?";

// std::to_chars is independent of the C locale, unlike printf and streams.
std::string ToChars(double x, std::chars_format format, int precision) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), x, format,
                                    precision);
  std::string text(buffer.data(), result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

// -0 and values that round to zero print without a sign.
std::string WithoutNegativeZero(std::string text) {
  if (!text.empty() && text[0] == '-' &&
      text.find_first_of("123456789", 1) == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

struct TPrefix {
  double Scale;
  const char* Suffix;
};

TPrefix PrefixFor(double a) {
  if (a > 1e6) return {1e-6, " M"};
  if (a > 1e3) return {1e-3, " k"};
  if (a >= 1) return {1, " "};
  if (a >= 1e-3) return {1e3, " m"};
  if (a >= 1e-6) return {1e6, " \u00B5"};
  if (a >= 1e-9) return {1e9, " n"};
  return {1e12, " p"};
}

// The prefix of engineering notation for a magnitude, from pico to giga: its power of ten (a
// multiple of 3) and its letter.
struct TDecade {
  int Exponent = 0;
  const char* Letter = "";
};

TDecade DecadeFor(double magnitude) {
  static const char* const Letters[] = {"p", "n", "\u00B5", "m", "", "k", "M", "G"};
  if (!(magnitude > 0) || !std::isfinite(magnitude)) return {};
  const int e = static_cast<int>(std::floor(std::log10(magnitude) / 3)) * 3;
  const int exponent = e < -12 ? -12 : e > 9 ? 9 : e;
  return {exponent, Letters[(exponent + 12) / 3]};
}

std::string WithUnit(const std::string& number, const TDecade& decade, const std::string& unit) {
  return number + " " + decade.Letter + unit;
}

} // namespace

std::string FormatMeasured(double value, double uncertainty, const std::string& unit) {
  if (!std::isfinite(value)) return FormatEng(value) + unit;
  // Below a part in 1e9 an uncertainty says nothing about a measurement (it is the rounding of
  // the arithmetic): such a value is written as one without a known uncertainty.
  if (!(uncertainty > 1e-9 * std::fabs(value)) || !std::isfinite(uncertainty))
    return FormatEng(value) + unit;
  const TDecade decade = DecadeFor(std::max(std::fabs(value), uncertainty));
  const double scale = std::pow(10.0, decade.Exponent);
  const double v = value / scale, u = uncertainty / scale;
  const int digit = static_cast<int>(std::floor(std::log10(u)));
  const int valueDigit = v != 0 ? static_cast<int>(std::floor(std::log10(std::fabs(v)))) : digit;
  const int last = std::max(digit - 1, valueDigit - 11);
  const double step = std::pow(10.0, last);
  const int decimals = std::max(0, -last);
  const std::string vt = WithoutNegativeZero(
      ToChars(std::nearbyint(v / step) * step, std::chars_format::fixed, decimals));
  const std::string ut = ToChars(std::nearbyint(u / step) * step, std::chars_format::fixed, decimals);
  return WithUnit(vt + " \u00B1 " + ut, decade, unit);
}

std::string FormatBound(double bound, const std::string& unit) {
  if (!(bound > 0) || !std::isfinite(bound)) return "< " + FormatEng(bound) + unit;
  const TDecade decade = DecadeFor(bound);
  const double scaled = bound / std::pow(10.0, decade.Exponent);
  const int digit = static_cast<int>(std::floor(std::log10(scaled)));
  const double step = std::pow(10.0, digit - 1);
  const double up = std::ceil(scaled / step * (1 - 1e-12)) * step;
  return "< " + WithUnit(ToChars(up, std::chars_format::fixed, std::max(0, 1 - digit)), decade, unit);
}

std::string FormatEng(double x) {
  if (!std::isfinite(x)) return std::string(Unknown) + " ";
  const TPrefix p = PrefixFor(std::fabs(x));
  return WithoutNegativeZero(ToChars(x * p.Scale, std::chars_format::general, 4)) + p.Suffix;
}

std::string FormatFixedShort(double x, int decimals) {
  if (!std::isfinite(x)) return std::string(Unknown);
  std::string text = WithoutNegativeZero(ToChars(x, std::chars_format::fixed, decimals));
  const size_t start = text[0] == '-' ? 1 : 0;
  const size_t point = text.find('.');
  const size_t integerDigits = (point == std::string::npos ? text.size() : point) - start;
  if (integerDigits >= 3) text = ToChars(x, std::chars_format::general, 2);
  return text;
}

std::string FormatExponent2(double x) {
  if (!std::isfinite(x)) return std::string(Unknown);
  return WithoutNegativeZero(ToChars(x, std::chars_format::scientific, 1));
}

} // namespace sorvane
