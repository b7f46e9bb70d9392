#include "sorvane/analysis/uFixtureBins.h"

#include <algorithm>
#include <cmath>

namespace sorvane {
namespace {

using TZ = platform::TFixtureComplex;

bool Finite(const TZ& z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }

// The analysis's impedances carry the imaginary part of the transform negated (uImpedance.h):
// the fixture works on Z = Rref (rho - 1)* itself, so no sign changes here.
TZ Of(const TComplexD& z) { return {z.Re, z.Im}; }
TComplexD Of(const TZ& z) { return {static_cast<double>(z.real()), static_cast<double>(z.imag())}; }

} // namespace

// Z = 1/A, A = C(Am) / F, Am = 1/Zm: dZ = (s / F) (Z / Zm)² dZm with s the slope of C, a complex
// factor, so each part's variance is scaled by its squared modulus and stays the same for both.
TFixtureBins::TCompensated TFixtureBins::Compensate(int k, const TComplexD& zm) const {
  if (!Fixture || k < 0) return {zm, 1};
  const auto i = static_cast<std::size_t>(k);
  const TZ measured = Of(zm);
  const TZ am = 1.0L / measured;
  const TZ a = Fixture->Compensate(i, am, Rref);
  const TZ z = 1.0L / a;
  if (!Finite(am) || !Finite(z) || a == TZ{}) return {zm, 1};
  const TZ slope = platform::CompensationSlope(am, Fixture->SeriesImpedance(i)) /
                   Fixture->LoadFactor(i, Rref);
  const TZ ratio = z / measured;
  const long double factor = std::norm(slope * ratio * ratio);
  if (!std::isfinite(factor)) return {zm, 1};
  return {Of(z), static_cast<double>(factor)};
}

TComplexD TFixtureBins::Reading(int k, const TComplexD& z) const {
  if (!Fixture || k < 0) return z;
  const auto i = static_cast<std::size_t>(k);
  const TZ g = Fixture->LoadFactor(i, Rref) / Of(z) + Fixture->ParallelAdmittance(i);
  const TZ zm = Fixture->SeriesImpedance(i) + 1.0L / g;
  return Finite(zm) ? Of(zm) : z;
}

std::vector<platform::TFixtureComplex> MeasuredAdmittances(const TWaveData& block, bool swap,
                                                           double rref) {
  const int n = static_cast<int>(block[0].size());
  std::vector<TZ> admittances(FixturePoints(n));
  if (block[1].size() != block[0].size() || !(rref > 0)) return admittances;
  const double* pair = block[swap ? 1 : 0].data();
  const double* reference = block[swap ? 0 : 1].data();
  for (int k = 1; k < n / 2; ++k) {
    const TComplexD a = BinAt(pair, k), b = BinAt(reference, k);
    const TZ across(a.Re - b.Re, a.Im - b.Im);
    const TZ y = std::conj(TZ(b.Re, b.Im) / across) / static_cast<long double>(rref);
    if (Finite(y)) admittances[static_cast<std::size_t>(k)] = y;
  }
  return admittances;
}

void TAdmittanceAverage::Add(const std::vector<platform::TFixtureComplex>& admittances) {
  if (Blocks == 0 || Sum.size() != admittances.size()) {
    Sum.assign(admittances.size(), {});
    Blocks = 0;
  }
  for (std::size_t i = 0; i < Sum.size(); ++i) Sum[i] += admittances[i];
  ++Blocks;
}

std::vector<platform::TFixtureComplex> TAdmittanceAverage::Mean() const {
  std::vector<TZ> mean = Sum;
  for (TZ& y : mean) y /= static_cast<long double>(std::max(Blocks, 1));
  return mean;
}

} // namespace sorvane
