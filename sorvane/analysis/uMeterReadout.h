#pragma once
// What the LCR meter's readout reads at its test frequency: either the bin nearest it, with
// that bin's impedance and variance, or the series model that the fit over the range gives
// there, with the fit's uncertainties. Each becomes an estimate with its covariance for the
// platform's readout (platform/lcr_meter.h). Pure computation.

#include <optional>
#include <string>

#include "platform/lcr_meter.h"
#include "sorvane/analysis/uImpedance.h"

namespace sorvane {

enum class TMeterSource { Fit, Bin };

// The test frequency without a marker: the geometric centre of the range.
double RangeCentreHz(double loHz, double hiHz);

struct TMeterEstimate {
  double Hz = 0; // where it was read: the test frequency, or the bin's own
  platform::TComplexEstimate Z;
};

// The fit's bin nearest hz: its impedance, each part with the bin's variance and no covariance
// between them (known when the variances are absolute ones). Nothing without bins.
std::optional<TMeterEstimate> BinEstimate(const TLcrResult& result, double hz);
// The fitted model R + jX(w) at hz: Re with UR², Im with the reactance's own uncertainty
// squared (R and X are fitted independently). Nothing without a fit.
std::optional<TMeterEstimate> FitEstimate(const TLcrResult& result, double hz);

// The readout of `source` at hz, with the equivalent circuit `choice` gives.
std::optional<platform::TLcrMeterReading> ReadMeter(const TLcrResult& result, TMeterSource source,
                                                    double hz, platform::TEquivalentChoice choice);

// " Rp=<ohm> D=<> Q=<>" in full precision, for the tour's result line: a value that is a bound
// or that is not finite is written "nan", so that a machine never takes a bound for a reading.
std::string MeterResultSuffix(const platform::TLcrMeterReading& reading);

} // namespace sorvane
