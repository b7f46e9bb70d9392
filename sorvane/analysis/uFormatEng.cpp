#include "sorvane/analysis/uFormatEng.h"

#include <array>
#include <charconv>
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

} // namespace

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
