#include "sorvane/analysis/uLevelCheck.h"

#include <cmath>

#include "sorvane/analysis/uFormatEng.h"

namespace sorvane {

double HarmonicPower(const double* spectrum, int n, int k) {
  long double sum = 0;
  if (k < 1) return 0;
  for (long long mk = 2LL * k; mk < n / 2 - 1; mk += k) {
    sum += CSqrAbs(BinAt(spectrum, static_cast<int>(mk)));
  }
  return static_cast<double>(sum);
}

std::string QualityText(double tonePower, double harmonicPower) {
  if (!(tonePower > 0) || !(harmonicPower > 0)) return "?";
  return FormatFixedShort(10.0 * std::log10(tonePower / harmonicPower), 0);
}

double PhaseDriftTerm(const TComplexD& tone, const TComplexD& previous) {
  const TComplexD r = CDiv(tone, previous);
  return r.Re != 0 ? r.Im / r.Re : -100.0;
}

std::string AsyncText(double drift) { return "Async: " + FormatFixedShort(drift, 3); }

} // namespace sorvane
