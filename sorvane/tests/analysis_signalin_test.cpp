// The measuring core on synthetic blocks, without a device: the level check with its quality and
// drift figures and the saturation levels it learns, the output level requests, the calibration
// fit of a known channel ratio, and the "Calibration" settings section.

#include "sorvane/analysis/uSignalIn.h"

#include <gtest/gtest.h>

#include <random>

#include <cmath>
#include <cstdio>
#include <complex>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "sorvane/numeric/uFFT.h"

namespace sorvane {
namespace {

using Complex = std::complex<double>;
constexpr int N = 2048;
constexpr double Fs = 48000;
constexpr double Df = Fs / N;

// One channel whose spectrum is X[k] = bins(k) for k = 1 .. N/2 - 1 (0 elsewhere), as samples.
TChannelData FromSpectrum(const std::function<Complex(int)>& bins) {
  TChannelData x(N, 0.0);
  for (int k = 1; k < N / 2; ++k) {
    const Complex z = bins(k);
    x[2 * k] = z.real();
    x[2 * k + 1] = z.imag();
  }
  RealFFT(x.data(), N, false);
  return x;
}

// amplitude * cos(2 pi k j / N + phase): its peak is the amplitude when the phase is 0.
TChannelData Tone(int k, double amplitude, double phase = 0, double harmonic2 = 0) {
  TChannelData x(N);
  for (int j = 0; j < N; ++j) {
    const double t = 2 * std::numbers::pi * k * j / N;
    x[j] = amplitude * std::cos(t + phase) + harmonic2 * std::cos(2 * t);
  }
  return x;
}

std::string Sci(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2e", x);
  return text;
}

struct TCore : TSignalIn {
  TCore() {
    SetBlockLength(N);
    OnStatus = [this](const std::string& text) { Events.push_back("status " + text); };
    OnSaturation = [this](bool on) { Events.push_back(on ? "saturated" : "not saturated"); };
    OnLevel = [this](double factor) { Levels.push_back(factor); };
  }
  void Process(TWaveData block) { ProcessBlock(block); Last = block; }
  std::vector<std::string> Events;
  std::vector<double> Levels;
  TWaveData Last;
};

TEST(LevelCheck, LearnsSaturationFromTheSecondBlockAndReportsQualityAndDrift) {
  TCore core;
  std::vector<std::string> statuses;
  core.StartLevelCheck([&](const std::string& text) { statuses.push_back(text); }, 440);
  ASSERT_EQ(core.CenterBin, 19);
  const double drift = std::atan(0.1); // tan of the phase step: 0.1 per channel
  struct TBlock {
    TWaveData Block;
    std::array<double, 2> Saturation;
    std::string Status;
  };
  const std::vector<TBlock> blocks = {
      // A second harmonic 40 dB and 50 dB below the tone; the first block teaches nothing: the
      // levels in force stay.
      {{Tone(19, 0.5, 0, 0.005), Tone(19, 0.6, 0, 0.6 * std::pow(10, -2.5))}, {0.9, 0.9},
       "Quality: 40 50"},
      {{Tone(19, 0.4, 0, 0.004), Tone(19, 0.7, 0, 0.007)}, {0.404, 0.707},
       "Quality: 40 40\r\nAsync: 0.000"},
      {{Tone(19, 0.3, drift), Tone(19, 0.3, drift)}, {0.404, 0.707}, ""},
      // Silence: no quality can be told, and each channel's drift counts -100.
      {{TChannelData(N, 0.0), TChannelData(N, 0.0)}, {0.404, 0.707},
       "Quality: ? ?\r\nAsync: -2E+02"},
  };
  for (size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(i);
    core.Process(blocks[i].Block);
    EXPECT_NEAR(core.Saturation[0], blocks[i].Saturation[0], 1e-9);
    EXPECT_NEAR(core.Saturation[1], blocks[i].Saturation[1], 1e-9);
    ASSERT_EQ(statuses.size(), i + 1);
    if (!blocks[i].Status.empty()) {
      EXPECT_EQ(statuses[i], blocks[i].Status);
    }
  }
  // The pure tones of block 3 have no harmonics above rounding: a high but finite quality.
  // A phase that advances reads as a negative drift under the transform's positive exponent.
  EXPECT_EQ(statuses[2].substr(statuses[2].find("Async")), "Async: -0.200");
  EXPECT_EQ(statuses[2].find("nan"), std::string::npos);
  EXPECT_TRUE(core.Events.empty()) << "the level check asks for no level changes";
  EXPECT_TRUE(core.Levels.empty());
}

// A check that never hears the tone (a wrong output device, silence, noise alone, a run
// stopped after its first block) teaches nothing: the levels in force stay, and measuring
// after it asks for no endless lowering.
TEST(LevelCheck, LevelsAreLearnedOnlyFromBlocksThatHeardTheTone) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> noise(-0.05, 0.05);
  TChannelData hiss(N);
  for (double& x : hiss) x = noise(rng);
  const struct {
    const char* Name;
    std::vector<TWaveData> Blocks;
  } cases[] = {
      {"silence", {{TChannelData(N, 0.0), TChannelData(N, 0.0)}, {TChannelData(N, 0.0), TChannelData(N, 0.0)}}},
      {"noise", {{hiss, hiss}, {hiss, hiss}, {hiss, hiss}}},
      {"one channel silent", {{Tone(19, 0.5), TChannelData(N, 0.0)}, {Tone(19, 0.5), TChannelData(N, 0.0)}}},
      {"first block only", {{Tone(19, 0.5), Tone(19, 0.5)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TCore core;
    core.Saturation = {0.81, 0.79};
    core.StartLevelCheck(nullptr, 440);
    for (TWaveData block : c.Blocks) core.Process(block);
    EXPECT_EQ(core.Saturation, (std::array<double, 2>{0.81, 0.79}));
    core.StartMeasurement();
    TWaveData quiet{Tone(100, 0.6), Tone(100, 0.6)};
    core.Process(quiet);
    EXPECT_EQ(core.Levels, std::vector<double>{}) << "a block at 0.74 of the levels is left alone";
  }
}

TEST(LevelCheck, ToneWithoutHarmonicsBelowHalfTheRateHasNoQuality) {
  TCore core;
  std::string status;
  core.StartLevelCheck([&](const std::string& text) { status = text; }, 15000); // bin 640
  core.Process({Tone(640, 0.5), Tone(640, 0.5)});
  EXPECT_EQ(status, "Quality: ? ?");
}

TEST(Measurement, RequestsLevelChangesFromThePeaksAndTheLearnedSaturation) {
  struct TCase {
    std::array<double, 2> Saturation, Peaks;
    std::vector<std::string> Events;
    std::vector<double> Levels;
  };
  for (const TCase& c : std::vector<TCase>{
           {{0.9, 0.9}, {0.3, 0.45}, {"not saturated"}, {1.4}},
           {{0.9, 0.9}, {0.95, 0.1}, {"saturated"}, {0.9}},
           {{0.9, 0.9}, {0.8, 0.5}, {"not saturated"}, {}},
           {{0.9, 0.9}, {0.1, 0.9}, {"saturated"}, {0.9}}, // reaching the level is saturation
           {{0.9, 0.9}, {0.8999, 0.1}, {"not saturated"}, {}}, // just below it is not
           {{0.8, 0.6}, {0.1, 0.5999}, {"not saturated"}, {}},
           {{0.8, 0.6}, {0.1, 0.6}, {"saturated"}, {0.9}},
           // The louder input, as a fraction of its level, just under and over 0.7.
           {{0.9, 0.9}, {0.629, 0.1}, {"not saturated"}, {0.7 * 0.9 / 0.629}},
           {{0.9, 0.9}, {0.631, 0.1}, {"not saturated"}, {}},
           {{0.8, 0.6}, {0.55, 0.419}, {"not saturated"}, {0.7 * 0.6 / 0.419}}, // 1 is the louder
           {{0.8, 0.6}, {0.1, 0.421}, {"not saturated"}, {}},
           // After a level check that saw only silence every block counts as saturated.
           {{0, 0}, {0.3, 0.2}, {"saturated"}, {0.9}},
           {{0, 0}, {0, 0}, {"saturated"}, {0.9}},
       }) {
    SCOPED_TRACE(testing::Message() << c.Peaks[0] << " " << c.Peaks[1]);
    TCore core;
    core.StartMeasurement();
    core.Saturation = c.Saturation;
    core.Process({Tone(100, c.Peaks[0]), Tone(200, c.Peaks[1])});
    EXPECT_EQ(core.Events, c.Events);
    ASSERT_EQ(core.Levels.size(), c.Levels.size());
    for (size_t i = 0; i < c.Levels.size(); ++i) EXPECT_NEAR(core.Levels[i], c.Levels[i], 1e-12);
  }
}

TEST(Measurement, CorrectsChannelOneByTheCalibration) {
  TCore core;
  core.Poly = IdentityCalibration();
  core.Poly[0][0] = 2;
  core.Poly[1][1] = 1e-4; // 2 + i*1e-4*f
  core.StartMeasurement();
  ASSERT_EQ(core.Calibration.size(), size_t(N / 2));
  const auto v0 = [](int k) { return Complex(1, 0.01 * k); };
  const auto v1 = [](int k) { return Complex(0.5, -0.002 * k); };
  core.Saturation = {2, 2};
  core.Process({FromSpectrum(v0), FromSpectrum(v1)});
  for (int k : {1, 100, 1023}) {
    const Complex want = v1(k) * Complex(2, 1e-4 * k * Df);
    EXPECT_NEAR(core.Last[1][2 * k], want.real(), 1e-9) << k;
    EXPECT_NEAR(core.Last[1][2 * k + 1], want.imag(), 1e-9) << k;
    EXPECT_NEAR(core.Last[0][2 * k + 1], v0(k).imag(), 1e-9) << "channel 0 is left as it was";
  }
}

// First-order low-pass and high-pass responses (the AC coupling of an input).
Complex LowPass(double f, double corner) { return 1.0 / Complex(1, f / corner); }
Complex HighPass(double f, double corner) { return Complex(0, f / corner) / Complex(1, f / corner); }

struct TFitFigures {
  double Worst = 0;
  int WorstBin = 0;
  double WorstAbove = 0; // worst from bin 20 (about 470 Hz) on
};

// Calibrates on blocks whose channel ratio is ratio(f) and compares the fitted curve with it
// over 20 Hz .. 22 kHz (bins 1 .. 939).
TFitFigures CalibrateOn(TCore& core, const std::function<Complex(double)>& ratio, int blocks) {
  core.StartCalibration(20, 22000);
  const auto drive = [](int k) { return std::polar(5.0, 0.001 * k * k); };
  const TWaveData block{FromSpectrum([&](int k) { return drive(k) * ratio(k * Df); }),
                        FromSpectrum(drive)};
  for (int i = 0; i < blocks; ++i) core.Process(block);
  TFitFigures figures;
  for (int k = 1; k <= 939; ++k) {
    const Complex want = ratio(k * Df);
    const Complex fitted(core.Calibration[k].Re, core.Calibration[k].Im);
    const double e = std::abs(fitted - want) / std::abs(want);
    if (e > figures.Worst) figures.Worst = e, figures.WorstBin = k;
    if (k >= 20) figures.WorstAbove = std::max(figures.WorstAbove, e);
    // The block carries the measured ratio in channel 0 and the fitted one in channel 1.
    EXPECT_NEAR(std::abs(Complex(core.Last[0][2 * k], core.Last[0][2 * k + 1]) - want), 0, 1e-9);
    EXPECT_EQ(core.Last[1][2 * k], core.Calibration[k].Re);
  }
  return figures;
}

TEST(CalibrationFit, ReproducesASmoothChannelRatioOverTheAudioBand) {
  // Two slightly different anti-alias responses and a gain mismatch, and a steeper pair.
  const std::vector<std::function<Complex(double)>> curves = {
      [](double f) { return 0.985 * LowPass(f, 30000) / LowPass(f, 32000); },
      [](double f) {
        return LowPass(f, 20000) * LowPass(f, 25000) / (LowPass(f, 21000) * LowPass(f, 24000));
      }};
  for (size_t i = 0; i < curves.size(); ++i) {
    TCore core;
    const TFitFigures fit = CalibrateOn(core, curves[i], 2);
    EXPECT_LT(fit.Worst, 1e-9) << "curve " << i << ", worst at bin " << fit.WorstBin;
    EXPECT_EQ(core.Events.back(), "not saturated");
    EXPECT_EQ(core.Events[core.Events.size() - 2], "status Press Stop\r\nto finish.");
  }
}

TEST(CalibrationFit, TheCouplingCornersOfBothInputsAreFittedAndTheCurveFollowsTheLowEnd) {
  // The default card's AC coupling (3.2 and 3.6 Hz) bends the ratio within the lowest bins,
  // faster than a polynomial of degree 15 over the whole band can follow (alone it left 5e-3 at
  // bin 1); the fitted corners take the bend and the polynomials the rest. HighPass here is
  // i f / (fc + i f) = f / (f - i fc): in the calibration's convention its corner is -fc.
  const struct {
    double Hp0, Hp1; // the corners of the two inputs, 0 for an input coupled at DC
    double Worst;    // the worst relative error of the fitted curve over the band
  } cases[] = {{3.2, 3.6, 1e-5}, {3.6, 3.2, 1e-5}, {0, 0, 1e-9}, {5, 0, 1e-5}, {0, 12, 1e-4},
               {1, 1, 1e-9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "corners " << c.Hp0 << " and " << c.Hp1 << " Hz");
    const auto ratio = [&](double f) {
      const Complex hp0 = c.Hp0 > 0 ? HighPass(f, c.Hp0) : 1.0;
      const Complex hp1 = c.Hp1 > 0 ? HighPass(f, c.Hp1) : 1.0;
      return hp0 / hp1 / 0.985 * LowPass(f, 30000) / LowPass(f, 32000);
    };
    TCore core;
    const TFitFigures fit = CalibrateOn(core, ratio, 1);
    RecordProperty("worst", Sci(fit.Worst) + " at bin " + std::to_string(fit.WorstBin));
    EXPECT_LT(fit.Worst, c.Worst) << "worst at bin " << fit.WorstBin;
    // Equal corners cancel in the ratio: only their difference is seen, and none is needed.
    if (c.Hp0 != c.Hp1) {
      EXPECT_NEAR(core.Corners[0], -c.Hp0, 0.02 + 1e-3 * c.Hp0);
      EXPECT_NEAR(core.Corners[1], -c.Hp1, 0.02 + 1e-3 * c.Hp1);
    }
  }
}

// The calibration follows the ratio averaged over the run's blocks: the noise of one block no
// longer sits in every later reading, and blocks spoiled by the start of the run (the inputs'
// coupling settling) leave the average as clean ones arrive.
TEST(CalibrationFit, TheRatioIsAveragedOverTheLatestBlocksOfTheRun) {
  // Gains a card's inputs can have: the fit takes them.
  constexpr double Clean = 1.2, Spoilt = 1.28;
  std::mt19937 rng(5);
  std::normal_distribution<double> gauss(0, 0.02);
  const auto block = [&](double ratio) {
    std::vector<Complex> v1(N / 2), v0(N / 2);
    for (int k = 1; k < N / 2; ++k) {
      v1[k] = Complex(1 + gauss(rng), gauss(rng));
      v0[k] = ratio * v1[k] + Complex(gauss(rng), gauss(rng));
    }
    return TWaveData{FromSpectrum([&](int k) { return v0[k]; }), FromSpectrum([&](int k) { return v1[k]; })};
  };
  // The rms distance of the fitted curve from the true ratio over the middle of the band.
  const auto error = [&](const TCore& core) {
    double sum = 0;
    for (int k = 50; k < 900; ++k) sum += std::norm(Complex(core.Calibration[k].Re, core.Calibration[k].Im) - Clean);
    return std::sqrt(sum / 850);
  };
  // Blocks of this size would pass the default saturation levels.
  const auto start = [](TCore& core) {
    core.Saturation = {1e9, 1e9};
    core.StartCalibration(20, 22000);
  };
  TCore one;
  start(one);
  one.Process(block(Clean));
  const double single = error(one);
  ASSERT_GT(single, 0);
  const struct {
    const char* Name;
    int Spoiled, Clean; // blocks of ratio Spoilt first, then blocks of ratio Clean
  } cases[] = {{"clean run", 0, TRatioAverage::AveragedBlocks},
               {"spoiled start", 3, TRatioAverage::AveragedBlocks},
               {"long run", 2, 3 * TRatioAverage::AveragedBlocks}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TCore core;
    start(core);
    for (int i = 0; i < c.Spoiled; ++i) core.Process(block(Spoilt));
    for (int i = 0; i < c.Clean; ++i) core.Process(block(Clean));
    EXPECT_LT(error(core), 0.5 * single);
  }
  // A run left going keeps every block after its first AveragedBlocks: its noise falls as one
  // over the root of its length, and the spoiled start stays out.
  const auto afterClean = [&](int spoiled, int clean) {
    TCore core;
    start(core);
    for (int i = 0; i < spoiled; ++i) core.Process(block(Spoilt));
    for (int i = 0; i < clean; ++i) core.Process(block(Clean));
    return error(core);
  };
  constexpr int Latest = TRatioAverage::AveragedBlocks;
  EXPECT_LT(afterClean(Latest, 9 * Latest), 0.5 * afterClean(Latest, Latest));
  EXPECT_LT(afterClean(Latest, 9 * Latest), 0.5 / std::sqrt(8.0) * single);
  // A new run starts a new average: the blocks of the last run do not count.
  TCore core;
  start(core);
  for (int i = 0; i < 4; ++i) core.Process(block(Spoilt));
  core.StartCalibration(20, 22000);
  core.Process(block(Clean));
  EXPECT_LT(error(core), 2 * single);
}

TEST(CalibrationFit, NormalMatrixIsFactoredOncePerStartAndAFailedFitKeepsThePolynomials) {
  TCore core;
  core.StartCalibration(20, 22000);
  EXPECT_EQ(core.CenterBin, 470);
  EXPECT_EQ(core.HalfWidth, 469);
  const TCalibrationPolys before = core.Poly;
  // A factor spoilt after the start is used as it is by every block: the fit is not finite,
  // so the polynomials in force stay.
  core.Normal[3][3] = std::nanl("");
  const TWaveData cardRatio{FromSpectrum([](int) { return Complex(1.25, 0); }),
                         FromSpectrum([](int) { return Complex(1, 0); })};
  core.Saturation = {1e-3, 1e-3};
  core.Process(cardRatio);
  EXPECT_EQ(core.Poly, before);
  EXPECT_EQ(core.Events, (std::vector<std::string>{"status Wait...", "saturated"}));
  EXPECT_EQ(core.Levels, std::vector<double>{0.9});
  // A new start factors the matrix again, and the next block fits the ratio 1.25.
  core.StartCalibration(20, 22000);
  core.Process(cardRatio);
  EXPECT_NEAR(core.Calibration[500].Re, 1.25, 1e-9);
  EXPECT_NEAR(core.Calibration[500].Im, 0, 1e-9);
  // A window of fewer than 16 bins cannot carry a fit of degree 15: nothing changes.
  core.Poly = before;
  core.StartCalibration(1000, 1100);
  core.Process(cardRatio);
  EXPECT_EQ(core.Poly, before);
}

TEST(CalibrationSettings, MissingSectionLoadsDefaultsAndASavedFitComesBack) {
  const auto dir = std::filesystem::temp_directory_path() / "sorvane_signalin_test";
  std::filesystem::create_directories(dir);
  const auto path = dir / "Sorvane.ini";
  std::filesystem::remove(path);

  TCore fresh;
  fresh.Saturation = {0.3, 0.4};
  fresh.Poly[0][2] = 5;
  {
    platform::TIniFile empty(path);
    empty.WriteString("Graph", "Anything", "1");
    fresh.LoadSettings(empty);
  }
  EXPECT_EQ(fresh.Saturation, (std::array<double, 2>{0.9, 0.9}));
  EXPECT_EQ(fresh.Poly[0][2], 5) << "a missing coefficient keeps the one in force";

  TCore calibrated;
  CalibrateOn(calibrated, [](double f) { return HighPass(f, 3.2) / HighPass(f, 3.6) / 0.985; }, 1);
  calibrated.Saturation = {0.81, 0.79};
  {
    platform::TIniFile ini(path);
    calibrated.SaveSettings(ini);
    ASSERT_TRUE(ini.UpdateFile().Ok);
  }
  const platform::TIniFile ini(path);
  std::vector<std::string> keys = {"Saturation0", "Saturation1"};
  for (int j = 0; j < 16; ++j) {
    for (int comp = 0; comp < 2; ++comp) keys.push_back("Polynom" + std::to_string(j) + std::to_string(comp));
  }
  keys.push_back("Corner0");
  keys.push_back("Corner1");
  for (const char* key : {"CalibratedInput", "CalibratedOutput", "CalibratedRate"}) keys.push_back(key);
  EXPECT_EQ(ini.ReadSection("Calibration"), keys);
  TCore loaded;
  loaded.StartMeasurement();
  loaded.LoadSettings(ini);
  EXPECT_EQ(loaded.Saturation, calibrated.Saturation);
  double worst = 0;
  for (int k = 1; k <= 939; ++k) {
    const Complex a(loaded.Calibration[k].Re, loaded.Calibration[k].Im);
    const Complex b(calibrated.Calibration[k].Re, calibrated.Calibration[k].Im);
    worst = std::max(worst, std::abs(a - b));
  }
  // 15 significant digits per coefficient, against terms of up to 1e4 that cancel to about 1.
  RecordProperty("round trip", Sci(worst));
  EXPECT_LT(worst, 1e-7);
  std::filesystem::remove_all(dir);
}

TEST(CalibrationSettings, CornersComeBackAndAFileWithoutThemLoadsItsPolynomialsAlone) {
  const auto dir = std::filesystem::temp_directory_path() / "sorvane_signalin_corners";
  std::filesystem::create_directories(dir);
  TCore calibrated;
  CalibrateOn(calibrated, [](double f) { return HighPass(f, 3.2) / HighPass(f, 3.6) / 0.985; }, 1);
  ASSERT_NE(calibrated.Corners, (TCouplingCorners{0, 0}));
  const struct {
    const char* Corner0; // nullptr: the key is not written
    const char* Corner1;
    bool Taken;          // false: the calibration in force stays whole
  } cases[] = {
      {"keep", "keep", true},        // as saved
      {nullptr, nullptr, true},      // a file written before the corners: polynomials alone
      {"-3.2", nullptr, false},      // half a pair
      {"nan", "-3.6", false},        // not a number
      {"-3.2", "1e6", false},        // beyond any card's coupling
      {"0", "0", true},              // DC-coupled inputs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.Corner0 ? c.Corner0 : "-") << " " << (c.Corner1 ? c.Corner1 : "-"));
    std::filesystem::remove(dir / "saved.ini");
    std::filesystem::remove(dir / "Sorvane.ini");
    platform::TIniFile saved(dir / "saved.ini");
    calibrated.SaveSettings(saved);
    // The saved keys, the corners as the case has them.
    platform::TIniFile ini(dir / "Sorvane.ini");
    const char* values[2] = {c.Corner0, c.Corner1};
    for (const std::string& key : saved.ReadSection("Calibration")) {
      const std::string value = saved.ReadString("Calibration", key, "");
      if (key == "Corner0" || key == "Corner1") {
        const char* v = values[key.back() - '0'];
        if (v) ini.WriteString("Calibration", key, std::string(v) == "keep" ? value : v);
      } else {
        ini.WriteString("Calibration", key, value);
      }
    }
    TCore loaded;
    loaded.StartMeasurement();
    loaded.Poly[1][3] = 4e-12; // the calibration in force, not the identity
    loaded.Corners = {-1, -2};
    const TCalibrationPolys polyBefore = loaded.Poly;
    const TCouplingCorners cornersBefore = loaded.Corners;
    loaded.LoadSettings(ini);
    if (!c.Taken) {
      EXPECT_EQ(loaded.Poly, polyBefore);
      EXPECT_EQ(loaded.Corners, cornersBefore);
      continue;
    }
    // Saved with 15 significant digits.
    EXPECT_NE(loaded.Poly, polyBefore);
    const bool withCorners = c.Corner0 && std::string(c.Corner0) == "keep";
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(loaded.Corners[k], withCorners ? calibrated.Corners[k] : 0.0, 1e-13);
    }
    // With its corners the curve is the one calibrated; without them it is the polynomials'.
    TComplexArray polynomials(loaded.Calibration.size());
    EvaluateCalibration(loaded.Poly, polynomials, Df);
    for (int k = 1; k <= 939; ++k) {
      const TComplexD want = withCorners ? calibrated.Calibration[k] : polynomials[k];
      ASSERT_NEAR(loaded.Calibration[k].Re, want.Re, 1e-7) << "bin " << k;
      ASSERT_NEAR(loaded.Calibration[k].Im, want.Im, 1e-7) << "bin " << k;
    }
  }
  std::filesystem::remove_all(dir);
}

TEST(CalibrationSettings, ACurveThatWouldOverflowOrIsNoCardsKeepsTheCalibrationInForce) {
  const auto dir = std::filesystem::temp_directory_path() / "sorvane_signalin_overflow";
  std::filesystem::create_directories(dir);
  const struct {
    const char* key;
    const char* value;
    bool taken;
  } cases[] = {
      {"Polynom10", "2.5e-6", true},    // an ordinary slope
      {"Polynom151", "1e-60", true},    // the top power, small as fits make it
      {"Polynom150", "1e300", false},   // 1e300 * 96000^15 is far beyond a double
      {"Polynom20", "1.7e308", false},  // finite, but f^2 times it is not
      // The constant term is the curve's value: finite, but a spectrum corrected by it is not.
      {"Polynom00", "1.7e308", false},
      {"Polynom00", "1e308", false},
      {"Polynom01", "1e303", false},
      // In range, but no card's inputs differ so: every impedance would read far off.
      {"Polynom00", "1e3", false},
      {"Polynom00", "0", false},
      {"Polynom00", "1.5", false},
      {"Polynom01", "0.5", false},      // a phase of 0.46 rad over the band
      {"Polynom00", "1.2", true},       // gains of 1.2 / 1 are still a card
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + std::string("=") + c.value);
    const auto path = dir / "Sorvane.ini";
    std::filesystem::remove(path);
    platform::TIniFile ini(path);
    ini.WriteString("Calibration", c.key, c.value);
    TCore core;
    core.StartMeasurement();
    core.Poly[1][3] = 4e-15; // the calibration in force, not the identity
    const TCalibrationPolys before = core.Poly;
    core.LoadSettings(ini);
    if (c.taken) {
      EXPECT_NE(core.Poly, before);
    } else {
      EXPECT_EQ(core.Poly, before) << "the whole set is refused";
    }
    for (size_t k = 1; k < core.Calibration.size(); ++k) {
      ASSERT_TRUE(std::isfinite(core.Calibration[k].Re) && std::isfinite(core.Calibration[k].Im))
          << "bin " << k;
    }
    // A full-scale block measured with it still gives finite spectra.
    TWaveData block{Tone(100, 1.0), Tone(100, 1.0)};
    core.Process(block);
    for (const double x : block[1]) ASSERT_TRUE(std::isfinite(x));
  }
  std::filesystem::remove_all(dir);
}

} // namespace
} // namespace sorvane
