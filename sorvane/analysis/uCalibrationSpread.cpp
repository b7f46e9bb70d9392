#include "sorvane/analysis/uCalibrationSpread.h"

#include <cmath>
#include <limits>
#include <string>

#include "sorvane/analysis/uInputAgreement.h"

namespace sorvane {
namespace {

constexpr const char* SpreadSection = "CalibrationSpread";
constexpr int Groups = TRatioAverage::SpreadGroups;

std::string GroupKey(int g, const std::string& key) { return "Group" + std::to_string(g) + key; }
std::string ForKey(int comp) { return "For" + PolynomKey(0, comp); }

// sum (x_g - mean)^2 / (G (G - 1)): the variance of the mean of G independent values.
double VarianceOfMean(const std::vector<double>& x) {
  const double n = static_cast<double>(x.size());
  double mean = 0;
  for (const double v : x) mean += v / n;
  double sum = 0;
  for (const double v : x) sum += (v - mean) * (v - mean);
  return sum / (n * (n - 1));
}

} // namespace

std::string PolynomKey(int j, int comp) {
  return "Polynom" + std::to_string(j) + std::to_string(comp);
}

std::string CornerKey(int c) { return "Corner" + std::to_string(c); }

void WriteCalibrationCurve(platform::TIniFile& ini, const std::string& section,
                           const std::string& prefix, const TCalibrationCurve& curve) {
  for (int j = 0; j < NormalSize; ++j) {
    for (int comp = 0; comp < 2; ++comp) {
      ini.WriteFloat(section, prefix + PolynomKey(j, comp), static_cast<double>(curve.Poly[comp][j]));
    }
  }
  for (int c = 0; c < 2; ++c) ini.WriteFloat(section, prefix + CornerKey(c), curve.Corners[c]);
}

TCalibrationSpread FitSpread(const TRatioAverage& average, const TNormalMatrix& normal,
                             int centerBin, int halfWidth, double binHz, size_t bins) {
  if (!average.GroupsReady()) return {};
  TCalibrationSpread spread(static_cast<size_t>(Groups));
  TComplexArray ratio(bins, COne);
  for (int g = 0; g < Groups; ++g) {
    average.GroupMeanInto(g, ratio);
    TCalibrationCurve& curve = spread[static_cast<size_t>(g)];
    if (!FitCalibration(normal, ratio, centerBin, halfWidth, binHz, curve.Poly, curve.Corners))
      return {};
  }
  return spread;
}

TCalibrationSpread LoadSpread(const platform::TIniFile& ini, const TCalibrationPolys& calibration) {
  constexpr double Missing = std::numeric_limits<double>::quiet_NaN();
  for (int comp = 0; comp < 2; ++comp) {
    const double own = static_cast<double>(calibration[comp][0]);
    if (!(ini.ReadFloat(SpreadSection, ForKey(comp), Missing) == own)) return {};
  }
  TCalibrationSpread spread(static_cast<size_t>(Groups));
  for (int g = 0; g < Groups; ++g) {
    TCalibrationCurve& curve = spread[static_cast<size_t>(g)];
    for (int j = 0; j < NormalSize; ++j) {
      for (int comp = 0; comp < 2; ++comp) {
        const double v = ini.ReadFloat(SpreadSection, GroupKey(g, PolynomKey(j, comp)), Missing);
        if (!std::isfinite(v)) return {};
        curve.Poly[comp][j] = v;
      }
    }
    for (int c = 0; c < 2; ++c) {
      curve.Corners[c] = ini.ReadFloat(SpreadSection, GroupKey(g, CornerKey(c)), Missing);
    }
    if (!CalibrationStaysFinite(curve.Poly, curve.Corners) ||
        !CalibrationLooksLikeACard(curve.Poly, curve.Corners)) {
      return {};
    }
  }
  return spread;
}

void SaveSpread(platform::TIniFile& ini, const TCalibrationSpread& spread,
                const TCalibrationPolys& calibration) {
  ini.EraseSection(SpreadSection);
  if (spread.size() != static_cast<size_t>(Groups)) return;
  for (int comp = 0; comp < 2; ++comp) {
    ini.WriteFloat(SpreadSection, ForKey(comp), static_cast<double>(calibration[comp][0]));
  }
  for (int g = 0; g < Groups; ++g) {
    WriteCalibrationCurve(ini, SpreadSection, GroupKey(g, ""), spread[static_cast<size_t>(g)]);
  }
}

std::vector<TLcrResult> SpreadResults(const TWaveData& block, const TComplexArray& calibration,
                                      const std::vector<TComplexArray>& curves, bool swap,
                                      TBinRange bins, double rref, double sampleRate,
                                      const TNoiseSpectrum& noise, const TFixtureBins& fixture) {
  std::vector<TLcrResult> results;
  const size_t half = block[1].size() / 2;
  if (calibration.size() != half || bins.Hi >= static_cast<int>(half)) return results;
  // The computation reads and overwrites the range's bins of both channels alone: one copy
  // serves every curve, those bins put back from the block before each.
  TWaveData copy = block;
  for (const TComplexArray& curve : curves) {
    if (curve.size() != half) return {};
    for (int k = bins.Lo; k <= bins.Hi; ++k) {
      const TComplexD scale = CDiv(curve[k], calibration[k]);
      SetBin(copy[0].data(), k, BinAt(block[0].data(), k));
      SetBin(copy[1].data(), k, CMul(BinAt(block[1].data(), k), scale));
    }
    results.push_back(ComputeImpedanceBins(copy, swap, bins, rref, true, sampleRate, noise, fixture));
  }
  return results;
}

TCalibrationShare CalibrationShare(const TLcrResult& result, const std::vector<TLcrResult>& groups) {
  if (groups.size() < 2 || result.ReactiveBins == 0) return {};
  std::vector<double> r, value;
  bool sameKind = true; // a resistor's fitted reactance may take either sign in each group
  for (const TLcrResult& g : groups) {
    if (g.ReactiveBins == 0) return {};
    r.push_back(g.R);
    value.push_back(g.Fit.Coefficient);
    sameKind = sameKind && g.Fit.Kind == result.Fit.Kind;
  }
  TCalibrationShare share;
  share.Known = true;
  share.UR = std::sqrt(VarianceOfMean(r));
  if (!sameKind) return share;
  const double uCoefficient = std::sqrt(VarianceOfMean(value));
  // L is the coefficient itself; C = 1/D moves by C^2 dD.
  if (result.L > 0) share.UValue = uCoefficient;
  else if (result.C > 0) share.UValue = result.C * result.C * uCoefficient;
  return share;
}

void AddCalibrationShare(TLcrResult& result, const TCalibrationShare& share) {
  if (!share.Known || !result.HasUncertainty) return;
  result.UR = std::hypot(result.UR, share.UR);
  if (result.L > 0) result.UL = std::hypot(result.UL, share.UValue);
  if (result.C > 0) result.UC = std::hypot(result.UC, share.UValue);
}

} // namespace sorvane
