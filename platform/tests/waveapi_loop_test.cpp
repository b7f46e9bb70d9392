// Playing and recording through a box of the virtual card: the input hears its own box's output
// without gaps, in the ratio Rref/(Zx + Rref) between its channels, follows the switch and the
// mixer levels, and hears nothing from another box or from an output at another rate.

#include "platform/tests/wave_support.h"

#include <complex>
#include <functional>

namespace {

using namespace wavetest;
namespace vmbox = platform::vmbox;

// The tone's complex amplitude in one channel over frames [from, to) (whole periods).
std::complex<double> ToneOf(const std::vector<double>& stereo, int channel, size_t from, size_t to, double rate) {
  std::complex<double> sum;
  for (size_t i = from; i < to; ++i) {
    sum += stereo[2 * i + channel] * std::polar(1.0, -2 * std::numbers::pi * ToneHz * i / rate);
  }
  return sum * (2.0 / static_cast<double>(to - from));
}

double Rms(const std::vector<double>& stereo, int channel, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += stereo[2 * i + channel] * stereo[2 * i + channel];
  return std::sqrt(sum / static_cast<double>(to - from));
}

struct WaveLoop : testing::Test {
  void TearDown() override { vmbox::ClearFaults(); }
};

TEST_F(WaveLoop, InputHearsItsOwnBoxThroughTheJig) {
  // Box A: 47 ohm against 10 ohm behind the card's 2.2 ohm source; Box B: 0 ohm.
  const double a = ToneLevel * 57 / 59.2;
  struct Case {
    const char* name;
    TPlaySpec spec;
    std::function<void()> set;
    double left, ratio; // expected tone on the left input, and right / left
  };
  const Case cases[] = {
      {"stereo 16 bit", {}, [] {}, a, 10.0 / 57},
      {"mono 16 bit at 44.1 kHz", {0, Pcm(44100, 1), 0, Pcm(44100, 1)}, [] {}, a, 0},
      {"mono 8 bit output, event mode", {0, Pcm(48000, 1, 8), 0, Pcm(48000), 1, true}, [] {}, a, 10.0 / 57},
      {"Zx shorted", {}, [] { vmbox::SetShorted(0, true); }, ToneLevel * 10 / 12.2, 1.0},
      {"output level 0.5", {}, [] { vmbox::SetOutputLevel(0, 0.5); }, a / 2, 10.0 / 57},
      {"right input level 0.5", {}, [] { vmbox::SetInputLevel(0, 1, 0.5); }, a, 5.0 / 57},
      {"another box's output", {1}, [] {}, 0, 0},
      {"output at another rate", {0, Pcm(44100)}, [] {}, 0, 0},
  };
  for (const auto& c : cases) {
    UseQuietCard();
    c.set();
    const double rate = c.spec.In.nSamplesPerSec;
    const auto rec = PlayAndRecord(c.spec).Stereo;
    const size_t from = static_cast<size_t>(rate / 2), to = static_cast<size_t>(rate);
    const auto left = ToneOf(rec, 0, from, to, rate);
    if (c.left == 0) {
      EXPECT_EQ(Rms(rec, 0, 0, to), 0.0) << c.name; // not a trace of sound
      continue;
    }
    EXPECT_NEAR(std::abs(left), c.left, 0.02 * c.left) << c.name;
    if (c.ratio == 0) continue;
    const auto ratio = ToneOf(rec, 1, from, to, rate) / left;
    EXPECT_NEAR(std::abs(ratio), c.ratio, 0.01 * c.ratio) << c.name;
    EXPECT_NEAR(std::arg(ratio), 0.0, 0.01) << c.name;
  }
}

TEST_F(WaveLoop, PlaybackHasNoGapsWhileTheNextBufferIsQueued) {
  UseQuietCard();
  TPlaySpec spec;
  spec.Seconds = 2;
  const auto rec = PlayAndRecord(spec).Stereo;
  // Two periods per window: a missing step of the card (4 ms) would empty at least one.
  const double steady = Rms(rec, 0, 24000, 96000);
  ASSERT_GT(steady, 0.3);
  for (size_t from = 24000; from + 96 <= 96000; from += 96) {
    ASSERT_NEAR(Rms(rec, 0, from, from + 96), steady, 0.02 * steady) << "at frame " << from;
  }
}

} // namespace

TEST_F(WaveLoop, ABoxReopenedAfterItsDevicesClosedStartsFromSilence) {
  // Noise and filter history must not carry over from one run of a box to the next. A box that
  // only records (the tone plays on the other box) hears nothing but its seeded noise, the same
  // frames every time; a run with its own tone in between must not leave a trace in the next.
  auto noisy = QuietResistorBox("Box A", 47);
  noisy.Card.NoiseOn = true;
  vmbox::Reinitialise({noisy, QuietResistorBox("Box B", 0)}, TSpeed::Fast);
  TPlaySpec elsewhere;
  elsewhere.OutBox = 1;
  elsewhere.Seconds = 0.2;
  const auto before = PlayAndRecord(elsewhere).Stereo;
  TPlaySpec own;
  own.Seconds = 0.2;
  const auto played = PlayAndRecord(own).Stereo;
  const auto after = PlayAndRecord(elsewhere).Stereo;
  ASSERT_EQ(before.size(), after.size());
  EXPECT_GT(Rms(played, 0, 4800, 9600), 100 * Rms(before, 0, 4800, 9600)); // the tone was there
  EXPECT_TRUE(before == after);
}
