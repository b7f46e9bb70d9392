// The impedance bin by bin, the averaged R with L or C and its text, the transfer ratio, and the
// number texts, on blocks of spectra made by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <string>

#include "sorvane/analysis/uFormatEng.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uSignalIn.h"

namespace sorvane {
namespace {

using Complex = std::complex<double>;
constexpr int N = 2048;
constexpr double Fs = 48000;
constexpr double Df = Fs / N;
constexpr double Inf = std::numeric_limits<double>::infinity();

Complex At(const TChannelData& x, int k) { return {x[2 * k], x[2 * k + 1]}; }

// Packed spectra with channel 1 = v1 and channel 0 = v1 * rho in every bin.
TWaveData Spectra(const std::function<Complex(int)>& rho, Complex v1 = {0.3, -0.2}) {
  TWaveData block{TChannelData(N, 0.0), TChannelData(N, 0.0)};
  for (int k = 1; k < N / 2; ++k) {
    const Complex v0 = v1 * rho(k);
    block[0][2 * k] = v0.real(), block[0][2 * k + 1] = v0.imag();
    block[1][2 * k] = v1.real(), block[1][2 * k + 1] = v1.imag();
  }
  return block;
}

// The ratio that a component zx gives against rref, as the positive-exponent transform sees it.
std::function<Complex(int)> RatioOf(const std::function<Complex(double)>& zx, double rref) {
  return [=](int k) { return std::conj(1.0 + zx(k * Df) / rref); };
}

struct TImpedance : testing::Test {
  TSignalIn In;
  std::string Text;
  void SetUp() override { In.SetBlockLength(N); }
  void Compute(TWaveData& block, double lo, double hi, double rref, bool swap = false) {
    Text.clear();
    In.ComputeImpedance(block, swap, lo, hi, rref, true, [&](const std::string& t) { Text = t; });
  }
};

TEST_F(TImpedance, ImpedancePerBinFromTheRatioOfTheInputs) {
  struct TCase {
    Complex Rho;
    bool Swap;
    Complex Zx;
  };
  for (const TCase& c : {TCase{1, false, 0}, {2, false, {100, 0}}, {0.5, true, {100, 0}},
                         {{1, -0.5}, false, {0, 50}}, {0, false, {-100, 0}}}) {
    SCOPED_TRACE(testing::Message() << c.Rho << (c.Swap ? " swapped" : ""));
    TWaveData block = Spectra([&](int) { return c.Rho; });
    const TWaveData before = block;
    In.ComputeImpedance(block, c.Swap, 1000, 2000, 100, false, nullptr);
    for (int k = 43; k <= 85; ++k) EXPECT_LT(std::abs(At(block[0], k) - c.Zx), 1e-12) << k;
    EXPECT_EQ(At(block[0], 42), At(before[0], 42)) << "bins outside the range stay";
    EXPECT_EQ(block[1], before[1]) << "channel 1 stays without the LCR figures";
  }
}

TEST_F(TImpedance, AveragedModelAndItsText) {
  const auto w = [](double f) { return 2 * std::numbers::pi * f; };
  struct TCase {
    const char* Name;
    std::function<Complex(double)> Zx;
    std::string Text;
  };
  for (const TCase& c : std::vector<TCase>{
           {"inductance", [&](double f) { return Complex(0, w(f) * 2.2e-3); },
            "Lx= 2.2 mH"},
           {"inductance with loss", [&](double f) { return Complex(12.345, w(f) * 2.2e-3); }, ""},
           {"capacitance", [&](double f) { return Complex(0.47, -1 / (w(f) * 47e-9)); }, ""},
           {"resistance", [](double) { return Complex(47, 0); },
            "Reads as a resistor: no L or C above the noise"},
       }) {
    SCOPED_TRACE(c.Name);
    // A real drive: a resistance then gives quotients with an imaginary part of exactly 0.
    TWaveData block = Spectra(RatioOf(c.Zx, 100), {0.3, 0});
    Compute(block, 1000, 10000, 100);
    if (!c.Text.empty()) {
      EXPECT_EQ(Text.substr(0, Text.find("\r\n")), c.Text);
    }
    EXPECT_EQ(Text.find("nan"), std::string::npos);
    for (int k = 43; k <= 427; ++k) {
      const Complex want = c.Zx(k * Df);
      ASSERT_LT(std::abs(At(block[0], k) - want), 1e-9 * std::abs(want) + 1e-12) << k;
    }
    // Channel 1 carries the model: the averaged R and the reactance of the averaged L or C.
    const Complex model = At(block[1], 200), truth = c.Zx(200 * Df);
    EXPECT_NEAR(model.real(), truth.real(), 1e-9);
    EXPECT_NEAR(model.imag(), truth.imag(), 1e-9 * std::abs(truth.imag()) + 1e-12);
  }
  TWaveData lossy = Spectra(RatioOf([&](double f) { return Complex(12.345, w(f) * 2.2e-3); }, 100));
  Compute(lossy, 1000, 10000, 100);
  EXPECT_EQ(Text.substr(0, Text.find("\r\ntg")), "Lx= 2.2 mH\r\nR= 12.35 Ohm");
  TWaveData capacitor = Spectra(RatioOf([&](double f) { return Complex(0.47, -1 / (w(f) * 47e-9)); }, 100));
  Compute(capacitor, 1000, 10000, 100);
  EXPECT_EQ(Text.substr(0, Text.find("\r\ntg")), "Cx= 47 nF\r\nR= 470 mOhm");
}

TEST_F(TImpedance, BinsWithoutReactanceAreLeftOutOfLAndCAndSilenceShowsNoNumberItCannotTell) {
  // Every third bin silent on both inputs: its quotient is 0 and its Zx -Rref with no reactance.
  const double l = 1e-3;
  TWaveData block = Spectra(RatioOf([&](double f) { return Complex(5, 2 * std::numbers::pi * f * l); }, 10));
  for (int k = 43; k <= 427; k += 3) {
    for (int c = 0; c < 2; ++c) block[c][2 * k] = block[c][2 * k + 1] = 0;
  }
  Compute(block, 1000, 10000, 10);
  EXPECT_EQ(Text.substr(0, Text.find("\r\n")), "Lx= 1 mH");
  TWaveData silent{TChannelData(N, 0.0), TChannelData(N, 0.0)};
  Compute(silent, 1000, 10000, 10);
  // Silent inputs carry nothing to fit: no R is made up from them.
  EXPECT_EQ(Text, "Im= ?\r\nR= ? Ohm\r\ntg= ?");
  for (int k = 43; k <= 427; ++k) ASSERT_EQ(At(silent[1], k), Complex(0, 0)) << "no model";
  // A quotient that overflows is shown as unknown, never as inf or nan.
  TWaveData huge = Spectra([](int) { return Complex(1, 1); }, {1e-305, 0});
  for (int k = 1; k < N / 2; ++k) huge[0][2 * k] = huge[0][2 * k + 1] = 1e10;
  Compute(huge, 1000, 10000, 10);
  EXPECT_EQ(Text, "Im= ?\r\nR= ? Ohm\r\ntg= ?");
}

TEST_F(TImpedance, TransferIsTheOutputOfTheDividerOverItsDrive) {
  const Complex zx(3.3, 2.0);
  for (const bool swap : {false, true}) {
    TWaveData block = Spectra([&](int) { return std::conj(1.0 + zx / 10.0); });
    if (swap) std::swap(block[0], block[1]);
    In.ComputeTransfer(block, swap, 100, 20000);
    const Complex want = 10.0 / (zx + 10.0); // in the impedance's convention: an inductance lags
    EXPECT_LT(std::abs(At(block[0], 500) - want), 1e-12) << swap;
  }
}

TEST(FormatEng, PrefixesAndTheirBoundaries) {
  struct TCase {
    double X;
    const char* Text;
  };
  for (const TCase& c : {TCase{1000, "1000 "}, {2500, "2.5 k"}, {0.0025, "2.5 m"}, {-47e-9, "-47 n"},
                         {0, "0 p"}, {1, "1 "}, {1e6, "1000 k"}, {1.5e6, "1.5 M"},
                         {12.3456, "12.35 "}, {4.7e-6, "4.7 \u00B5"}, {1e-3, "1 m"},
                         {0.99999, "1000 m"}, {3.3e-12, "3.3 p"}, {-0.0, "0 p"},
                         {Inf, "? "}, {std::nan(""), "? "}}) {
    EXPECT_EQ(FormatEng(c.X), c.Text) << c.X;
  }
}

TEST(FormatEng, FixedAndExponentFiguresNeverShowNanOrInf) {
  EXPECT_EQ(FormatFixedShort(40.4, 0), "40");
  EXPECT_EQ(FormatFixedShort(123.4, 0), "1.2E+02");
  EXPECT_EQ(FormatFixedShort(-0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixedShort(0.2, 3), "0.200");
  EXPECT_EQ(FormatFixedShort(-Inf, 0), "?");
  EXPECT_EQ(FormatExponent2(0.123), "1.2E-01");
  EXPECT_EQ(FormatExponent2(32000), "3.2E+04");
  EXPECT_EQ(FormatExponent2(std::nan("")), "?");
}

} // namespace
} // namespace sorvane
