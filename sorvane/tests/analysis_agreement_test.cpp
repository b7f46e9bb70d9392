// The checks that tell a shorted jig on one card from anything else: the level check's verdict
// on the tone, and whether a ratio of the inputs is one a card gives.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "sorvane/analysis/uInputAgreement.h"

namespace sorvane {
namespace {

constexpr double Fs = 48000;
constexpr int Bins = 1024; // a 2048-point block: 23.4 Hz per bin

TComplexD Polar(double gain, double phase) { return {gain * std::cos(phase), gain * std::sin(phase)}; }

// The ratio V0 / V1 at every bin, from a function of frequency.
std::vector<TComplexD> Ratio(const std::function<TComplexD(double hz)>& at) {
  std::vector<TComplexD> ratio(Bins);
  for (int k = 1; k < Bins; ++k) ratio[k] = at(k * Fs / (2.0 * Bins));
  return ratio;
}

// A first-order high-pass at `corner` Hz: jf / (jf + fc).
TComplexD HighPass(double hz, double corner) { return CDiv({0, hz}, {corner, hz}); }

// (Zx + Rref) / Rref of a series R + L + C against 10 ohm (c = 0: no capacitor).
TComplexD Jig(double hz, double r, double l, double c) {
  const double w = 2 * M_PI * hz;
  const double x = w * l - (c > 0 ? 1 / (w * c) : 0);
  return {(r + 10) / 10, x / 10};
}

TEST(InputAgreement, ARatioIsACardsOrNot) {
  std::mt19937 random(5);
  std::normal_distribution<double> noise;
  const int lo = static_cast<int>(std::lround(AgreementLoHz / (Fs / (2.0 * Bins)))), hi = Bins / 2;
  const struct {
    const char* Name;
    std::function<TComplexD(double)> At;
    bool Agrees;
  } cases[] = {
      {"matched inputs", [](double) { return COne; }, true},
      {"gains 1.1 / 0.9", [](double) { return TComplexD{1.1 / 0.9, 0}; }, true},
      {"gains 0.9 / 1.1", [](double) { return TComplexD{0.9 / 1.1, 0}; }, true},
      {"corners 1 / 10 Hz", [](double f) { return CDiv(HighPass(f, 1), HighPass(f, 10)); }, true},
      {"corners 10 / 1 Hz, gain 1.25",
       [](double f) { return CMul({1.25, 0}, CDiv(HighPass(f, 10), HighPass(f, 1))); }, true},
      {"gain 1.35", [](double) { return TComplexD{1.35, 0}; }, false},
      {"gain 1 / 1.35", [](double) { return TComplexD{1 / 1.35, 0}; }, false},
      {"a phase of 0.15 rad", [](double) { return Polar(1, 0.15); }, false},
      {"3.3 ohm + 1 mH", [](double f) { return Jig(f, 3.3, 1e-3, 0); }, false},
      {"0.2 ohm + 10 uF", [](double f) { return Jig(f, 0.2, 0, 10e-6); }, false},
      {"47 ohm", [](double f) { return Jig(f, 47, 0, 0); }, false},
      {"1 ohm", [](double f) { return Jig(f, 1, 0, 0); }, true}, // as a card with gains 1.1 / 1
      {"noise on both inputs", [&](double) { return TComplexD{noise(random), noise(random)}; }, false},
  };
  for (const auto& c : cases) EXPECT_EQ(InputsAgree(Ratio(c.At), lo, hi), c.Agrees) << c.Name;

  // A few wild bins (a hum, a click) do not refuse a good jig.
  std::vector<TComplexD> spoiled = Ratio([](double) { return COne; });
  for (int k = lo; k < lo + 40; ++k) spoiled[k] = {5, 3};
  EXPECT_TRUE(InputsAgree(spoiled, lo, hi));
  // Nothing to judge by: the bins lie outside the ratio.
  EXPECT_TRUE(InputsAgree(spoiled, Bins, Bins + 10));
}

TEST(InputAgreement, TheLevelCheckHearsItsToneCleanlyAndAlikeOnBothInputs) {
  const TComplexD tone{1000, 0};
  const struct {
    const char* Name;
    std::array<bool, 2> Heard;
    std::array<double, 2> Quality;
    TComplexD Tone1;
    std::string Fault;
  } cases[] = {
      {"a good card", {true, true}, {96, 97}, tone, ""},
      {"a cheap card", {true, true}, {41, 35}, tone, ""},
      {"just clean enough", {true, true}, {MinToneQuality, MinToneQuality}, tone, ""},
      {"input 1 below the quality", {true, true}, {96, 19.9}, tone, NoToneText},
      {"noise on both inputs", {true, true}, {-11, -19}, tone, NoToneText},
      {"a quality that cannot be told", {true, true}, {NAN, 90}, tone, NoToneText},
      {"input 0 does not hear it", {false, true}, {96, 97}, tone, NoToneText},
      {"input 1 at 1/1.25", {true, true}, {96, 97}, {1000 / 1.25, 0}, ""},
      {"input 1 at 1/1.35", {true, true}, {96, 97}, {1000 / 1.35, 0}, InputsDifferText},
      {"input 1 at 1.35", {true, true}, {96, 97}, {0, 1350}, InputsDifferText},
      {"input 1 silent", {true, true}, {96, 97}, {0, 0}, InputsDifferText},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LevelCheckFault(c.Heard, c.Quality, {tone, c.Tone1}), c.Fault) << c.Name;
  }
}

} // namespace
} // namespace sorvane
