#include "platform/vmbox/uBoxValueText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace platform::vmbox {
namespace {

struct TPrefix {
  std::string_view Text;
  double Scale;
};
constexpr TPrefix Prefixes[] = {{"p", 1e-12}, {"n", 1e-9}, {"u", 1e-6}, {"\u00b5", 1e-6},
                                {"m", 1e-3},  {"k", 1e3},  {"M", 1e6}};

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The scale of a suffix "[prefix][unit]", or nothing when it is neither.
std::optional<double> SuffixScale(std::string_view suffix, std::string_view unit) {
  suffix = TrimBlanks(suffix);
  if (suffix.empty() || (!unit.empty() && SameText(suffix, unit))) return 1.0;
  for (const TPrefix& p : Prefixes) {
    if (suffix.substr(0, p.Text.size()) != p.Text) continue;
    const std::string_view rest = suffix.substr(p.Text.size());
    if (rest.empty() || (!unit.empty() && SameText(rest, unit))) return p.Scale;
  }
  return std::nullopt;
}

// a (positive) with 3 significant digits in scientific notation, without trailing zeros:
// "1e-75", "2.5e+14".
std::string Scientific(double a) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 2);
  if (res.ec != std::errc()) return "?";
  std::string s(buf, res.ptr);
  const size_t e = s.find('e');
  std::string mantissa = s.substr(0, e);
  while (mantissa.back() == '0') mantissa.pop_back();
  if (mantissa.back() == '.') mantissa.pop_back();
  return mantissa + s.substr(e);
}

// m rounded to 3 significant digits, written without trailing zeros.
std::string ThreeDigits(double m, int& carry) {
  int decimals = std::max(0, 2 - int(std::floor(std::log10(m))));
  double r = std::round(m * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
  carry = r >= 1000.0 ? 1 : 0;
  if (carry) return {};
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return Scientific(m);
  std::string s(buf, res.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

} // namespace

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::optional<double> ParseValue(std::string_view text, std::string_view unit) {
  text = TrimBlanks(text);
  double v = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec != std::errc() || !std::isfinite(v)) return std::nullopt;
  const auto scale = SuffixScale(text.substr(size_t(res.ptr - text.data())), unit);
  if (!scale) return std::nullopt;
  return v * *scale;
}

std::string FormatValue(double value, std::string_view unit) {
  static constexpr TPrefix Ladder[] = {{"p", 1e-12}, {"n", 1e-9}, {"u", 1e-6}, {"m", 1e-3},
                                       {"", 1.0},    {"k", 1e3},  {"M", 1e6},  {"G", 1e9}};
  constexpr int Count = int(std::size(Ladder));
  if (value == 0 || !std::isfinite(value)) return "0 " + std::string(unit);
  const std::string sign = value < 0 ? "-" : "";
  const double a = std::fabs(value);
  // Beyond the prefixes: the digits of a plain number would not fit any name.
  if (a < Ladder[0].Scale || a >= 1000 * Ladder[Count - 1].Scale)
    return sign + Scientific(a) + " " + std::string(unit);
  int i = 0;
  while (i + 1 < Count && a >= Ladder[i + 1].Scale) ++i;
  if (a >= 0.01 && a < 1.0) i = 4; // a plain fraction, not milli
  int carry = 0;
  std::string digits = ThreeDigits(a / Ladder[i].Scale, carry);
  if (carry && i + 1 < Count) digits = ThreeDigits(a / Ladder[++i].Scale, carry);
  return sign + digits + " " + std::string(Ladder[i].Text) + std::string(unit);
}

} // namespace platform::vmbox
