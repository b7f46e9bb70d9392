#include "dravik/measure/uMeterReadout.h"

#include <cmath>

namespace dravik {

platform::TLcrMeterReading PointMeterReading(const TFitPoint& point, platform::TEquivalentChoice choice) {
  const platform::TComplexEstimate admittance{
      {static_cast<double>(point.Admittance.Re), static_cast<double>(point.Admittance.Im)},
      static_cast<double>(point.Covariance.ReRe), static_cast<double>(point.Covariance.ImIm),
      static_cast<double>(point.Covariance.ReIm), point.CovarianceKnown};
  return platform::ReadAsLcrMeter(static_cast<double>(point.Omega / TwoPi),
                                  platform::Inverted(admittance), choice);
}

platform::TLcrMeterReading FitMeterReading(const TLCRFitResult& fit, platform::TEquivalentChoice choice) {
  if (!fit.HasResistance) return {};
  const long double f = fit.Strongest.Frequency, omega = TwoPi * f;
  // dX/dL = ω; dX/dC = 1/(ωC²) for X = -1/(ωC).
  const long double slope = fit.Kind == TReactanceKind::Capacitance
                                ? 1 / (omega * fit.Value * fit.Value)
                                : omega;
  const long double ux = fit.Kind == TReactanceKind::Unknown ? omega * fit.UL : slope * fit.UValue;
  const platform::TComplexEstimate z{
      {static_cast<double>(fit.R), static_cast<double>(fit.Reactance(omega))},
      static_cast<double>(fit.UR * fit.UR), static_cast<double>(ux * ux), 0, fit.HasUncertainty};
  return platform::ReadAsLcrMeter(static_cast<double>(f), z, choice);
}

} // namespace dravik
