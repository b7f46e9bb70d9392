// One measurement from end to end on the virtual card: the playback device loops the multi-tone
// table into a box, the capture device hands blocks of one table length to the analysis, and
// the analysis reads the box's component.

#include "dravik/tests/measure_support.h"

#include <cmath>
#include <cstdio>

namespace dravik {
namespace {

using namespace audiotest;
namespace vmbox = platform::vmbox;

struct TCase {
  const char* name;
  vmbox::TCircuit circuit;
  TReactanceKind kind;
  long double value; // henries or farads
};
const TCase Cases[] = {
    {"3.3 Ohm + 1 mH", {3.3, 1e-3, 0, 10, false}, TReactanceKind::Inductance, 1e-3L},
    {"0.2 Ohm + 10 uF", {0.2, 0, 10e-6, 10, false}, TReactanceKind::Capacitance, 10e-6L},
    {"3.3 Ohm + 47 uF", {3.3, 0, 47e-6, 10, false}, TReactanceKind::Capacitance, 47e-6L},
};

// The box's devices at the card's default rate, 48 kHz.
std::vector<TLCRFitResult> Measure(size_t box, int count) {
  return MeasureFits(static_cast<int>(InputOf(box)), static_cast<int>(OutputOf(box)), count, 120s,
                     48000);
}

long double Relative(long double measured, long double actual) {
  return std::fabs(measured - actual) / actual;
}

// Without noise the only error left is the 16-bit quantisation of the two inputs, which the
// periodic signal does not average away: about 1e-5 relative (1.2e-4 for the 0.2 ohm), and some
// hundred times more at 8 bits. A tone off its analysis point or a block out of step would cost
// far more.
TEST(EndToEnd, ANoiselessBoxReadsItsComponentToTheQuantisationLimit) {
  std::vector<TBoxConfig> boxes;
  for (const auto& c : Cases) boxes.push_back(QuietBox(c.name, c.circuit));
  vmbox::Reinitialise(boxes, TSpeed::Fast);
  for (size_t b = 0; b < std::size(Cases); ++b) {
    const TCase& c = Cases[b];
    const std::vector<TLCRFitResult> fits = Measure(b, 1);
    ASSERT_EQ(fits.size(), 1u) << c.name;
    const TLCRFitResult& fit = fits[0];
    EXPECT_EQ(fit.Kind, c.kind) << c.name;
    std::printf("[ measured ] %s without noise: R %.3Le, L or C %.3Le relative error\n", c.name,
                Relative(fit.R, c.circuit.R), Relative(fit.Value, c.value));
    EXPECT_LT(Relative(fit.R, c.circuit.R), 3e-4L) << c.name;
    EXPECT_LT(Relative(fit.Value, c.value), 3e-4L) << c.name;
  }
}

// Ten one-second readings with the card's default noise (3e-5 of full scale per input).
TEST(EndToEnd, ReadingsOfANoisyBoxSpreadLittle) {
  std::vector<TBoxConfig> boxes;
  for (const auto& c : Cases) {
    boxes.push_back(QuietBox(c.name, c.circuit));
    boxes.back().Card.NoiseOn = true; // the card's default noise
  }
  vmbox::Reinitialise(boxes, TSpeed::Fast);
  for (size_t b = 0; b < std::size(Cases); ++b) {
    const TCase& c = Cases[b];
    const std::vector<TLCRFitResult> fits = Measure(b, 10);
    ASSERT_EQ(fits.size(), 10u) << c.name;
    long double r = 0, v = 0, r2 = 0, v2 = 0;
    for (const auto& fit : fits) {
      EXPECT_EQ(fit.Kind, c.kind) << c.name;
      r += fit.R / 10;
      v += fit.Value / 10;
      r2 += fit.R * fit.R / 10;
      v2 += fit.Value * fit.Value / 10;
    }
    const long double sr = std::sqrt(std::fabs(r2 - r * r)), sv = std::sqrt(std::fabs(v2 - v * v));
    std::printf("[ measured ] %s, ten noisy readings: spread R %.2Le, L or C %.2Le; mean off by "
                "%.2Le, %.2Le\n", c.name, sr / c.circuit.R, sv / c.value, Relative(r, c.circuit.R),
                Relative(v, c.value));
    EXPECT_LT(sr / c.circuit.R, 1e-3L) << c.name;
    EXPECT_LT(sv / c.value, 1e-3L) << c.name;
    EXPECT_LT(Relative(r, c.circuit.R), 1e-3L) << c.name;
    EXPECT_LT(Relative(v, c.value), 1e-3L) << c.name;
  }
}

} // namespace
} // namespace dravik
