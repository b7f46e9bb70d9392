// The fixture's compensation: a reading made through leads and with something across the
// terminals gives the part back, the steps' results are kept per place, and the settings
// file keeps them (and a damaged one loads without them).

#include "platform/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace platform {
namespace {

using Z = TFixtureComplex;

// What a meter reads through leads Zs with Yo across the part at their far end.
Z Reading(Z part, Z zs, Z yo) { return zs + 1.0L / (yo + 1.0L / part); }

long double Off(Z got, Z want) { return std::abs(got - want) / std::abs(want); }

struct TCase {
  Z Part, Zs, Yo;
};
const TCase Cases[] = {
    {{0.1L, 0.0L}, {0.1L, 0.0094L}, {2e-5L, 9.4e-7L}},    // a small resistor on leads
    {{0.02L, 0.0094L}, {0.1L, 0.0094L}, {0, 0}},          // a 1 uH coil, leads alone
    {{1e6L, 0}, {0.1L, 0.0094L}, {2.1e-5L, 9.4e-7L}},     // 1 MOhm across 47 kOhm
    {{0, -1.06e6L}, {0, 0}, {0, 9.4e-7L}},                // 100 pF beside 100 pF
    {{3.3L, 9.42L}, {0, 0}, {0, 0}},                      // no fixture: the reading itself
};

TEST(Fixture, CompensationGivesThePartBack) {
  for (const TCase& c : Cases) {
    const Z zm = Reading(c.Part, c.Zs, c.Yo);
    EXPECT_LT(Off(CompensatedImpedance(zm, c.Zs, c.Yo), c.Part), 1e-15L) << c.Part;
    EXPECT_LT(Off(CompensatedAdmittance(1.0L / zm, c.Zs, c.Yo), 1.0L / c.Part), 1e-15L) << c.Part;
    // The steps: the short reads Zs, the open Zs + 1/Yo (nothing where Yo is 0).
    TFixture f;
    const TCalibrationPlace place{"card", "card", 48000};
    f.Keep(TFixtureStep::Short, place, 2048, {c.Zs == Z{} ? Z{} : 1.0L / c.Zs});
    f.Keep(TFixtureStep::Open, place, 2048, {c.Yo == Z{} ? Z{} : 1.0L / (c.Zs + 1.0L / c.Yo)});
    EXPECT_LT(Off(f.Compensate(0, 1.0L / zm), 1.0L / c.Part), 1e-14L) << c.Part;
    // The slope carries a small error of the reading through.
    const Z am = 1.0L / zm, h = am * 1e-7L;
    const Z numeric = (CompensatedAdmittance(am + h, c.Zs, c.Yo) -
                       CompensatedAdmittance(am - h, c.Zs, c.Yo)) / (2.0L * h);
    EXPECT_LT(Off(CompensationSlope(am, c.Zs), numeric), 1e-6L) << c.Part;
  }
  // An open jig's admittance passes through a short-less fixture finite.
  EXPECT_EQ(CompensatedAdmittance(0, 0, Z(0, 1e-9L)), Z(0, -1e-9L));
}

TEST(Fixture, StepsBelongToOnePlaceAndBlockLength) {
  const TCalibrationPlace here{"card A", "card A", 48000}, there{"card B", "card B", 48000};
  const TCalibrationPlace otherRate{"card A", "card A", 44100};
  struct TStep {
    TCalibrationPlace Place;
    uint32_t Frames;
    bool ShortKept, OpenKept;
  };
  const TStep after[] = {
      {here, 2048, true, true},      // both steps at one place
      {there, 2048, false, true},    // another card: the short goes
      {otherRate, 2048, false, true},
      {here, 4096, false, true},     // another block length
  };
  for (const TStep& s : after) {
    TFixture f;
    f.Keep(TFixtureStep::Short, here, 2048, {Z(10, 1)});
    f.Keep(TFixtureStep::Open, s.Place, s.Frames, {Z(1e-5L, 0)});
    EXPECT_EQ(!f.Short.empty(), s.ShortKept) << s.Place.Input << " " << s.Place.Rate;
    EXPECT_EQ(!f.Open.empty(), s.OpenKept);
    EXPECT_TRUE(f.AppliesTo(s.Place.Rate, s.Frames, 1));
    EXPECT_FALSE(f.AppliesTo(s.Place.Rate, s.Frames, 2)) << "the points are another program's";
    EXPECT_FALSE(f.AppliesTo(s.Place.Rate == 48000 ? 96000 : 48000, s.Frames, 1));
  }
  TFixture f;
  f.Keep(TFixtureStep::Short, here, 2048, {Z(10, 0), Z(0, 0)});
  EXPECT_EQ(f.SeriesImpedance(0), Z(0.1L, 0));
  EXPECT_EQ(f.SeriesImpedance(1), Z(0, 0)) << "a point that carried nothing adds nothing";
  EXPECT_EQ(f.ParallelAdmittance(0), Z(0, 0)) << "no open step";
  EXPECT_EQ(FixtureUnusedWarning(f, here, 2048, 2), "");
  EXPECT_NE(FixtureUnusedWarning(f, otherRate, 2048, 2).find("at 48000 Hz and is not used"),
            std::string::npos);
  EXPECT_NE(FixtureUnusedWarning(f, there, 2048, 2).find("another card"), std::string::npos);
  f.Enabled = false;
  EXPECT_EQ(FixtureUnusedWarning(f, otherRate, 2048, 2), "") << "switched off: nothing to say";
  EXPECT_FALSE(f.InForce(48000, 2048, 2));
}

// The card input's own impedance Zin across R ref reads every part (1 + Rref/Zin) too low in
// impedance; neither step sees it, the load step takes it out for every part at that R ref.
TEST(Fixture, LoadStepTakesOutTheScaleTheStepsCannotSee) {
  const TCalibrationPlace place{"card", "card", 48000};
  const Z zs(0.1L, 0.0094L), yo(0, 9.4e-7L), scale = 1.0L + 1e4L * Z(1 / 47e3L, 6.3e-7L);
  const auto read = [&](Z part) { return 1.0L / Reading(part, zs, yo) * scale; };
  TFixture f;
  f.Keep(TFixtureStep::Short, place, 2048, {1.0L / zs * scale});
  f.Keep(TFixtureStep::Open, place, 2048, {1.0L / (zs + 1.0L / yo) * scale});
  f.KeepLoad(place, 2048, {read(10e3L)}, 10e3L, 1e4L);
  for (Z part : {Z(1e6L, 0), Z(470, 0), Z(0, -1.6e5L)}) {
    EXPECT_GT(Off(1.0L / f.Compensate(0, read(part)), part), 0.05L) << "without the load";
    EXPECT_LT(Off(1.0L / f.Compensate(0, read(part), 1e4L), part), 1e-12L) << part;
  }
  EXPECT_EQ(f.LoadFactor(0, 1e3L), Z(1)) << "measured with another R ref";
  EXPECT_NE(LoadUnusedWarning(f, 1e3L).find("R ref = 10000 Ohm"), std::string::npos);
  EXPECT_EQ(LoadUnusedWarning(f, 1e4L), "");
  // A new open or short changes what the load was measured through.
  f.Keep(TFixtureStep::Open, place, 2048, {1.0L / (zs + 1.0L / yo)});
  EXPECT_TRUE(f.Load.empty());
}

struct FixtureFile : testing::Test {
  std::filesystem::path Dir = std::filesystem::temp_directory_path() /
                              ("platform_fixture_" + std::to_string(getpid()));
  std::filesystem::path Path = Dir / "test.ini";
  void SetUp() override {
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  void Write(const std::string& text) { std::ofstream(Path) << text; }
};

TEST_F(FixtureFile, SavedStepsLoadAsTheyWere) {
  TFixture f;
  f.Keep(TFixtureStep::Short, {"in", "out", 44100}, 2048, {Z(10, -1), Z(9, 2)});
  f.Keep(TFixtureStep::Open, {"in", "out", 44100}, 2048, {Z(1e-5L, 3e-7L), Z(0, 0)});
  f.KeepLoad({"in", "out", 44100}, 2048, {Z(1e-4L, 1e-6L), Z(2e-4L, 0)}, 1e4L, 470);
  f.Enabled = false;
  {
    TIniFile ini(Path);
    SaveFixture(ini, "Fixture", f);
    ASSERT_TRUE(ini.UpdateFile().Ok);
  }
  const TFixture g = LoadFixture(TIniFile(Path), "Fixture");
  EXPECT_FALSE(g.Enabled);
  EXPECT_EQ(g.Place.Input, "in");
  EXPECT_EQ(g.Place.Rate, 44100u);
  EXPECT_EQ(g.Frames, 2048u);
  ASSERT_EQ(g.Short.size(), 2u);
  ASSERT_EQ(g.Open.size(), 2u);
  ASSERT_EQ(g.Load.size(), 2u);
  EXPECT_EQ(g.LoadReference, 470);
  EXPECT_EQ(g.LoadStandard, 1e4L);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_LT(std::abs(g.Load[i] - f.Load[i]), 1e-14L * std::abs(f.Load[i]));
    // Written with 15 significant digits.
    EXPECT_LT(std::abs(g.Short[i] - f.Short[i]), 1e-14L * std::abs(f.Short[i]));
    EXPECT_LE(std::abs(g.Open[i] - f.Open[i]), 1e-14L * std::abs(f.Open[i]));
  }
}

TEST_F(FixtureFile, OldAndDamagedFilesLoadWithoutTheSteps) {
  const char* const texts[] = {
      "[Dravik]\nRun mode=1\n", // a file of an earlier version
      ("[Fixture]\nFrames=2048\nCalibratedRate=48000\nShortPoints=2\nShortRe0=1\nShortIm0=0\n"
       "ShortRe1=x\nShortIm1=0\n"), // a value that is not a number
      "[Fixture]\nFrames=2048\nCalibratedRate=48000\nOpenPoints=-3\n",
      "[Fixture]\nFrames=0\nCalibratedRate=48000\nOpenPoints=1\nOpenRe0=1\nOpenIm0=0\n",
      "[Fixture]\nFrames=2048\nCalibratedRate=48000\nOpenPoints=1\nOpenRe0=inf\nOpenIm0=0\n",
  };
  for (const char* text : texts) {
    Write(text);
    const TFixture f = LoadFixture(TIniFile(Path), "Fixture");
    EXPECT_FALSE(f.Measured()) << text;
    EXPECT_TRUE(f.Enabled) << text;
  }
}

} // namespace
} // namespace platform
