// The LCR-meter readout against the definitions of its quantities, its bounds where a
// denominator cannot be told from zero, and its uncertainties against a Monte Carlo run.

#include "platform/lcr_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace platform {
namespace {

using TKind = TMeterValue::TKind;
using cd = std::complex<double>;

// Z of a series R-L-C at f (C of 0: none).
cd SeriesZ(double r, double l, double c, double f) {
  const double w = 2 * M_PI * f;
  return {r, w * l - (c > 0 ? 1 / (w * c) : 0)};
}

TComplexEstimate Exact(cd z, double u = 0) { return {z, u * u, u * u, 0, u > 0}; }

struct TDefinitionCase {
  const char* Name;
  double R, L, C, F;
};

// Every default box of the virtual card, and a high-Q coil and a large capacitor.
const TDefinitionCase DefinitionCases[] = {
    {"3.3 Ohm + 1 mH", 3.3, 1e-3, 0, 1000},   {"0.2 Ohm + 10 uF", 0.2, 0, 10e-6, 100},
    {"47 Ohm", 47, 0, 0, 1000},                {"Q 2000 coil", 0.01, 3.183e-3, 0, 1000},
    {"2200 uF + 30 mOhm", 0.03, 0, 2.2e-3, 100}};

TEST(LcrMeter, QuantitiesFollowTheirDefinitions) {
  for (const auto& c : DefinitionCases) {
    SCOPED_TRACE(c.Name);
    const cd z = SeriesZ(c.R, c.L, c.C, c.F);
    const double w = 2 * M_PI * c.F, x = z.imag(), m2 = std::norm(z);
    const TLcrMeterReading r = ReadAsLcrMeter(c.F, Exact(z, 1e-9), TEquivalentChoice::Series);
    EXPECT_NEAR(r.Modulus.Value, std::sqrt(m2), 1e-12 * std::sqrt(m2));
    EXPECT_NEAR(r.PhaseDegrees.Value, std::atan2(x, c.R) * 180 / M_PI, 1e-9);
    EXPECT_DOUBLE_EQ(r.Esr.Value, c.R);
    EXPECT_DOUBLE_EQ(r.Rs.Value, c.R);
    if (x == 0) {
      EXPECT_EQ(r.Xs.Kind, TKind::None);
      EXPECT_EQ(r.Xp.Kind, TKind::None);
      EXPECT_EQ(r.D.Kind, TKind::AtLeast);
      EXPECT_NEAR(r.Q.Value, 0, 1e-9);
      EXPECT_NEAR(r.Rp.Value, c.R, 1e-9);
      continue;
    }
    EXPECT_NEAR(r.D.Value, c.R / std::fabs(x), 1e-9 * r.D.Value);
    EXPECT_NEAR(r.Q.Value * r.D.Value, 1, 1e-12);
    EXPECT_NEAR(r.Rp.Value, m2 / c.R, 1e-9 * m2 / c.R);
    if (c.L > 0) {
      EXPECT_TRUE(r.Inductive);
      EXPECT_NEAR(r.Xs.Value, c.L, 1e-12 * c.L);
      EXPECT_NEAR(r.Xp.Value, m2 / (w * x), 1e-9 * r.Xp.Value);
    } else {
      EXPECT_FALSE(r.Inductive);
      EXPECT_NEAR(r.Xs.Value, c.C, 1e-12 * c.C);
      // The parallel circuit's admittance is the series one's: 1/Rp + jωCp = 1/Z.
      const cd y = 1.0 / z;
      EXPECT_NEAR(r.Xp.Value, y.imag() / w, 1e-12 * c.C);
      EXPECT_NEAR(1 / r.Rp.Value, y.real(), 1e-12 * y.real());
    }
  }
}

// Where a denominator lies within the noise the readout gives a bound on the right side of
// the truth, never a large number that looks measured.
TEST(LcrMeter, BoundsWhereTheDenominatorIsNoise) {
  const double u = 1e-3;
  struct TCase {
    const char* Name;
    cd Z;
    TKind D, Q, Rs, Rp, Xs;
  } cases[] = {
      {"pure resistor", {10, 0}, TKind::AtLeast, TKind::Measured, TKind::Measured,
       TKind::Measured, TKind::None},
      {"pure reactance", {0, 10}, TKind::Measured, TKind::AtLeast, TKind::AtMost, TKind::AtLeast,
       TKind::Measured},
      {"negative R within the noise", {-0.0015, -10}, TKind::Measured, TKind::AtLeast,
       TKind::AtMost, TKind::AtLeast, TKind::Measured},
      {"Q above 1000, told from zero", {0.005, 10}, TKind::Measured, TKind::Measured,
       TKind::Measured, TKind::Measured, TKind::Measured},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TLcrMeterReading r = ReadAsLcrMeter(1000, Exact(c.Z, u), TEquivalentChoice::Auto);
    EXPECT_EQ(r.D.Kind, c.D);
    EXPECT_EQ(r.Q.Kind, c.Q);
    EXPECT_EQ(r.Rs.Kind, c.Rs);
    EXPECT_EQ(r.Rp.Kind, c.Rp);
    EXPECT_EQ(r.Xs.Kind, c.Xs);
    // A lower bound of Q lies below any Q the noise allows, an upper bound of R above any R.
    if (r.Q.Kind == TKind::AtLeast) {
      EXPECT_LT(r.Q.Value, std::fabs(c.Z.imag()) / (2 * u) * 1.0001);
    }
    if (r.Rs.Kind == TKind::AtMost) {
      EXPECT_GE(r.Rs.Value, 2 * u);
    }
  }
  EXPECT_EQ(FormatMeterValue(ReadAsLcrMeter(1000, Exact({0, 10}, u), TEquivalentChoice::Auto).Q, ""),
            "> 5000");
  EXPECT_NEAR(ReadAsLcrMeter(1000, Exact({0.005, 10}, u), TEquivalentChoice::Auto).Q.Value, 2000, 1e-6);
}

// The propagated uncertainty of each quantity against the scatter of many noisy readings.
TEST(LcrMeter, UncertaintiesMatchTheScatter) {
  const cd z = SeriesZ(3.3, 1e-3, 0, 1000);
  const TComplexEstimate e{z, 4e-4, 1e-4, 1e-4, true};
  const TLcrMeterReading shown = ReadAsLcrMeter(1000, e, TEquivalentChoice::Parallel);
  std::mt19937 random(7);
  std::normal_distribution<double> unit;
  // Correlated parts: re = a·n1, im = b·n1 + c·n2 with the covariance above.
  const double a = std::sqrt(e.VarRe), b = e.CovReIm / a, c = std::sqrt(e.VarIm - b * b);
  const TMeterValue TLcrMeterReading::*quantities[] = {
      &TLcrMeterReading::Modulus, &TLcrMeterReading::PhaseDegrees, &TLcrMeterReading::D,
      &TLcrMeterReading::Q, &TLcrMeterReading::Rp, &TLcrMeterReading::Xp, &TLcrMeterReading::Xs};
  constexpr int Runs = 20000;
  double sum[7] = {}, sum2[7] = {};
  for (int i = 0; i < Runs; ++i) {
    const double n1 = unit(random), n2 = unit(random);
    const TLcrMeterReading r =
        ReadAsLcrMeter(1000, Exact(z + cd(a * n1, b * n1 + c * n2)), TEquivalentChoice::Parallel);
    for (int q = 0; q < 7; ++q) {
      const double v = (r.*quantities[q]).Value;
      sum[q] += v;
      sum2[q] += v * v;
    }
  }
  for (int q = 0; q < 7; ++q) {
    SCOPED_TRACE(q);
    const double mean = sum[q] / Runs, spread = std::sqrt(sum2[q] / Runs - mean * mean);
    EXPECT_NEAR((shown.*quantities[q]).Uncertainty / spread, 1, 0.05);
  }
}

TEST(LcrMeter, InvertedCarriesTheCovariance) {
  const TComplexEstimate z{{3, 4}, 0.01, 0.02, 0.005, true};
  const TComplexEstimate y = Inverted(z);
  EXPECT_NEAR(std::abs(y.Value - 1.0 / z.Value), 0, 1e-15);
  // Inverting twice gives back the covariance.
  const TComplexEstimate back = Inverted(y);
  EXPECT_NEAR(back.VarRe, z.VarRe, 1e-15);
  EXPECT_NEAR(back.VarIm, z.VarIm, 1e-15);
  EXPECT_NEAR(back.CovReIm, z.CovReIm, 1e-15);
  // |dy| = |dz| / |z|²: the total variance scales by 1/|z|⁴.
  EXPECT_NEAR(y.VarRe + y.VarIm, (z.VarRe + z.VarIm) / 625, 1e-15);
}

TEST(LcrMeter, AutomaticEquivalentCircuit) {
  const struct {
    double Modulus;
    TEquivalentCircuit Want;
  } cases[] = {{0.1, TEquivalentCircuit::Series},    {9.9, TEquivalentCircuit::Series},
               {300, TEquivalentCircuit::Series},    {330, TEquivalentCircuit::Parallel},
               {10.1e3, TEquivalentCircuit::Parallel}, {1e6, TEquivalentCircuit::Parallel}};
  for (const auto& c : cases) EXPECT_EQ(AutoEquivalent(c.Modulus), c.Want) << c.Modulus;
  EXPECT_EQ(ChosenEquivalent(TEquivalentChoice::Series, 1e6), TEquivalentCircuit::Series);
  EXPECT_EQ(ChosenEquivalent(TEquivalentChoice::Parallel, 0.1), TEquivalentCircuit::Parallel);
}

TEST(LcrMeter, Texts) {
  const struct {
    TMeterValue Value;
    const char* Unit;
    const char* Want;
  } cases[] = {
      {{TKind::Measured, 3.300123, 0.00035}, "Ohm", "3.30012 ± 0.00035 Ohm"},
      {{TKind::Measured, 1.00002e-3, 3.1e-8}, "H", "1.000020 ± 0.000031 mH"},
      {{TKind::Measured, 47.1e3, 2.3e3}, "Ohm", "47.1 ± 2.3 kOhm"},
      {{TKind::Measured, 12346, 230}, "", "12350 ± 230"},
      {{TKind::Measured, 59.123, 0.0123}, "°", "59.123 ± 0.012°"},
      {{TKind::Measured, 1000, NAN}, "Hz", "1 kHz"},
      {{TKind::AtMost, 1.23e-3, NAN}, "Ohm", "< 1.3 mOhm"},
      {{TKind::AtLeast, 5.17e3, NAN}, "Ohm", "> 5.1 kOhm"},
      {{TKind::Measured, INFINITY, 1}, "Ohm", "?"},
      {{TKind::None, 0, 0}, "H", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMeterValue(c.Value, c.Unit), c.Want);

  const auto coil = LcrMeterLines(ReadAsLcrMeter(1000, Exact(SeriesZ(3.3, 1e-3, 0, 1000), 1e-4),
                                                 TEquivalentChoice::Auto));
  ASSERT_EQ(coil.size(), 8u);
  EXPECT_EQ(coil[0], "f = 1 kHz");
  EXPECT_EQ(coil[6].substr(0, 5), "Rs = ");
  EXPECT_EQ(coil[7].substr(0, 5), "Ls = ");
  const auto resistor = LcrMeterLines(ReadAsLcrMeter(1000, Exact({47e3, 0}, 1), TEquivalentChoice::Auto));
  EXPECT_EQ(resistor[6].substr(0, 5), "Rp = ");
  EXPECT_EQ(resistor[7], "Lp, Cp: no reactance above the noise");
}

} // namespace
} // namespace platform
