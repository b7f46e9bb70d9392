#include "dravik/measure/uReadout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dravik {
namespace {

constexpr long double Degree = TwoPi / 360;

// The decimal prefix of engineering notation for a magnitude: the power of ten (a multiple of
// 3, from pico to giga) and its letter.
struct TPrefix {
  int Exponent = 0;
  const char* Letter = "";
};

// log10 that gives a power of ten exactly, so that 1e-4 is not taken for 0.99999e-4.
long double Log10(long double x) { return std::log10(x) + 1e-12L; }

TPrefix PrefixFor(long double magnitude) {
  static const char* const Letters[] = {"p", "n", "µ", "m", "", "k", "M", "G"};
  if (!(magnitude > 0) || !std::isfinite(magnitude)) return {};
  const int exponent = std::clamp(static_cast<int>(std::floor(Log10(magnitude) / 3)) * 3, -12, 9);
  return {exponent, Letters[(exponent + 12) / 3]};
}

std::string Printf(const char* format, long double a, int decimals = 0, long double b = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, decimals, static_cast<double>(a), decimals,
                static_cast<double>(b));
  return text;
}

std::string WithUnit(const std::string& number, const TPrefix& prefix, const std::string& unit) {
  const std::string letters = prefix.Letter + unit;
  // An angle's degree sign follows the number directly.
  return letters.empty() ? number : number + (unit == "°" ? "" : " ") + letters;
}

// Two significant digits, rounded up so that a bound stays a bound.
std::string FormatBound(long double bound, const std::string& unit) {
  const TPrefix prefix = PrefixFor(bound);
  const long double scaled = bound / std::pow(10.0L, prefix.Exponent);
  const int digit = scaled > 0 ? static_cast<int>(std::floor(Log10(scaled))) : 0;
  const long double step = std::pow(10.0L, digit - 1);
  const long double up = std::ceil(scaled / step * (1 - 1e-12L)) * step;
  return "< " + WithUnit(Printf("%.*f", up, std::max(0, 1 - digit)), prefix, unit);
}

std::string FormatPlain(long double value, long double uncertainty, bool known,
                        const std::string& unit, bool prefixed) {
  const long double reference = std::fabs(value) >= uncertainty || !known ? std::fabs(value) : uncertainty;
  const TPrefix prefix = prefixed ? PrefixFor(reference) : TPrefix{};
  const long double scale = std::pow(10.0L, prefix.Exponent);
  const long double v = value / scale;
  if (!known || !(uncertainty > 0) || !std::isfinite(uncertainty)) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3g ± ?", static_cast<double>(v));
    return WithUnit(text, prefix, unit);
  }
  const long double u = uncertainty / scale;
  const int digit = static_cast<int>(std::floor(Log10(u)));
  // The value never shows more than 12 significant digits, whatever the uncertainty says.
  const int valueDigit = v != 0 ? static_cast<int>(std::floor(Log10(std::fabs(v)))) : digit;
  const int last = std::max(digit - 1, valueDigit - 11);
  const long double step = std::pow(10.0L, last);
  const long double vr = std::nearbyint(v / step) * step;
  const long double ur = std::nearbyint(u / step) * step;
  return WithUnit(Printf("%.*f ± %.*f", vr, std::max(0, -last), ur), prefix, unit);
}

std::string ResistanceLine(const TLCRFitResult& fit) {
  if (!ResistanceIsBound(fit))
    return "R = " + FormatMeasured(fit.R, fit.UR, fit.HasUncertainty, "Ohm");
  if (!fit.HasUncertainty) return "R < ? Ohm";
  return "R " + FormatBound(std::max(fit.R, 0.0L) + SignificantUncertainties * fit.UR, "Ohm");
}

std::string ReactanceLine(const TLCRFitResult& fit) {
  if (ReadsAsResistor(fit)) return "Reads as a resistor: no L or C above the noise";
  switch (fit.Kind) {
  case TReactanceKind::Inductance:
    return "L = " + FormatMeasured(fit.Value, fit.UValue, fit.HasUncertainty, "H");
  case TReactanceKind::Capacitance:
    return "C = " + FormatMeasured(fit.Value, fit.UValue, fit.HasUncertainty, "F");
  case TReactanceKind::Unknown: break;
  }
  return "L, C: ?";
}

std::string ImpedanceLine(const TLCRFitResult& fit) {
  const TStrongestPoint& s = fit.Strongest;
  const long double modulus = std::hypot(s.Impedance.Re, s.Impedance.Im);
  const long double phase = std::atan2(s.Impedance.Im, s.Impedance.Re) / Degree;
  return "|Z| = " + FormatMeasured(modulus, s.UModulus, fit.HasUncertainty, "Ohm") + " at " +
         FloatToEng(s.Frequency) + "Hz\nPhase = " +
         FormatPlain(phase, s.UPhase / Degree, fit.HasUncertainty, "°", false);
}

} // namespace

std::string FormatMeasured(long double value, long double uncertainty, bool known,
                           const std::string& unit) {
  return FormatPlain(value, uncertainty, known, unit, true);
}

bool ReadsAsResistor(const TLCRFitResult& fit) {
  if (fit.Kind == TReactanceKind::Unknown)
    return fit.HasUncertainty && std::fabs(fit.L) <= SignificantUncertainties * fit.UL;
  return fit.HasUncertainty && fit.Value <= SignificantUncertainties * fit.UValue;
}

bool ResistanceIsBound(const TLCRFitResult& fit) {
  if (!fit.HasUncertainty) return fit.R < 0;
  return fit.R <= SignificantUncertainties * fit.UR;
}

std::string ReadoutText(const TLCRFitResult& fit) {
  if (!fit.HasResistance) return {};
  return ResistanceLine(fit) + "\n" + ReactanceLine(fit) + "\n" + ImpedanceLine(fit);
}

} // namespace dravik
