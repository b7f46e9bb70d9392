#include "platform/lcr_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

namespace platform {
namespace {

using TKind = TMeterValue::TKind;
// A quantity of the readout as a function of the series resistance and reactance.
using TQuantity = std::function<double(double r, double x)>;

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();

// The standard uncertainty of q at z, from the covariance of z's parts: the gradient by central
// differences (every quantity is smooth where it is shown), u² = g C gᵀ.
double Propagated(const TQuantity& q, const TComplexEstimate& z) {
  if (!z.Known) return Nan;
  const double r = z.Value.real(), x = z.Value.imag();
  const double h = 1e-7 * std::max(std::abs(z.Value), 1e-300);
  const double gr = (q(r + h, x) - q(r - h, x)) / (2 * h);
  const double gx = (q(r, x + h) - q(r, x - h)) / (2 * h);
  const double variance = gr * gr * z.VarRe + gx * gx * z.VarIm + 2 * gr * gx * z.CovReIm;
  return std::sqrt(std::max(variance, 0.0));
}

TMeterValue Measured(const TQuantity& q, const TComplexEstimate& z) {
  return {TKind::Measured, q(z.Value.real(), z.Value.imag()), Propagated(q, z)};
}

// How far a part reaches from zero at most: its size and MeterSignificance uncertainties.
struct TPart {
  double Value, Uncertainty;
  bool Known;
  // Told from zero: beyond MeterSignificance uncertainties, or simply not zero when the
  // uncertainty is not known.
  bool Significant() const {
    return Known ? std::fabs(Value) > MeterSignificance * Uncertainty : Value != 0;
  }
  double Reach() const { return std::fabs(Value) + (Known ? MeterSignificance * Uncertainty : 0); }
};

struct TParts {
  TPart R, X;
  explicit TParts(const TComplexEstimate& z)
      : R{z.Value.real(), std::sqrt(std::max(z.VarRe, 0.0)), z.Known},
        X{z.Value.imag(), std::sqrt(std::max(z.VarIm, 0.0)), z.Known} {}
};

// q(r, x) = numerator(r, x) / |x| or / r, shown as a lower bound where the denominator cannot
// be told from zero: numerator over the denominator's reach.
TMeterValue RatioOrLowerBound(const TQuantity& q, const TComplexEstimate& z, const TPart& denominator,
                              double numerator) {
  if (denominator.Significant()) return Measured(q, z);
  if (!(numerator > 0) || !z.Known) return {};
  return {TKind::AtLeast, numerator / denominator.Reach(), Nan};
}

TMeterValue ResistanceOrUpperBound(const TComplexEstimate& z, const TPart& r) {
  if (r.Significant() && r.Value > 0) return Measured([](double r, double) { return r; }, z);
  if (!z.Known) return {TKind::Measured, r.Value, Nan};
  return {TKind::AtMost, std::max(r.Value, 0.0) + MeterSignificance * r.Uncertainty, Nan};
}

// Ls = X/ω or Cs = -1/(ωX); Lp = |Z|²/(ωX) or Cp = -X/(ω|Z|²); nothing for a resistor.
TMeterValue SeriesReactive(const TComplexEstimate& z, const TPart& x, double omega) {
  if (!x.Significant()) return {};
  if (x.Value > 0) return Measured([omega](double, double x) { return x / omega; }, z);
  return Measured([omega](double, double x) { return -1 / (omega * x); }, z);
}

TMeterValue ParallelReactive(const TComplexEstimate& z, const TPart& x, double omega) {
  if (!x.Significant()) return {};
  if (x.Value > 0)
    return Measured([omega](double r, double x) { return (r * r + x * x) / (omega * x); }, z);
  return Measured([omega](double r, double x) { return -x / (omega * (r * r + x * x)); }, z);
}

// Engineering notation: the power of ten (a multiple of 3, pico to giga) and its letter.
struct TPrefix {
  int Exponent = 0;
  const char* Letter = "";
};

// log10 that gives a power of ten exactly, so that 1e-4 is not taken for 0.99999e-4.
double Log10(double x) { return std::log10(x) + 1e-12; }

TPrefix PrefixFor(double magnitude, const std::string& unit) {
  static const char* const Letters[] = {"p", "n", "µ", "m", "", "k", "M", "G"};
  // Ratios and angles are written without a prefix.
  if (unit.empty() || unit == "°" || !(magnitude > 0) || !std::isfinite(magnitude)) return {};
  const int exponent = std::clamp(static_cast<int>(std::floor(Log10(magnitude) / 3)) * 3, -12, 9);
  return {exponent, Letters[(exponent + 12) / 3]};
}

std::string WithUnit(const std::string& number, const TPrefix& prefix, const std::string& unit) {
  const std::string letters = prefix.Letter + unit;
  return letters.empty() || unit == "°" ? number + letters : number + " " + letters;
}

std::string Printf(const char* format, int decimals, double a, double b = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, decimals, a, decimals, b);
  return text;
}

std::string FormatWithUncertainty(double value, double uncertainty, const std::string& unit) {
  const TPrefix prefix = PrefixFor(std::max(std::fabs(value), uncertainty), unit);
  const double scale = std::pow(10.0, prefix.Exponent);
  const double v = value / scale, u = uncertainty / scale;
  const int digit = static_cast<int>(std::floor(Log10(u)));
  // Never more than 12 significant digits, whatever the uncertainty says.
  const int valueDigit = v != 0 ? static_cast<int>(std::floor(Log10(std::fabs(v)))) : digit;
  const int last = std::max(digit - 1, valueDigit - 11);
  const double step = std::pow(10.0, last);
  const double vr = std::nearbyint(v / step) * step, ur = std::nearbyint(u / step) * step;
  return WithUnit(Printf("%.*f ± %.*f", std::max(0, -last), vr + 0.0, ur), prefix, unit);
}

std::string FormatPlain(double value, const std::string& unit) {
  const TPrefix prefix = PrefixFor(std::fabs(value), unit);
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value / std::pow(10.0, prefix.Exponent));
  return WithUnit(text, prefix, unit);
}

// Two significant digits, rounded away from the measured side so that a bound stays a bound.
std::string FormatBound(double bound, bool upper, const std::string& unit) {
  const TPrefix prefix = PrefixFor(bound, unit);
  const double scaled = bound / std::pow(10.0, prefix.Exponent);
  const int digit = scaled > 0 ? static_cast<int>(std::floor(Log10(scaled))) : 0;
  const double step = std::pow(10.0, digit - 1);
  const double rounded = upper ? std::ceil(scaled / step * (1 - 1e-12)) * step
                               : std::floor(scaled / step * (1 + 1e-12)) * step;
  return (upper ? "< " : "> ") + WithUnit(Printf("%.*f", std::max(0, 1 - digit), rounded), prefix, unit);
}

std::string Line(const std::string& name, const TMeterValue& value, const std::string& unit) {
  return name + " = " + FormatMeterValue(value, unit);
}

} // namespace

TComplexEstimate Inverted(const TComplexEstimate& estimate) {
  const std::complex<double> a = estimate.Value;
  TComplexEstimate inverse{1.0 / a, 0, 0, 0, estimate.Known};
  if (!estimate.Known) return inverse;
  // d(1/a) = -da / a²: the parts' gradient is the rotation and scaling by -1/a².
  const std::complex<double> k = -1.0 / (a * a);
  const double c = k.real(), s = k.imag();
  const double vr = estimate.VarRe, vi = estimate.VarIm, cv = estimate.CovReIm;
  inverse.VarRe = c * c * vr + s * s * vi - 2 * c * s * cv;
  inverse.VarIm = s * s * vr + c * c * vi + 2 * c * s * cv;
  inverse.CovReIm = c * s * vr - c * s * vi + (c * c - s * s) * cv;
  return inverse;
}

TEquivalentCircuit AutoEquivalent(double modulus) {
  return modulus < std::sqrt(10.0 * 10e3) ? TEquivalentCircuit::Series : TEquivalentCircuit::Parallel;
}

TEquivalentCircuit ChosenEquivalent(TEquivalentChoice choice, double modulus) {
  switch (choice) {
  case TEquivalentChoice::Series: return TEquivalentCircuit::Series;
  case TEquivalentChoice::Parallel: return TEquivalentCircuit::Parallel;
  case TEquivalentChoice::Auto: break;
  }
  return AutoEquivalent(modulus);
}

TLcrMeterReading ReadAsLcrMeter(double frequency, const TComplexEstimate& z, TEquivalentChoice choice) {
  const double omega = 2 * M_PI * frequency;
  const TParts parts(z);
  const double modulus = std::abs(z.Value);
  TLcrMeterReading reading;
  reading.Frequency = frequency;
  reading.Inductive = parts.X.Value > 0;
  reading.Equivalent = ChosenEquivalent(choice, modulus);
  reading.Modulus = Measured([](double r, double x) { return std::hypot(r, x); }, z);
  reading.PhaseDegrees = Measured([](double r, double x) { return std::atan2(x, r) * 180 / M_PI; }, z);
  reading.D = RatioOrLowerBound([](double r, double x) { return r / std::fabs(x); }, z, parts.X,
                                parts.R.Value);
  reading.Q = RatioOrLowerBound([](double r, double x) { return std::fabs(x) / r; }, z, parts.R,
                                std::fabs(parts.X.Value));
  reading.Esr = reading.Rs = ResistanceOrUpperBound(z, parts.R);
  reading.Xs = SeriesReactive(z, parts.X, omega);
  reading.Rp = RatioOrLowerBound([](double r, double x) { return (r * r + x * x) / r; }, z, parts.R,
                                 modulus * modulus);
  reading.Xp = ParallelReactive(z, parts.X, omega);
  return reading;
}

std::string FormatMeterValue(const TMeterValue& value, const std::string& unit) {
  if (value.Kind == TKind::None) return "?";
  if (!std::isfinite(value.Value)) return "?";
  switch (value.Kind) {
  case TKind::AtLeast: return FormatBound(value.Value, false, unit);
  case TKind::AtMost: return FormatBound(value.Value, true, unit);
  default: break;
  }
  if (std::isfinite(value.Uncertainty) && value.Uncertainty > 0)
    return FormatWithUncertainty(value.Value, value.Uncertainty, unit);
  return FormatPlain(value.Value, unit);
}

std::vector<std::string> LcrMeterLines(const TLcrMeterReading& reading) {
  std::vector<std::string> lines = {
      Line("f", {TKind::Measured, reading.Frequency, Nan}, "Hz"),
      Line("|Z|", reading.Modulus, "Ohm"),
      Line("θ", reading.PhaseDegrees, "°"),
      Line("D", reading.D, ""),
      Line("Q", reading.Q, ""),
      Line("ESR", reading.Esr, "Ohm")};
  const bool series = reading.Equivalent == TEquivalentCircuit::Series;
  const TMeterValue& x = series ? reading.Xs : reading.Xp;
  const std::string suffix = series ? "s" : "p";
  lines.push_back(Line("R" + suffix, series ? reading.Rs : reading.Rp, "Ohm"));
  if (x.Kind == TKind::None)
    lines.push_back("L" + suffix + ", C" + suffix + ": no reactance above the noise");
  else if (reading.Inductive)
    lines.push_back(Line("L" + suffix, x, "H"));
  else
    lines.push_back(Line("C" + suffix, x, "F"));
  return lines;
}

} // namespace platform
