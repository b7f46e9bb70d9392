// The calibration's own uncertainty: the run's blocks dealt to groups, the groups' curves kept in
// section "CalibrationSpread", and their share of a reading's uncertainty.

#include "sorvane/analysis/uCalibrationSpread.h"
#include "sorvane/analysis/uSignalIn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "sorvane/numeric/uFFT.h"

namespace sorvane {
namespace {

using Complex = std::complex<double>;
constexpr int N = 2048;
constexpr double Fs = 48000;
constexpr double Df = Fs / N;
constexpr int Groups = TRatioAverage::SpreadGroups;

// A packed spectrum with the value z in every bin 1 .. N/2 - 1.
std::vector<double> Flat(Complex z) {
  std::vector<double> x(N, 0.0);
  for (int k = 1; k < N / 2; ++k) x[2 * k] = z.real(), x[2 * k + 1] = z.imag();
  return x;
}

TEST(CalibrationSpread, EachGroupAveragesItsOwnBlocksOfTheRun) {
  // Block b of the run (from 1) has the ratio 1 + b / 100 in every bin; a group's mean is the
  // mean over the blocks the average holds whose number leaves that remainder by the groups.
  const struct {
    int Blocks;
    int FirstHeld; // the first block the average holds (the later ones all count)
  } cases[] = {{TRatioAverage::AveragedBlocks - 1, 0},
               {TRatioAverage::AveragedBlocks, 1},
               {13, 6},                               // the latest eight alone
               {2 * TRatioAverage::AveragedBlocks + 1, 9}, // every block after the first eight
               {31, 9}};
  const std::vector<double> one = Flat(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Blocks << " blocks");
    TRatioAverage average;
    for (int b = 1; b <= c.Blocks; ++b) {
      average.Add(Flat(1 + b / 100.0).data(), one.data(), N / 2);
    }
    ASSERT_EQ(average.GroupsReady(), c.FirstHeld > 0);
    if (!average.GroupsReady()) continue;
    for (int g = 0; g < Groups; ++g) {
      double sum = 0;
      int count = 0;
      for (int b = c.FirstHeld; b <= c.Blocks; ++b) {
        if (b % Groups == g) sum += 1 + b / 100.0, ++count;
      }
      TComplexArray ratio(N / 2, COne);
      average.GroupMeanInto(g, ratio);
      EXPECT_NEAR(ratio[1].Re, sum / count, 1e-12) << "group " << g;
      EXPECT_NEAR(ratio[N / 2 - 1].Re, sum / count, 1e-12) << "group " << g;
      EXPECT_NEAR(ratio[500].Im, 0, 1e-12);
    }
  }
}

// A calibration run on noisy blocks of a card whose inputs differ by a gain and a coupling.
void CalibrateNoisily(TSignalIn& in, int blocks, std::mt19937& rng) {
  std::normal_distribution<double> gauss(0, 0.05);
  in.Saturation = {1e9, 1e9};
  in.StartCalibration(20, 22000);
  for (int i = 0; i < blocks; ++i) {
    std::vector<double> x0(N, 0.0), x1(N, 0.0);
    for (int k = 1; k < N / 2; ++k) {
      const Complex drive = std::polar(5.0, 0.001 * k * k);
      const double f = k * Df;
      const Complex card = 1.1 * Complex(0, f / 3.0) / Complex(1, f / 3.0);
      const Complex v0 = drive * card + Complex(gauss(rng), gauss(rng));
      x0[2 * k] = v0.real(), x0[2 * k + 1] = v0.imag();
      x1[2 * k] = drive.real(), x1[2 * k + 1] = drive.imag();
    }
    RealFFT(x0.data(), N, false);
    RealFFT(x1.data(), N, false);
    TWaveData block{x0, x1};
    in.ProcessBlock(block);
  }
}

double RmsDistance(const TComplexArray& a, const TComplexArray& b) {
  double sum = 0;
  for (int k = 20; k < 900; ++k) sum += std::norm(Complex(a[k].Re - b[k].Re, a[k].Im - b[k].Im));
  return std::sqrt(sum / 880);
}

// The share the groups tell, sqrt(sum |g - run|^2 / (G (G - 1))), against the scatter of whole
// runs on the same card: the two agree when every group is an independent quarter of the run.
TEST(CalibrationSpread, TheGroupsTellHowFarWholeRunsScatter) {
  std::mt19937 rng(5);
  constexpr int Runs = 16;
  std::vector<TComplexArray> runs;
  double told = 0; // the groups' variance of the run's curve, mean over the runs
  for (int r = 0; r < Runs; ++r) {
    TSignalIn in;
    in.SetBlockLength(N);
    CalibrateNoisily(in, 24, rng); // sixteen blocks after the first eight: four to each group
    ASSERT_EQ(in.Spread.size(), static_cast<size_t>(Groups));
    runs.push_back(in.Calibration);
    for (const TCalibrationCurve& curve : in.Spread) {
      TComplexArray values(in.Calibration.size(), COne);
      EvaluateCalibration(curve.Poly, curve.Corners, values, Df);
      const double d = RmsDistance(values, in.Calibration);
      told += d * d / (Groups * (Groups - 1)) / Runs;
    }
  }
  double scatter = 0; // half the mean square distance between two runs: one run's variance
  for (int r = 0; r + 1 < Runs; r += 2) {
    const double d = RmsDistance(runs[r], runs[r + 1]);
    scatter += d * d / 2 / (Runs / 2);
  }
  EXPECT_NEAR(std::sqrt(told / scatter), 1, 0.25);
}

TEST(CalibrationSpread, TheGroupsComeBackFromTheFileOfTheirOwnCalibration) {
  std::mt19937 rng(11);
  TSignalIn in;
  in.SetBlockLength(N);
  CalibrateNoisily(in, 24, rng);
  ASSERT_EQ(in.Spread.size(), static_cast<size_t>(Groups));
  const auto dir = std::filesystem::temp_directory_path() / "sorvane_calspread_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto path = dir / "Sorvane.ini";
  const struct {
    const char* Name;
    const char* Key; // changed before loading (nullptr: the file as saved)
    const char* Value;
    bool Kept;
  } cases[] = {
      {"as saved", nullptr, nullptr, true},
      {"another calibration's", "ForPolynom00", "1.25", false},
      {"a group cut short", "Group3Polynom150", "", false},
      {"a group that is no card", "Group1Polynom00", "1e3", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove(path);
    platform::TIniFile ini(path);
    in.SaveSettings(ini);
    if (c.Key) ini.WriteString("CalibrationSpread", c.Key, c.Value);
    TSignalIn loaded;
    loaded.SetBlockLength(N);
    loaded.LoadSettings(ini);
    ASSERT_EQ(loaded.Spread.size(), c.Kept ? in.Spread.size() : 0u);
    for (size_t g = 0; g < loaded.Spread.size(); ++g) {
      for (int j = 0; j < NormalSize; ++j) {
        EXPECT_NEAR(static_cast<double>(loaded.Spread[g].Poly[0][j]),
                    static_cast<double>(in.Spread[g].Poly[0][j]),
                    1e-13 * std::fabs(static_cast<double>(in.Spread[g].Poly[0][j])));
      }
      for (int c = 0; c < 2; ++c)
        EXPECT_NEAR(loaded.Spread[g].Corners[c], in.Spread[g].Corners[c], 1e-13 * 20);
    }
  }
  // A calibration without a spread (too short a run) saves none, and a file of an earlier
  // version, without the section, loads its calibration with the spread unknown.
  TSignalIn brief;
  brief.SetBlockLength(N);
  CalibrateNoisily(brief, 3, rng);
  EXPECT_TRUE(brief.Spread.empty());
  platform::TIniFile ini(path);
  brief.SaveSettings(ini);
  EXPECT_FALSE(ini.SectionExists("CalibrationSpread"));
  TSignalIn loaded;
  loaded.SetBlockLength(N);
  loaded.Spread = in.Spread;
  loaded.LoadSettings(ini);
  EXPECT_TRUE(loaded.Spread.empty()) << "a new calibration never keeps the old one's spread";
  std::filesystem::remove_all(dir);
}

TEST(CalibrationSpread, TheGroupsShareWidensTheUncertaintyOfRAndL) {
  // 10 ohm + 1 mH against 10 ohm, noiseless: the reading's own uncertainty is nil, and the
  // groups' curves differ from the calibration by the gains 1 + d. Channel 1 scaled by 1 + d
  // moves Zx to (Rref + Zx) / (1 + d) - Rref: R by -(Rref + R) d, L by -L d.
  constexpr double Rref = 10, R = 10, L = 1e-3;
  const double d[Groups] = {1e-4, -1e-4, 2e-4, -2e-4};
  const double sdOfMean = std::sqrt((1 + 1 + 4 + 4) * 1e-8 / (Groups * (Groups - 1)));
  TSignalIn in;
  in.SetBlockLength(N);
  in.StartMeasurement();
  for (double g : d) {
    TCalibrationCurve curve;
    curve.Poly[0][0] = 1 + g;
    in.Spread.push_back(curve);
  }
  in.EvaluateCalibration();
  const auto reading = [&] {
    TWaveData block{TChannelData(N, 0.0), TChannelData(N, 0.0)};
    for (int k = 1; k < N / 2; ++k) {
      const Complex zx(R, 2 * std::numbers::pi * k * Df * L);
      const Complex v1(0.3, -0.2);
      const Complex v0 = v1 * std::conj(1.0 + zx / Rref);
      block[0][2 * k] = v0.real(), block[0][2 * k + 1] = v0.imag();
      block[1][2 * k] = v1.real(), block[1][2 * k + 1] = v1.imag();
    }
    in.ComputeImpedance(block, false, 100, 2000, Rref, true, nullptr);
    return in.LastLcr();
  };
  const TLcrResult shared = reading();
  EXPECT_NEAR(shared.R, R, 1e-9);
  EXPECT_NEAR(shared.UR, (Rref + R) * sdOfMean, 0.02 * (Rref + R) * sdOfMean);
  EXPECT_NEAR(shared.UL, L * sdOfMean, 0.02 * L * sdOfMean);
  in.Spread.clear();
  in.EvaluateCalibration();
  const TLcrResult alone = reading();
  EXPECT_LT(alone.UR, 1e-3 * shared.UR);
  EXPECT_LT(alone.UL, 1e-3 * shared.UL);
}

TEST(CalibrationSpread, AShareIsKnownOnlyFromGroupsThatReadTheSameKind) {
  TLcrResult coil;
  coil.R = 1, coil.L = 1e-3, coil.ReactiveBins = 10, coil.HasUncertainty = true;
  coil.Fit.Kind = TReactanceKind::Inductance;
  coil.Fit.Coefficient = 1e-3;
  const auto group = [&](double r, double coefficient, TReactanceKind kind) {
    TLcrResult g = coil;
    g.R = r, g.Fit.Coefficient = coefficient, g.Fit.Kind = kind;
    return g;
  };
  constexpr auto Coil = TReactanceKind::Inductance, Cap = TReactanceKind::Capacitance;
  const struct {
    const char* Name;
    std::vector<TLcrResult> Groups;
    bool Known;
    double UR, UValue;
  } cases[] = {
      {"no groups", {}, false, 0, 0},
      {"one group", {group(1.1, 1e-3, Coil)}, false, 0, 0},
      {"two groups", {group(1.1, 1.1e-3, Coil), group(0.9, 0.9e-3, Coil)}, true, 0.1, 0.1e-3},
      {"a group of another kind keeps L's share unknown",
       {group(1.1, 1e-3, Coil), group(0.9, -5, Cap)}, true, 0.1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TCalibrationShare share = CalibrationShare(coil, c.Groups);
    EXPECT_EQ(share.Known, c.Known);
    EXPECT_NEAR(share.UR, c.UR, 1e-12);
    EXPECT_NEAR(share.UValue, c.UValue, 1e-15);
  }
  TLcrResult shown = coil;
  shown.UR = 0.3, shown.UL = 4e-6;
  AddCalibrationShare(shown, {true, 0.4, 3e-6});
  EXPECT_DOUBLE_EQ(shown.UR, 0.5);
  EXPECT_DOUBLE_EQ(shown.UL, 5e-6);
}

} // namespace
} // namespace sorvane
