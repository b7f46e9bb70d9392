#include "platform/vmbox/uBoxImpedanceModel.h"

#include "platform/vmbox/uBoxValueText.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace platform::vmbox {
namespace {

double Omega(double f) { return 2.0 * std::numbers::pi * f; }

const TComplexD OpenPath(std::numeric_limits<double>::infinity(), 0.0);

bool IsOpen(TComplexD z) { return std::isinf(z.real()) || std::isinf(z.imag()); }

TComplexD InSeries(TComplexD a, TComplexD b) { return IsOpen(a) || IsOpen(b) ? OpenPath : a + b; }

TComplexD InParallel(TComplexD a, TComplexD b) {
  if (IsOpen(a)) return b;
  if (IsOpen(b)) return a;
  if (a == 0.0 || b == 0.0) return 0.0;
  const TComplexD sum = a + b;
  return sum == 0.0 ? OpenPath : a * b / sum;
}

TComplexD PartImpedance(TPartKind kind, double value, double w) {
  switch (kind) {
  case TPartKind::R: return value;
  case TPartKind::L: return {0.0, w * value};
  default: return w == 0 ? OpenPath : TComplexD(0.0, -1.0 / (w * value));
  }
}

TRational PartLaplace(TPartKind kind, long double value) {
  switch (kind) {
  case TPartKind::R: return {{value}, {1}};
  case TPartKind::L: return {{0, value}, {1}};
  default: return {{1}, {0, value}};
  }
}

// N1/D1 + N2/D2 over D1 D2; the parallel form is the same with numerator and denominator
// exchanged, as admittances add.
TRational SumOver(const TRational& a, const TRational& b) {
  return {Add(Multiply(a.N, b.D), Multiply(b.N, a.D)), Multiply(a.D, b.D)};
}

TRational Inverted(TRational z) { return {std::move(z.D), std::move(z.N)}; }

std::string PartText(TPartKind kind, double value, bool compact) {
  const char* unit = kind == TPartKind::R ? "Ohm" : kind == TPartKind::L ? "H" : "F";
  std::string s = FormatValue(value, unit);
  if (compact) std::erase(s, ' ');
  return s;
}

// A number without a unit: FormatValue's digits and prefix without the blank before the unit.
std::string Plain(double value) {
  std::string s = FormatValue(value, "");
  if (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string InRange(double v, double lo, double hi, const std::string& message) {
  return std::isfinite(v) && v >= lo && v <= hi ? std::string() : message;
}

} // namespace

TComplexD NetworkImpedance(const TNetwork& n, double f) {
  const double w = Omega(f);
  if (n.Kind != TPartKind::Series && n.Kind != TPartKind::Parallel)
    return PartImpedance(n.Kind, n.Value, w);
  const bool series = n.Kind == TPartKind::Series;
  TComplexD z = series ? TComplexD(0.0) : OpenPath;
  for (const TNetwork& part : n.Parts) {
    const TComplexD zp = NetworkImpedance(part, f);
    z = series ? InSeries(z, zp) : InParallel(z, zp);
  }
  return z;
}

TRational NetworkLaplace(const TNetwork& n) {
  if (n.Kind != TPartKind::Series && n.Kind != TPartKind::Parallel)
    return PartLaplace(n.Kind, n.Value);
  const bool series = n.Kind == TPartKind::Series;
  TRational z = series ? TRational{{0}, {1}} : TRational{{1}, {0}};
  for (const TNetwork& part : n.Parts) {
    const TRational zp = NetworkLaplace(part);
    z = series ? SumOver(z, zp) : Inverted(SumOver(Inverted(z), Inverted(zp)));
  }
  return z;
}

std::string PartFault(TPartKind kind, double value) {
  switch (kind) {
  case TPartKind::R: return InRange(value, 0, 1e9, "R must be from 0 to 1 GOhm");
  case TPartKind::L: return InRange(value, 0, 1e3, "L must be from 0 to 1 kH");
  case TPartKind::C:
    return value > 0 && value <= 1 ? std::string() : "C must be above 0 and at most 1 F";
  default: return {};
  }
}

std::string ValidateNetwork(const TNetwork& n) {
  std::string fault = PartFault(n.Kind, n.Value);
  for (const TNetwork& part : n.Parts)
    if (fault.empty()) fault = ValidateNetwork(part);
  return fault;
}

std::string NetworkText(const TNetwork& n, bool compact) {
  if (n.Kind != TPartKind::Series && n.Kind != TPartKind::Parallel)
    return PartText(n.Kind, n.Value, compact);
  const bool series = n.Kind == TPartKind::Series;
  const std::string joint = series ? (compact ? "+" : " + ") : (compact ? "|" : " | ");
  std::string s;
  for (const TNetwork& part : n.Parts) {
    const std::string text = NetworkText(part, compact);
    const bool bracket = !series && part.Kind == TPartKind::Series;
    s += (s.empty() ? "" : joint) + (bracket ? "(" + text + ")" : text);
  }
  return s;
}

double TLoudspeaker::Res() const { return Re * Qms / Qes; }
double TLoudspeaker::Cmes() const { return Qes / (Omega(Fs) * Re); }
double TLoudspeaker::Lces() const { return 1.0 / (Omega(Fs) * Omega(Fs) * Cmes()); }

std::string ValidateLoudspeaker(const TLoudspeaker& s) {
  for (const std::string& fault :
       {InRange(s.Re, 1e-2, 1e3, "Re must be from 10 mOhm to 1 kOhm"),
        InRange(s.Le, 0, 1, "Le must be from 0 to 1 H"),
        InRange(s.Fs, 1, 2e4, "fs must be from 1 Hz to 20 kHz"),
        InRange(s.Qms, 1e-2, 100, "Qms must be from 0.01 to 100"),
        InRange(s.Qes, 1e-2, 100, "Qes must be from 0.01 to 100"),
        InRange(s.Rl, 0, 1e6, "Rl must be from 0 to 1 MOhm"),
        InRange(s.Ll, 0, 1, "Ll must be from 0 to 1 H")})
    if (!fault.empty()) return fault;
  return {};
}

TNetwork LoudspeakerNetwork(const TLoudspeaker& s) {
  using K = TPartKind;
  TNetwork coil{K::Series, 0, {{K::R, s.Re, {}}}};
  if (s.Le > 0) coil.Parts.push_back({K::L, s.Le, {}});
  if (s.LossyCoil())
    coil.Parts.push_back({K::Parallel, 0, {{K::R, s.Rl, {}}, {K::L, s.Ll, {}}}});
  coil.Parts.push_back(
      {K::Parallel, 0, {{K::R, s.Res(), {}}, {K::L, s.Lces(), {}}, {K::C, s.Cmes(), {}}}});
  return coil;
}

std::shared_ptr<const TZxModel> NetworkModel(TNetwork n) {
  auto m = std::make_shared<TZxModel>();
  m->Label = NetworkText(n, false);
  m->CompactLabel = NetworkText(n, true);
  m->Network = std::move(n);
  return m;
}

std::shared_ptr<const TZxModel> LoudspeakerModel(const TLoudspeaker& s) {
  auto m = std::make_shared<TZxModel>();
  m->Network = LoudspeakerNetwork(s);
  m->Label = "loudspeaker Re=" + FormatValue(s.Re, "Ohm") + " fs=" + FormatValue(s.Fs, "Hz") +
             " Qts=" + Plain(s.Qts());
  m->CompactLabel = m->Label; // cut at the end where it must fit: the kind and Re stay readable
  m->Loudspeaker = true;
  m->Speaker = s;
  return m;
}

} // namespace platform::vmbox
