#include "sorvane/analysis/uMeterReadout.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace sorvane {
namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

std::string Number(const platform::TMeterValue& value) {
  if (value.Kind != platform::TMeterValue::TKind::Measured || !std::isfinite(value.Value)) return "nan";
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", value.Value);
  return text;
}

} // namespace

double RangeCentreHz(double loHz, double hiHz) { return std::sqrt(loHz * hiHz); }

std::optional<TMeterEstimate> BinEstimate(const TLcrResult& result, double hz) {
  const TLcrPoint* nearest = nullptr;
  for (const TLcrPoint& p : result.Points)
    if (!nearest || std::fabs(p.W / TwoPi - hz) < std::fabs(nearest->W / TwoPi - hz)) nearest = &p;
  if (!nearest) return std::nullopt;
  const bool known = result.AbsoluteVariances && std::isfinite(nearest->Var);
  platform::TComplexEstimate z{{nearest->Z.Re, nearest->Z.Im}, nearest->Var, nearest->Var, 0, known};
  return TMeterEstimate{nearest->W / TwoPi, z};
}

std::optional<TMeterEstimate> FitEstimate(const TLcrResult& result, double hz) {
  if (result.ReactiveBins == 0 || !(hz > 0)) return std::nullopt;
  const double w = TwoPi * hz;
  const double ux = result.Fit.ReactanceUncertainty(w);
  const platform::TComplexEstimate z{
      {result.R, result.Fit.Reactance(w)}, result.UR * result.UR, ux * ux, 0, result.HasUncertainty};
  return TMeterEstimate{hz, z};
}

std::optional<platform::TLcrMeterReading> ReadMeter(const TLcrResult& result, TMeterSource source,
                                                    double hz, platform::TEquivalentChoice choice) {
  const std::optional<TMeterEstimate> estimate =
      source == TMeterSource::Bin ? BinEstimate(result, hz) : FitEstimate(result, hz);
  if (!estimate) return std::nullopt;
  return platform::ReadAsLcrMeter(estimate->Hz, estimate->Z, choice);
}

std::string MeterResultSuffix(const platform::TLcrMeterReading& reading) {
  return " Rp=" + Number(reading.Rp) + " D=" + Number(reading.D) + " Q=" + Number(reading.Q);
}

} // namespace sorvane
