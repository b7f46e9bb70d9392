#pragma once
// The readout of an LCR meter at one test frequency: one analysis point of the last result as
// measured, or the fitted series model at the frequency that carried the most weight (the fit
// over all points). The quantities and their texts are the platform's LCR-meter readout.

#include "dravik/measure/uLCRFit.h"
#include "platform/lcr_meter.h"

namespace dravik {

// Point p's impedance, with the covariance of its admittance carried through the inversion.
platform::TLcrMeterReading PointMeterReading(const TFitPoint& point, platform::TEquivalentChoice choice);

// The fitted R + jX at the strongest frequency; the uncertainties of R and of L or C give those
// of its parts. A fit without resistance gives a reading at 0 Hz with nothing measured.
platform::TLcrMeterReading FitMeterReading(const TLCRFitResult& fit, platform::TEquivalentChoice choice);

} // namespace dravik
