// The virtual box as a measuring instrument: the ratio of its inputs is the jig's divider to
// 1e-9, and every imperfection of the card has the size it is configured to have.

#include "loudspeaker_support.h"
#include "platform/vmbox/uBoxSimulator.h"
#include "platform/vmbox/uBoxConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace platform::vmbox {
namespace {

using TC = std::complex<double>;
using TLC = std::complex<long double>;
constexpr double Pi = std::numbers::pi;

struct TRun {
  std::vector<double> Out;
  std::vector<double> In; // interleaved left, right
};

// Plays a sum of sines of amplitude `amp` for `seconds`, in one call.
TRun PlaySines(TBoxSimulator& sim, const std::vector<double>& freqs, double amp, double seconds) {
  const double fs = sim.SampleRate();
  TRun r;
  r.Out.resize(size_t(seconds * fs));
  r.In.resize(2 * r.Out.size());
  for (size_t i = 0; i < r.Out.size(); ++i)
    for (double f : freqs) r.Out[i] += amp * std::sin(2 * Pi * f / fs * double(i));
  sim.Process(r.Out.data(), r.Out.size(), r.In.data());
  return r;
}

// Least-squares fit of a constant and a cosine and sine per frequency to one input channel over
// frames [from, from + n): the complex amplitude of each frequency (x = Re(A e^{i w t})).
std::vector<TC> FitSines(const std::vector<double>& in, int channel,
                         const std::vector<double>& freqs, double fs, size_t from, size_t n) {
  const size_t m = 2 * freqs.size() + 1;
  std::vector<long double> a(m * (m + 1), 0.0L);
  std::vector<double> basis(m);
  for (size_t i = from; i < from + n; ++i) {
    basis[0] = 1;
    for (size_t k = 0; k < freqs.size(); ++k) {
      const double w = 2 * Pi * freqs[k] / fs * double(i); // the same basis for both channels
      basis[1 + 2 * k] = std::cos(w);
      basis[2 + 2 * k] = std::sin(w);
    }
    for (size_t r = 0; r < m; ++r) {
      for (size_t c = 0; c < m; ++c) a[r * (m + 1) + c] += basis[r] * basis[c];
      a[r * (m + 1) + m] += basis[r] * in[2 * i + size_t(channel)];
    }
  }
  for (size_t col = 0; col < m; ++col) { // Gauss-Jordan; the normal matrix is well conditioned
    for (size_t r = 0; r < m; ++r) {
      if (r == col) continue;
      const long double f = a[r * (m + 1) + col] / a[col * (m + 1) + col];
      for (size_t c = col; c <= m; ++c) a[r * (m + 1) + c] -= f * a[col * (m + 1) + c];
    }
  }
  std::vector<TC> amps;
  for (size_t k = 0; k < freqs.size(); ++k) {
    const auto ck = a[(1 + 2 * k) * (m + 1) + m] / a[(1 + 2 * k) * (m + 2)];
    const auto sk = a[(2 + 2 * k) * (m + 1) + m] / a[(2 + 2 * k) * (m + 2)];
    amps.emplace_back(double(ck), -double(sk));
  }
  return amps;
}

// The component written out; the models among the circuits below are loudspeakers.
TC Zx(const TCircuit& c, double f) {
  if (c.Model) return SpeakerFormula(c.Model->Speaker, f);
  const double w = 2 * Pi * f;
  return TC(c.R, w * c.L) + (c.C > 0 ? TC(0, -1 / (w * c.C)) : TC(0));
}

TBoxConfig Quiet(const TCircuit& c) {
  TBoxConfig b;
  b.Circuit = c;
  b.Card.NoiseOn = false;
  return b;
}

TEST(BoxSimulator, MatchedInputsRatioIsTheJigDividerAtAnyFrequency) {
  const TCircuit circuits[] = {{3.3, 1e-3, 0, 10, false},   {0.2, 0, 10e-6, 10, false},
                               {47, 0, 0, 10, false},       {10, 1.0, 0, 10, false},
                               {0, 0, 100e-9, 1000, false}, {0, 10e-3, 1e-6, 10, false}};
  for (double fs : {48000.0, 96000.0, 192000.0}) {
    const std::vector<double> freqs = {20, 97.3, 1001.7, 9999.1, 19999.3, 0.45 * fs};
    for (const TCircuit& c : circuits) {
      TBoxConfig b = Quiet(c);
      b.Card.Matched = true;
      TBoxSimulator sim(b, fs);
      const TRun run = PlaySines(sim, freqs, 0.1, 1.65); // 1.5 s to settle, 0.15 s measured
      const auto left = FitSines(run.In, 0, freqs, fs, size_t(1.5 * fs), size_t(0.15 * fs));
      const auto right = FitSines(run.In, 1, freqs, fs, size_t(1.5 * fs), size_t(0.15 * fs));
      for (size_t k = 0; k < freqs.size(); ++k) {
        const TC divider = c.Rref / (Zx(c, freqs[k]) + c.Rref);
        EXPECT_LT(std::abs(right[k] / left[k] / divider - 1.0), 1e-9)
            << "fs " << fs << " R " << c.R << " L " << c.L << " C " << c.C << " f " << freqs[k];
      }
    }
  }
}

// The two node voltages of the loaded jig from its nodal equations, for a source of 1 V:
//   (A - 1)/Rs + A Yin + (A - B) Yx = 0,   (B - A) Yx + B (1/Rref + Yin) = 0,
// with Yx the admittance of the component (0 for an open jig) beside the leads' capacitance,
// behind their series impedance.
std::pair<TC, TC> LoadedNodes(const TCircuit& c, double rs, double zin, double cin, double f) {
  const double w = 2 * Pi * f;
  const TC yin = TC(zin > 0 ? 1 / zin : 0, w * cin);
  const TC across = (c.Open ? TC(0) : 1.0 / Zx(c, f)) + TC(0, w * c.LeadC);
  const TC yx = across == TC(0) ? TC(0) : 1.0 / (TC(c.LeadR, w * c.LeadL) + 1.0 / across);
  const TC a11 = 1 / rs + yin + yx, a12 = -yx, a21 = -yx, a22 = yx + 1 / c.Rref + yin;
  const TC det = a11 * a22 - a12 * a21;
  return {a22 / rs / det, -a21 / rs / det};
}

TEST(BoxSimulator, InputsLoadTheirNodesAndLeadsLieInSeriesWithTheComponent) {
  struct Case {
    TCircuit c;
    double zin, cin;
  };
  TCircuit open;
  open.Open = true;
  TCircuit leads{0.1, 0, 0, 1, false};
  leads.LeadR = 0.1;
  leads.LeadL = 1e-6;
  TCircuit shortedLeads{0, 0, 0, 1, false};
  shortedLeads.LeadR = 0.1;
  shortedLeads.LeadL = 1e-6;
  shortedLeads.LeadC = 1e-9; // shorted with the part
  TCircuit cable{0, 0, 1e-9, 10e3, false}, openCable = open;
  cable.LeadC = openCable.LeadC = 100e-12;
  cable.LeadR = openCable.LeadR = 0.1;
  openCable.Rref = 10e3;
  TCircuit speaker{0, 0, 0, 22, false};
  speaker.Model = LoudspeakerModel({5.8, 0.3e-3, 35, 3, 0.4, 4, 1e-3});
  speaker.LeadR = 0.05;
  speaker.LeadL = 0.5e-6;
  const Case cases[] = {
      {{10e3, 0, 0, 10e3, false}, 47e3, 100e-12}, // the right input across Rref
      {{0, 0, 100e-12, 1e6, false}, 47e3, 100e-12},
      {{1e6, 0, 0, 1e6, false}, 47e3, 0},
      {open, 47e3, 100e-12}, // the left input alone loads the source
      {leads, 0, 0},
      {shortedLeads, 47e3, 0},
      {cable, 0, 0},     // the capacitance between the leads across the part
      {openCable, 47e3, 0}, // and alone on the open jig
      {speaker, 47e3, 100e-12},
  };
  const double fs = 48000, rs = 2.2;
  const std::vector<double> freqs = {97.3, 1001.7, 9999.1};
  for (const Case& k : cases) {
    TBoxConfig b = Quiet(k.c);
    b.Card.Matched = true;
    b.Card.HighPassHz[0] = b.Card.HighPassHz[1] = 0;
    b.Card.InputResistance = k.zin;
    b.Card.InputCapacitance = k.cin;
    TBoxSimulator sim(b, fs);
    const TRun run = PlaySines(sim, freqs, 0.1, 0.4);
    const auto left = FitSines(run.In, 0, freqs, fs, size_t(0.25 * fs), size_t(0.15 * fs));
    const auto right = FitSines(run.In, 1, freqs, fs, size_t(0.25 * fs), size_t(0.15 * fs));
    for (size_t i = 0; i < freqs.size(); ++i) {
      const auto [a, bNode] = LoadedNodes(k.c, rs, k.zin, k.cin, freqs[i]);
      const std::string where = BoxName(k.c) + " f " + std::to_string(freqs[i]);
      EXPECT_NEAR(std::abs(left[i]), 0.1 * std::abs(a), 1e-9) << where;
      if (k.c.Open && k.c.LeadC == 0) EXPECT_LT(std::abs(right[i]), 1e-12) << where;
      else EXPECT_LT(std::abs(right[i] / left[i] / (bNode / a) - 1.0), 1e-9) << where;
    }
  }
}

// What a program measures on a loudspeaker box, Rref (left / right - 1), is the loudspeaker's
// impedance around its resonance and up the coil's rise.
TEST(BoxSimulator, LoudspeakerBoxMeasuresAsItsModel) {
  const char* texts[] = {"Re=6.2,Le=0.4m,fs=45,Qms=4.1,Qes=0.45,matched=on,noise=off",
                         "Re=5.8,Le=0.3m,fs=120,Qms=8,Qes=0.6,Rl=4,Ll=1m,Rref=22,swap=on,"
                         "matched=on,noise=off"};
  const double fs = 48000;
  for (const char* text : texts) {
    const TParseResult parsed = ParseCircuits(text);
    ASSERT_EQ(parsed.Error, "") << text;
    const TBoxConfig& box = parsed.Boxes[0];
    const TLoudspeaker& s = box.Circuit.Model->Speaker;
    const std::vector<double> freqs = {20, 0.8 * s.Fs, s.Fs, 1.25 * s.Fs, 1001.7, 15000};
    TBoxSimulator sim(box, fs);
    const TRun run = PlaySines(sim, freqs, 0.1, 1.65);
    const int top = box.Circuit.Swapped ? 1 : 0;
    const auto pair = FitSines(run.In, top, freqs, fs, size_t(1.5 * fs), size_t(0.15 * fs));
    const auto rref = FitSines(run.In, 1 - top, freqs, fs, size_t(1.5 * fs), size_t(0.15 * fs));
    for (size_t k = 0; k < freqs.size(); ++k) {
      const TC measured = box.Circuit.Rref * (pair[k] / rref[k] - 1.0);
      EXPECT_LT(std::abs(measured / SpeakerFormula(s, freqs[k]) - 1.0), 1e-8)
          << box.DevicesName() << " f " << freqs[k];
    }
  }
}

TEST(BoxSimulator, SwappedWiringExchangesTheNodesButNotTheCardsChannels) {
  // 47 ohm against 10: normally the right input hears 10/57 of the left; swapped, the left input
  // hears the top of Rref through the card's left channel (its gain and response).
  const std::vector<double> freqs = {1001.7};
  const double fs = 48000;
  for (const bool swapped : {false, true}) {
    TCircuit c{47, 0, 0, 10, false, swapped};
    TBoxConfig b = Quiet(c);
    b.Card.Gain[1] = 0.5;
    TBoxSimulator sim(b, fs);
    const TRun run = PlaySines(sim, freqs, 0.1, 0.6);
    const auto left = FitSines(run.In, 0, freqs, fs, size_t(0.3 * fs), size_t(0.2 * fs));
    const auto right = FitSines(run.In, 1, freqs, fs, size_t(0.3 * fs), size_t(0.2 * fs));
    const double ratio = std::abs(right[0] / left[0]);
    const double expected = swapped ? 0.5 * 57 / 10 : 0.5 * 10 / 57;
    EXPECT_NEAR(ratio, expected, 1e-4 * expected) << "swapped " << swapped;
  }
}

TEST(BoxSimulator, EachInputSeesItsNodeThroughLevelsGainsAndLatency) {
  const TCircuit c{3.3, 1e-3, 0, 10, false};
  struct Case {
    double outLevel, inLevel0, inLevel1;
  };
  for (const Case& lv : {Case{1, 1, 1}, Case{0.5, 0.25, 1}}) {
    TBoxConfig b = Quiet(c);
    b.Card.HighPassHz[0] = b.Card.HighPassHz[1] = 0; // DC coupled, so the jig alone shapes it
    b.Card.DcOffset[0] = b.Card.DcOffset[1] = 0;
    b.Card.Gain[0] = 1.1;
    b.Card.Gain[1] = 0.9;
    TBoxSimulator sim(b, 48000);
    sim.SetOutputLevel(lv.outLevel);
    sim.SetInputLevel(0, lv.inLevel0);
    sim.SetInputLevel(1, lv.inLevel1);
    const std::vector<double> freqs = {100.3, 5000.7, 19000.1};
    const TRun run = PlaySines(sim, freqs, 0.2, 0.3);
    const auto left = FitSines(run.In, 0, freqs, 48000, 9600, 4800);
    const auto right = FitSines(run.In, 1, freqs, 48000, 9600, 4800);
    const double rs = b.Card.SourceImpedance;
    for (size_t k = 0; k < freqs.size(); ++k) {
      const TC z = Zx(c, freqs[k]);
      // A sine is Re(-i e^{iwt}); the inputs hear it LatencyFrames later.
      const TC played = TC(0, -0.2 * lv.outLevel) *
                        std::polar(1.0, -2 * Pi * freqs[k] / 48000 * double(sim.LatencyFrames()));
      EXPECT_LT(std::abs(left[k] - played * 1.1 * lv.inLevel0 * (z + 10.0) / (rs + z + 10.0)),
                1e-9);
      EXPECT_LT(std::abs(right[k] - played * 0.9 * lv.inLevel1 * 10.0 / (rs + z + 10.0)), 1e-9);
    }
  }
}

TEST(BoxSimulator, AcCouplingRemovesDcAndOffsetsRemain) {
  TBoxConfig b = Quiet({47, 0, 0, 10, false});
  TBoxSimulator sim(b, 48000);
  std::vector<double> out(96000, 0.5), in(2 * out.size());
  sim.Process(out.data(), out.size(), in.data());
  for (int ch = 0; ch < 2; ++ch)
    EXPECT_NEAR(in[in.size() - 2 + size_t(ch)], b.Card.DcOffset[ch], 1e-9);
  // At its corner the first-order high-pass passes 1/sqrt(2) of a tone.
  for (int ch = 0; ch < 2; ++ch) {
    TBoxConfig s = Quiet({0, 0, 0, 10, true});
    TBoxSimulator shorted(s, 48000);
    const double fc = s.Card.HighPassHz[ch];
    const TRun run = PlaySines(shorted, {fc}, 0.5, 4.0);
    const auto a = FitSines(run.In, ch, {fc}, 48000, 96000, 96000);
    EXPECT_NEAR(std::abs(a[0]), 0.5 * s.Card.Gain[ch] * 10 / 12.2 / std::sqrt(2.0), 1e-7) << ch;
  }
}

TEST(BoxSimulator, NoiseHasItsRmsPerChannelAndRepeatsWithItsSeed) {
  TBoxConfig b = Quiet({47, 0, 0, 10, false});
  b.Card.NoiseOn = true;
  b.Card.NoiseRms = 1e-3;
  TBoxSimulator a(b, 48000), same(b, 48000);
  b.Card.Seed = 2;
  TBoxSimulator other(b, 48000);
  const size_t n = 200000;
  std::vector<double> x(2 * n), y(2 * n), z(2 * n);
  a.Process(nullptr, n, x.data());
  same.Process(nullptr, n, y.data());
  other.Process(nullptr, n, z.data());
  EXPECT_EQ(x, y);
  EXPECT_NE(x, z);
  double sq[2] = {0, 0}, cross = 0;
  for (size_t i = 0; i < n; ++i) {
    const double l = x[2 * i] - b.Card.DcOffset[0], r = x[2 * i + 1] - b.Card.DcOffset[1];
    sq[0] += l * l;
    sq[1] += r * r;
    cross += l * r;
  }
  for (int ch = 0; ch < 2; ++ch) EXPECT_NEAR(std::sqrt(sq[ch] / n), 1e-3, 1e-5) << ch;
  EXPECT_LT(std::fabs(cross / std::sqrt(sq[0] * sq[1])), 0.01) << "channels independent";
  a.Reset();
  a.Process(nullptr, n, y.data());
  EXPECT_EQ(x, y) << "a reopened device hears the same noise again";
}

TEST(BoxSimulator, ClipsAtFullScale) {
  TBoxConfig b = Quiet({3.3, 1e-3, 0, 10, false});
  TBoxSimulator unity(b, 48000);
  b.Card.Gain[0] *= 5;
  b.Card.Gain[1] *= 5;
  b.Card.DcOffset[0] *= 5;
  b.Card.DcOffset[1] *= 5;
  TBoxSimulator loud(b, 48000);
  const TRun u = PlaySines(unity, {997}, 0.9, 0.2), l = PlaySines(loud, {997}, 0.9, 0.2);
  size_t clipped = 0;
  for (size_t i = 0; i < u.In.size(); ++i) {
    ASSERT_NEAR(l.In[i], std::clamp(5 * u.In[i], -1.0, 1.0), 1e-12) << i;
    clipped += std::fabs(l.In[i]) == 1.0;
  }
  EXPECT_GT(clipped, u.In.size() / 4);
}

TEST(BoxSimulator, LatencyIsWhatIsConfiguredButNotBelowTheConverterDelay) {
  for (double latency : {0.0, 1024.0, 3000.0}) {
    TBoxConfig b = Quiet({0, 0, 0, 10, true});
    b.Card.HighPassHz[0] = b.Card.HighPassHz[1] = 0;
    b.Card.LatencyFrames = latency;
    TBoxSimulator sim(b, 48000);
    std::vector<double> out(8192, 0.0), in(2 * out.size());
    out[100] = 1;
    sim.Process(out.data(), out.size(), in.data());
    size_t peak = 0;
    for (size_t i = 0; i < out.size(); ++i)
      if (in[2 * i] > in[2 * peak]) peak = i;
    EXPECT_EQ(peak, 100 + sim.LatencyFrames());
    if (latency > 0)
      EXPECT_EQ(sim.LatencyFrames(), size_t(latency));
    else
      EXPECT_GT(sim.LatencyFrames(), 0u) << "the anti-alias filter's delay remains";
  }
}

TEST(BoxSimulator, TheSwitchChangesTheJigAndKeepsTheSignalGoing) {
  const TCircuit c{47, 0, 0, 10, false};
  TBoxConfig b = Quiet(c);
  b.Card.Matched = true;
  TBoxSimulator sim(b, 48000);
  const double f = 1000.3;
  for (bool shorted : {false, true, false}) {
    sim.SetShorted(shorted);
    const TRun run = PlaySines(sim, {f}, 0.3, 1.2); // the phase restarts, the ratio does not care
    const auto l = FitSines(run.In, 0, {f}, 48000, 48000, 9600);
    const auto r = FitSines(run.In, 1, {f}, 48000, 48000, 9600);
    EXPECT_NEAR(std::abs(r[0] / l[0] - (shorted ? 1.0 : 10.0 / 57.0)), 0, 1e-9) << shorted;
  }
}

TEST(BoxSimulator, BlockBoundariesDoNotShowInTheInput) {
  TBoxConfig b;
  b.Circuit = {10, 1.0, 0, 10, false}; // long filters: several partitions
  TBoxSimulator whole(b, 48000), pieces(b, 48000);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-0.5, 0.5);
  std::vector<double> out(60000), a(2 * out.size()), c(2 * out.size());
  for (auto& v : out) v = u(rng);
  whole.Process(out.data(), out.size(), a.data());
  std::uniform_int_distribution<size_t> len(1, 9000);
  for (size_t done = 0; done < out.size();) {
    const size_t n = std::min(len(rng), out.size() - done);
    pieces.Process(out.data() + done, n, c.data() + 2 * done);
    done += n;
  }
  for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], c[i], 1e-12) << i;
}

TEST(BoxSimulator, ClockOffsetShiftsTheHeardFrequency) {
  for (double ppm : {100.0, -250.0}) {
    TBoxConfig b = Quiet({47, 0, 0, 10, false});
    b.Card.Matched = true;
    b.Card.ClockPpm = ppm;
    TBoxSimulator sim(b, 48000);
    const double fs = 48000, f = 1000.3;
    std::vector<double> in(2 * 96000), out;
    size_t played = 0;
    for (size_t done = 0; done < 96000; done += 960) {
      out.resize(sim.OutputFramesFor(960));
      for (size_t i = 0; i < out.size(); ++i)
        out[i] = 0.4 * std::sin(2 * Pi * f / fs * double(played + i));
      played += out.size();
      sim.Process(out.data(), out.size(), in.data() + 2 * done, 960);
    }
    EXPECT_EQ(played, size_t(std::floor(96000 * (1 + ppm * 1e-6))));
    const double heard = f * (1 + ppm * 1e-6);
    const auto l = FitSines(in, 0, {heard}, fs, 48000, 48000);
    const auto r = FitSines(in, 1, {heard}, fs, 48000, 48000);
    EXPECT_NEAR(std::abs(l[0]), 0.4 * 57 / 59.2, 2e-5) << ppm;
    EXPECT_NEAR(std::abs(r[0] / l[0] - 10.0 / 57.0), 0, 1e-9) << ppm;
  }
}

} // namespace
} // namespace platform::vmbox
