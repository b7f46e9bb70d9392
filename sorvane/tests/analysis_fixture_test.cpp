// The fixture bin by bin: a reading through leads, across an input and scaled by the load
// gives the part back, its variance goes through the compensation's slope, the steps'
// admittances come from the spectra as measured, and the fit of a block reads the part; the
// LCR meter's estimates at a test frequency.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "sorvane/analysis/uFixtureBins.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uMeterReadout.h"

namespace sorvane {
namespace {

using Z = platform::TFixtureComplex;

constexpr int N = 2048;
constexpr double Fs = 48000;
constexpr double Rref = 100;
const platform::TCalibrationPlace Place{"card", "card", 48000};

double W(int k) { return 2 * std::numbers::pi * Fs / N * k; }

struct TCase {
  const char* Name;
  Z Zs, Yo, F; // the leads, what lies across the terminals, the load's scale
  double R, L, C; // the part: R + jwL, or R + 1/(jwC) where C > 0
};
const TCase Cases[] = {
    {"coil on leads", {0.1L, 0}, {0, 0}, {1, 0}, 0.02, 1e-6, 0},
    {"resistor across an input", {0, 0}, {2e-5L, 0}, {1.2L, 0.01L}, 1e4, 0, 0},
    {"capacitor beside a cable", {0, 0}, {1e-12L, 0}, {1, 0}, 0, 0, 1e-9},
    {"all at once", {0.1L, 0}, {1e-6L, 0}, {1.02L, -0.003L}, 47, 1e-3, 0},
};

Z Part(const TCase& c, int k) {
  return c.C > 0 ? Z(c.R, -1 / (W(k) * c.C)) : Z(c.R, W(k) * c.L);
}
// The per-bin fixture values: leads of 1e-5 s times their resistance (1 uH on 0.1 Ohm), and
// 100 pF beside whatever conductance lies across.
Z Leads(const TCase& c, int k) { return c.Zs + Z(0, c.Zs.real() * 1e-5L * W(k)); }
Z Across(const TCase& c, int k) { return c.Yo + Z(0, 1e-10L * W(k) * (c.Yo != Z{} ? 1 : 0)); }
// What the card reads: the part inside the fixture, times the load's scale.
Z Reading(const TCase& c, int k) {
  return c.F * (Leads(c, k) + 1.0L / (Across(c, k) + 1.0L / Part(c, k)));
}

// The fixture the three steps would have kept for this case.
platform::TFixture FixtureOf(const TCase& c) {
  std::vector<Z> shorts(N / 2), opens(N / 2), loads(N / 2);
  for (int k = 1; k < N / 2; ++k) {
    shorts[k] = 1.0L / (c.F * Leads(c, k));
    opens[k] = Across(c, k) == Z{} ? Z{} : 1.0L / (c.F * (Leads(c, k) + 1.0L / Across(c, k)));
    loads[k] = 1.0L / (c.F * (Leads(c, k) + 1.0L / (Across(c, k) + 1.0L / Z(Rref, 0))));
  }
  platform::TFixture f;
  f.Keep(platform::TFixtureStep::Short, Place, N, shorts);
  f.Keep(platform::TFixtureStep::Open, Place, N, opens);
  f.KeepLoad(Place, N, loads, Rref, Rref);
  return f;
}

TComplexD D(const Z& z) { return {static_cast<double>(z.real()), static_cast<double>(z.imag())}; }

TEST(FixtureBins, CompensationAndItsInverseGiveThePartBack) {
  for (const TCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    const platform::TFixture fixture = FixtureOf(c);
    const TFixtureBins bins(fixture, Rref);
    for (const int k : {1, 64, 1000}) {
      const TFixtureBins::TCompensated z = bins.Compensate(k, D(Reading(c, k)));
      EXPECT_LT(std::abs(Z(z.Z.Re, z.Z.Im) - Part(c, k)) / std::abs(Part(c, k)), 1e-6) << k;
      const TComplexD back = bins.Reading(k, D(Part(c, k)));
      EXPECT_LT(std::abs(Z(back.Re, back.Im) - Reading(c, k)) / std::abs(Reading(c, k)), 1e-9) << k;
      // The variance factor is the squared modulus of dZ/dZm.
      const TComplexD zm = D(Reading(c, k));
      const double h = 1e-7 * std::hypot(zm.Re, zm.Im);
      const TComplexD up = bins.Compensate(k, {zm.Re + h, zm.Im}).Z;
      const TComplexD down = bins.Compensate(k, {zm.Re - h, zm.Im}).Z;
      const double slope2 = (std::pow(up.Re - down.Re, 2) + std::pow(up.Im - down.Im, 2)) / (4 * h * h);
      EXPECT_NEAR(z.VarianceFactor / slope2, 1, 1e-5) << k;
    }
  }
  // Another R ref than the load's leaves the scale in the reading.
  const platform::TFixture fixture = FixtureOf(Cases[1]);
  const TComplexD other = TFixtureBins(fixture, 2 * Rref).Compensate(64, D(Reading(Cases[1], 64))).Z;
  EXPECT_NEAR(other.Re / Cases[1].R, std::abs(Cases[1].F * Part(Cases[1], 64)) / std::abs(Part(Cases[1], 64)), 0.01);
}

// The spectra of a divider whose pair reads zm in every bin: A = 1, B = A / rho with
// rho = 1 + conj(zm) / Rref (the transform's convention).
TWaveData Divider(const TCase& c) {
  TWaveData block{TChannelData(N, 0), TChannelData(N, 0)};
  for (int k = 1; k < N / 2; ++k) {
    const Z rho = 1.0L + std::conj(Reading(c, k)) / static_cast<long double>(Rref);
    const Z b = 1.0L / rho;
    block[0][2 * k] = 1;
    block[1][2 * k] = static_cast<double>(b.real());
    block[1][2 * k + 1] = static_cast<double>(b.imag());
  }
  return block;
}

TEST(FixtureBins, TheFitOfABlockReadsThePartAndTheStepsReadTheAdmittance) {
  for (const TCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    const platform::TFixture fixture = FixtureOf(c);
    TWaveData block = Divider(c);
    const std::vector<Z> admittances = MeasuredAdmittances(block, false, Rref);
    ASSERT_EQ(admittances.size(), static_cast<size_t>(N / 2));
    EXPECT_EQ(admittances[0], Z{});
    EXPECT_LT(std::abs(admittances[64] * Reading(c, 64) - 1.0L), 1e-12L);
    TWaveData crossed{block[1], block[0]};
    EXPECT_LT(std::abs(MeasuredAdmittances(crossed, true, Rref)[64] - admittances[64]), 1e-15L);

    const TBinRange bins{1, N / 2 - 1};
    const TLcrResult r = ComputeImpedanceBins(block, false, bins, Rref, true, Fs, {}, TFixtureBins(fixture, Rref));
    EXPECT_NEAR(r.R, c.R, 1e-6 * std::max(c.R, 1.0));
    // The part's main value: L or C where it has one, else R.
    const auto value = [&c](const TLcrResult& x) { return c.L > 0 ? x.L / c.L : c.C > 0 ? x.C / c.C : x.R / c.R; };
    EXPECT_NEAR(value(r), 1, 1e-6);
    EXPECT_EQ(r.Points.size(), static_cast<size_t>(N / 2 - 1));
    // Channel 0 carries the part's impedance, as the chart draws it.
    const Z drawn(block[0][2 * 64], block[0][2 * 64 + 1]);
    EXPECT_LT(std::abs(drawn - Part(c, 64)) / std::abs(Part(c, 64)), 1e-6L);

    TWaveData raw = Divider(c);
    const TLcrResult without = ComputeImpedanceBins(raw, false, bins, Rref, true, Fs);
    EXPECT_GT(std::fabs(value(without) - 1), 1e-3) << "the fixture shows without it";
  }
}

TEST(MeterReadout, EstimatesAtTheTestFrequency) {
  TLcrResult r;
  r.ReactiveBins = 3;
  r.R = 3.3, r.UR = 1e-4, r.HasUncertainty = true;
  r.Fit.Kind = TReactanceKind::Inductance;
  r.Fit.Coefficient = 1e-3, r.Fit.UCoefficient = 1e-8;
  r.AbsoluteVariances = true;
  for (const int k : {10, 20, 30}) r.Points.push_back({W(k), {3.3 + k * 1e-4, W(k) * 1e-3}, 1e-8 * k});

  const double f20 = W(20) / (2 * std::numbers::pi);
  const auto bin = BinEstimate(r, f20 * 1.2);
  ASSERT_TRUE(bin);
  EXPECT_DOUBLE_EQ(bin->Hz, f20) << "the nearest bin, read at its own frequency";
  EXPECT_DOUBLE_EQ(bin->Z.Value.real(), 3.302);
  EXPECT_DOUBLE_EQ(bin->Z.VarRe, 2e-7);
  EXPECT_DOUBLE_EQ(bin->Z.VarIm, 2e-7);
  EXPECT_TRUE(bin->Z.Known);

  const auto fit = FitEstimate(r, 1000);
  ASSERT_TRUE(fit);
  const double w = 2 * std::numbers::pi * 1000;
  EXPECT_DOUBLE_EQ(fit->Z.Value.imag(), w * 1e-3);
  EXPECT_DOUBLE_EQ(fit->Z.VarRe, 1e-8);
  EXPECT_NEAR(fit->Z.VarIm, std::pow(w * 1e-8, 2), 1e-20);
  // A capacitance read as a resistor still has its reactance's coefficient, D = 1/C.
  r.Fit.Kind = TReactanceKind::Capacitance;
  r.Fit.Coefficient = 1e3, r.Fit.UCoefficient = 2e3;
  EXPECT_DOUBLE_EQ(FitEstimate(r, 1000)->Z.Value.imag(), -1e3 / w);

  const auto reading = ReadMeter(r, TMeterSource::Fit, 1000, platform::TEquivalentChoice::Auto);
  ASSERT_TRUE(reading);
  EXPECT_EQ(MeterResultSuffix(*reading).substr(0, 4), " Rp=");
  EXPECT_NE(MeterResultSuffix(*reading).find(" D=nan Q="), std::string::npos)
      << "D of a reactance within its noise is a bound, not a number: " << MeterResultSuffix(*reading);
  EXPECT_FALSE(ReadMeter(TLcrResult{}, TMeterSource::Bin, 1000, platform::TEquivalentChoice::Auto));
  EXPECT_DOUBLE_EQ(RangeCentreHz(20, 20000), std::sqrt(20.0 * 20000));
}

} // namespace
} // namespace sorvane
