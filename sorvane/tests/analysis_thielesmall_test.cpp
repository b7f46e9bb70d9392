// The loudspeaker fit on curves of synthetic drivers built from their mechanical parts (force
// factor, moving mass, suspension compliance and losses): the parameters against the drivers'
// own, the uncertainties against the scatter over noisy curves, Vas from an added mass and from
// a closed box, and the curves that cannot be fitted.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "sorvane/analysis/uThieleSmall.h"

namespace sorvane {
namespace {

using Complex = std::complex<double>;
constexpr double Pi = std::numbers::pi;

// A driver by its small-signal parameters; the curve is made from the mechanical parts they
// stand for, not from the fit's own parametrisation.
struct TDriver {
  const char* Name;
  double Fs, Re, Qms, Qes, Le;
  double Rl, Ll; // Ll 0: an ideal coil
  double Mms, Sd;
};

struct TMechanics {
  double Bl, Mms, Cms, Rms;
};

TMechanics MechanicsOf(const TDriver& d) {
  const double ws = 2 * Pi * d.Fs;
  return {std::sqrt(ws * d.Mms * d.Re / d.Qes), d.Mms, 1 / (ws * ws * d.Mms), ws * d.Mms / d.Qms};
}

double Vas(const TDriver& d) { return AirDensity * SpeedOfSound * SpeedOfSound * d.Sd * d.Sd * MechanicsOf(d).Cms; }

double Qts(double qms, double qes) { return qms * qes / (qms + qes); }

// Z = Re + jwLe (+ Rl || jwLl) + Bl^2 / (Rms + jwMms + 1/(jwCms)).
Complex DriverZ(const TDriver& d, const TMechanics& m, double hz) {
  const Complex jw(0, 2 * Pi * hz);
  Complex z = d.Re + jw * d.Le + m.Bl * m.Bl / (m.Rms + jw * m.Mms + 1.0 / (jw * m.Cms));
  if (d.Ll > 0) z += d.Rl * jw * d.Ll / (d.Rl + jw * d.Ll);
  return z;
}

// 48 points per octave from 10 Hz to 20 kHz, or the bins of 0.7 Hz up to 1 kHz.
enum class TGrid { Log, Bins };
constexpr double BinHz = 0.7;

std::vector<double> Frequencies(TGrid grid) {
  std::vector<double> f;
  if (grid == TGrid::Log) {
    for (int k = 0; 10 * std::exp2(k / 48.0) <= 20000; ++k) f.push_back(10 * std::exp2(k / 48.0));
  } else {
    for (int k = 1; k * BinHz <= 1000; ++k) f.push_back(k * BinHz);
  }
  return f;
}

// Noise of relRms |Z| rms on the complex value (half its power in each part), as the ratio's
// noise grows with the impedance; withVariances: each point carries its variance.
struct TNoise {
  double RelRms = 0;
  unsigned Seed = 1;
  bool WithVariances = true;
};

std::vector<TImpedancePoint> Curve(const TDriver& d, const TMechanics& m, TGrid grid, const TNoise& noise) {
  std::mt19937 rng(noise.Seed);
  std::normal_distribution<double> gauss;
  std::vector<TImpedancePoint> curve;
  for (const double f : Frequencies(grid)) {
    const Complex z = DriverZ(d, m, f);
    const double var = std::norm(noise.RelRms * z);
    const double sd = std::sqrt(var / 2);
    const Complex noisy = z + Complex(sd * gauss(rng), sd * gauss(rng));
    curve.push_back({f, {noisy.real(), noisy.imag()}, noise.WithVariances ? var : 0});
  }
  return curve;
}

// The bins grid goes through the packed spectrum the impedance step leaves in a block.
std::vector<TImpedancePoint> AsSpectrum(const std::vector<TImpedancePoint>& bins) {
  std::vector<double> packed(2 * (bins.size() + 1), 0.0);
  std::vector<double> variances(bins.size() + 1, 0.0);
  for (size_t k = 1; k <= bins.size(); ++k) {
    packed[2 * k] = bins[k - 1].Z.Re, packed[2 * k + 1] = bins[k - 1].Z.Im;
    variances[k] = bins[k - 1].Var;
  }
  return ImpedanceCurveOf(packed.data(), 1, static_cast<int>(bins.size()), BinHz, variances);
}

struct TCase {
  TDriver Driver;
  TCoilModel Coil;
  TGrid Grid;
  double LoHz, HiHz;
};

// fs 20 .. 120 Hz, Qts 0.2 .. 1.2. The woofer's coil reactance at 20 kHz stands above its
// resonance peak, and two drivers have the lossy coil.
const TCase Cases[] = {
    {{"woofer", 22, 5.8, 3.5, 0.25, 1.5e-3, 0, 0, 0.12, 0.055}, TCoilModel::Inductance, TGrid::Log, 10, 20000},
    {{"midwoofer", 45, 3.2, 6, 0.42, 0.25e-3, 8, 0.6e-3, 0.025, 0.022}, TCoilModel::Lossy, TGrid::Log, 10, 20000},
    {{"full range", 110, 7, 6, 1.5, 0.08e-3, 0, 0, 0.004, 0.0058}, TCoilModel::Inductance, TGrid::Bins, 10, 1000},
    {{"mid", 70, 6, 2.5, 0.6, 0.25e-3, 15, 0.5e-3, 0.008, 0.0133}, TCoilModel::Lossy, TGrid::Log, 15, 20000},
    {{"tight", 120, 6.2, 8, 0.206, 0.15e-3, 0, 0, 0.006, 0.0095}, TCoilModel::Inductance, TGrid::Bins, 20, 1000},
};

TThieleSmallFit FitCase(const TCase& c, const TMechanics& m, const TNoise& noise) {
  std::vector<TImpedancePoint> curve = Curve(c.Driver, m, c.Grid, noise);
  if (c.Grid == TGrid::Bins) curve = AsSpectrum(curve);
  return FitThieleSmall(curve, c.LoHz, c.HiHz, c.Coil);
}

double RelErr(double value, double truth) { return std::fabs(value / truth - 1); }

TEST(ThieleSmall, RecoversTheDriversParameters) {
  for (const TCase& c : Cases) {
    for (const double noise : {0.0, 0.003}) {
      SCOPED_TRACE(std::string(c.Driver.Name) + (noise > 0 ? " noisy" : " clean"));
      const TDriver& d = c.Driver;
      const TThieleSmallFit fit = FitCase(c, MechanicsOf(d), {noise, 11, true});
      ASSERT_TRUE(fit.Ok) << fit.Failure;
      EXPECT_LT(RelErr(fit.Fs.Value, d.Fs), 0.005);
      EXPECT_LT(RelErr(fit.Re.Value, d.Re), 0.005);
      EXPECT_LT(RelErr(fit.Qms.Value, d.Qms), 0.02);
      EXPECT_LT(RelErr(fit.Qes.Value, d.Qes), 0.02);
      EXPECT_LT(RelErr(fit.Qts.Value, Qts(d.Qms, d.Qes)), 0.02);
      EXPECT_LT(RelErr(fit.Le.Value, d.Le), 0.05);
      if (c.Coil == TCoilModel::Lossy) {
        EXPECT_LT(RelErr(fit.Rl.Value, d.Rl), 0.05);
        EXPECT_LT(RelErr(fit.Ll.Value, d.Ll), 0.05);
      }
      // The misfit is the noise's own size: about relRms in percent, nothing without noise.
      if (noise == 0) EXPECT_LT(fit.RmsMisfitPercent, 1e-4);
      else EXPECT_NEAR(fit.RmsMisfitPercent, 100 * noise, 20 * noise);
      EXPECT_EQ(fit.AbsoluteUncertainties, noise > 0);
      EXPECT_EQ(fit.Coil, c.Coil);
      const std::vector<TResultRow> rows = ResultRows(fit);
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows[1].Name, "fs");
      EXPECT_EQ(rows[1].Value.Value, fit.Fs.Value);
    }
  }
}

// A coil whose reactance the range hardly shows: Le may settle at the edge of zero, and the
// other parameters must still reach their own minimum.
TEST(ThieleSmall, AnUnresolvedInductanceLeavesTheRestAlone) {
  const TCase c{{"low range", 45, 3.2, 6, 0.42, 0.02e-3, 0, 0, 0.025, 0.022}, TCoilModel::Inductance, TGrid::Log, 20, 100};
  const TDriver& d = c.Driver;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(seed);
    const TThieleSmallFit fit = FitCase(c, MechanicsOf(d), {0.01, seed, true});
    ASSERT_TRUE(fit.Ok) << fit.Failure;
    EXPECT_LT(RelErr(fit.Fs.Value, d.Fs), 0.005);
    // Re rests on the few points of the bottom octave, at 1 % noise: within its own stated
    // uncertainty (about 0.2 %), or the usual bound.
    EXPECT_LT(std::fabs(fit.Re.Value - d.Re), std::max(0.005 * d.Re, 3 * fit.Re.U));
    EXPECT_LT(RelErr(fit.Qts.Value, Qts(d.Qms, d.Qes)), 0.02);
    EXPECT_LT(std::fabs(fit.Le.Value - d.Le), 3 * fit.Le.U);
  }
}

// The errors over noisy curves against the uncertainties the fit states, with each point's
// variance known and with the scale taken from the scatter.
TEST(ThieleSmall, UncertaintiesMatchTheScatter) {
  for (const bool withVariances : {true, false}) {
    SCOPED_TRACE(withVariances ? "variances given" : "scale from the scatter");
    double sum2 = 0, worst = 0;
    int count = 0;
    for (const TCase& c : Cases) {
      const TDriver& d = c.Driver;
      for (unsigned seed = 1; seed <= 6; ++seed) {
        const TThieleSmallFit fit = FitCase(c, MechanicsOf(d), {0.01, seed, withVariances});
        ASSERT_TRUE(fit.Ok) << d.Name << " " << fit.Failure;
        EXPECT_EQ(fit.AbsoluteUncertainties, withVariances);
        // Known variances: the weighted misfit per degree of freedom is the noise's, about 1.
        if (withVariances) {
          EXPECT_NEAR(fit.ReducedChi2, 1, 0.15) << d.Name;
        }
        const std::pair<TUncertain, double> checks[] = {{fit.Re, d.Re}, {fit.Fs, d.Fs},   {fit.Qms, d.Qms},
                                                        {fit.Qes, d.Qes}, {fit.Le, d.Le}, {fit.Qts, Qts(d.Qms, d.Qes)}};
        for (const auto& [value, truth] : checks) {
          ASSERT_GT(value.U, 0) << d.Name;
          const double z = (value.Value - truth) / value.U;
          sum2 += z * z, ++count, worst = std::max(worst, std::fabs(z));
        }
      }
    }
    EXPECT_LT(worst, 3.5);
    const double rms = std::sqrt(sum2 / count);
    EXPECT_GT(rms, 0.8) << "uncertainties too wide";
    EXPECT_LT(rms, 1.25) << "uncertainties too narrow";
  }
}

// The same driver loaded with a mass, and in a closed box whose air also adds a little moving
// mass: Vas, Mms, Cms and Bl within 3 %, their errors within three uncertainties.
TEST(ThieleSmall, MechanicsFromAnAddedMassAndAClosedBox) {
  constexpr double BoxM3 = 0.012;
  for (const TCase& c : {Cases[0], Cases[1], Cases[3]}) {
    const TDriver& d = c.Driver;
    const TMechanics m = MechanicsOf(d);
    TMechanics loaded = m;
    loaded.Mms *= 1.5;
    TMechanics boxed = m;
    const double boxCompliance = BoxM3 / (AirDensity * SpeedOfSound * SpeedOfSound * d.Sd * d.Sd);
    boxed.Cms = m.Cms * boxCompliance / (m.Cms + boxCompliance);
    boxed.Mms *= 1.05;
    for (const double noise : {0.0, 0.003}) {
      SCOPED_TRACE(std::string(d.Name) + (noise > 0 ? " noisy" : " clean"));
      const TThieleSmallFit freeAir = FitCase(c, m, {noise, 3, true});
      const TThieleSmallFit withMass = FitCase(c, loaded, {noise, 4, true});
      const TThieleSmallFit inBox = FitCase(c, boxed, {noise, 5, true});
      ASSERT_TRUE(freeAir.Ok && withMass.Ok && inBox.Ok);
      const TDriverMechanics byMass = MechanicsByAddedMass(freeAir, withMass, loaded.Mms - m.Mms, d.Sd);
      const TDriverMechanics byBox = MechanicsByClosedBox(freeAir, inBox, BoxM3, d.Sd);
      for (const TDriverMechanics* r : {&byMass, &byBox}) {
        ASSERT_TRUE(r->Ok) << r->Failure;
        const std::pair<TUncertain, double> checks[] = {
            {r->Vas, Vas(d)}, {r->Mms, m.Mms}, {r->Cms, m.Cms}, {r->Bl, m.Bl}};
        for (const auto& [value, truth] : checks) {
          EXPECT_LT(RelErr(value.Value, truth), 0.03);
          EXPECT_GT(value.U, 0);
          if (noise > 0) {
            EXPECT_LT(std::fabs(value.Value - truth), 3 * value.U);
          }
        }
        EXPECT_EQ(ResultRows(*r).size(), 4u);
      }
    }
  }
}

// One parameter of one fit scattering by 1 % at a time: the uncertainties of the mechanics
// against the spread of the mechanics computed from many draws of that parameter.
TEST(ThieleSmall, MechanicsUncertaintiesFollowEachParameter) {
  constexpr double Spread = 0.01;
  constexpr int Draws = 1000;
  const TCase& c = Cases[1];
  TMechanics lower = MechanicsOf(c.Driver), stiffer = MechanicsOf(c.Driver);
  // Not half the compliance: there the box's Mms would not depend on fs to first order.
  lower.Mms *= 1.5, stiffer.Cms *= 0.4;
  const TThieleSmallFit clean[] = {FitCase(c, MechanicsOf(c.Driver), {}), FitCase(c, lower, {}), FitCase(c, stiffer, {})};
  const auto mechanics = [&](const TThieleSmallFit* f) {
    return std::array{MechanicsByAddedMass(f[0], f[1], lower.Mms - c.Driver.Mms, c.Driver.Sd),
                      MechanicsByClosedBox(f[0], f[2], 0.01, c.Driver.Sd)};
  };
  const TUncertain TDriverMechanics::*quantities[] = {&TDriverMechanics::Vas, &TDriverMechanics::Mms,
                                                      &TDriverMechanics::Cms, &TDriverMechanics::Bl};
  TUncertain TThieleSmallFit::*parameters[] = {&TThieleSmallFit::Re, &TThieleSmallFit::Fs, &TThieleSmallFit::Qms,
                                               &TThieleSmallFit::Qes};
  std::mt19937 rng(9);
  std::normal_distribution<double> gauss;
  for (int which = 0; which < 3; ++which) {
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE("fit " + std::to_string(which) + " parameter " + std::to_string(i));
      TThieleSmallFit fits[] = {clean[0], clean[1], clean[2]};
      for (TThieleSmallFit& f : fits) f.LogCovariance = {};
      fits[which].LogCovariance[i][i] = Spread * Spread;
      // The rms of the log-deviations from the undisturbed mechanics.
      const auto stated = mechanics(fits);
      std::array<std::array<double, 4>, 2> sum2{};
      for (int draw = 0; draw < Draws; ++draw) {
        TThieleSmallFit drawn[] = {fits[0], fits[1], fits[2]};
        (drawn[which].*parameters[i]).Value *= std::exp(Spread * gauss(rng));
        const auto results = mechanics(drawn);
        for (int m = 0; m < 2; ++m) {
          for (int q = 0; q < 4; ++q) {
            sum2[m][q] += std::pow(std::log((results[m].*quantities[q]).Value / (stated[m].*quantities[q]).Value), 2);
          }
        }
      }
      for (int m = 0; m < 2; ++m) {
        for (int q = 0; q < 4; ++q) {
          const double spread = std::sqrt(sum2[m][q] / Draws);
          const TUncertain& u = stated[m].*quantities[q];
          EXPECT_NEAR(u.U / u.Value, spread, 0.1 * spread + 1e-9) << (m ? "closed box" : "added mass") << " " << q;
        }
      }
    }
  }
}

std::vector<TImpedancePoint> FlatCurve(double ohm) {
  std::vector<TImpedancePoint> curve;
  for (const double f : Frequencies(TGrid::Log)) curve.push_back({f, {ohm, 0}, 0});
  return curve;
}

TEST(ThieleSmall, CurvesThatCannotBeFittedSayWhy) {
  const TCase& woofer = Cases[0];
  const std::vector<TImpedancePoint> curve = Curve(woofer.Driver, MechanicsOf(woofer.Driver), TGrid::Log, {});
  std::vector<TImpedancePoint> broken = curve;
  for (TImpedancePoint& p : broken) p.Z.Re = NAN;
  struct TFailure {
    const char* Name;
    std::vector<TImpedancePoint> Curve;
    double Lo, Hi;
    std::string Text;
  };
  const TFailure failures[] = {
      {"above the resonance", curve, 200, 2000,
       "No resonance in the range: the impedance has no peak between 200 Hz and 2000 Hz."},
      {"a resistor", FlatCurve(8), 20, 200, "No resonance in the range: the impedance has no peak between 20 Hz and 200 Hz."},
      {"a narrow range", curve, 21, 22, "Too few points: 3 between 21 Hz and 22 Hz, the fit needs at least 15."},
      {"no finite point", broken, 10, 20000, "Too few points: 0 between 10 Hz and 20000 Hz, the fit needs at least 15."},
      {"an empty curve", {}, 10, 200, "Too few points: 0 between 10 Hz and 200 Hz, the fit needs at least 15."},
      {"a reversed range", curve, 200, 20, "The range is empty: no frequencies between 200 Hz and 20 Hz."},
  };
  for (const TFailure& f : failures) {
    SCOPED_TRACE(f.Name);
    const TThieleSmallFit fit = FitThieleSmall(f.Curve, f.Lo, f.Hi);
    EXPECT_FALSE(fit.Ok);
    EXPECT_EQ(fit.Failure, f.Text);
    EXPECT_EQ(fit.Fs.Value, 0);
    EXPECT_TRUE(ResultRows(fit).empty());
    EXPECT_EQ(ThieleSmallImpedance(fit, 50).Re, 0);
  }
  // A second fit that does not lower the resonance, a mass or an area that is not positive.
  const TThieleSmallFit freeAir = FitThieleSmall(curve, 10, 20000);
  ASSERT_TRUE(freeAir.Ok);
  EXPECT_EQ(MechanicsByAddedMass(freeAir, freeAir, 0.01, 0.05).Failure,
            "The added mass did not lower the resonance: 22 Hz in free air, 22 Hz loaded.");
  EXPECT_FALSE(MechanicsByAddedMass(freeAir, freeAir, -1, 0.05).Ok);
  EXPECT_FALSE(MechanicsByClosedBox(freeAir, freeAir, 0.01, 0).Ok);
  EXPECT_FALSE(MechanicsByClosedBox(freeAir, FitThieleSmall(curve, 200, 2000), 0.01, 0.05).Ok);
}

// Curves of pure noise: whatever the fit makes of them, a reason or finite figures, never NaN.
TEST(ThieleSmall, NoiseGivesAReasonOrFiniteFigures) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> uniform(-1, 4);
  for (int trial = 0; trial < 3; ++trial) {
    std::vector<TImpedancePoint> curve;
    for (const double f : Frequencies(TGrid::Log)) curve.push_back({f, {uniform(rng), uniform(rng)}, 0});
    for (const TCoilModel coil : {TCoilModel::Inductance, TCoilModel::Lossy}) {
      const TThieleSmallFit fit = FitThieleSmall(curve, 20, 2000, coil);
      if (!fit.Ok) {
        EXPECT_FALSE(fit.Failure.empty());
        continue;
      }
      for (const TResultRow& row : ResultRows(fit)) {
        EXPECT_TRUE(std::isfinite(row.Value.Value) && std::isfinite(row.Value.U)) << row.Name;
      }
    }
  }
}

} // namespace
} // namespace sorvane
