// Components under test beyond R, L and C in series: a loudspeaker's electrical analogue, a
// lossy voice coil, networks written in the z syntax, and how the jig carries them.

#include "loudspeaker_support.h"
#include "platform/vmbox.h"
#include "platform/vmbox/uBoxCircuit.h"
#include "platform/vmbox/uBoxNetworkParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace platform::vmbox {
namespace {

using TC = std::complex<double>;
constexpr double Pi = std::numbers::pi;

double Off(TC got, TC want) { return std::abs(got - want) / std::abs(want); }

TC ModelZ(const TLoudspeaker& s, double f) { return NetworkImpedance(LoudspeakerNetwork(s), f); }

// Texts that must be refused with a message holding `Error`.
struct TRefused {
  const char* Text;
  const char* Error;
};

TEST(BoxModels, LoudspeakerFollowsItsElectricalAnalogue) {
  const TLoudspeaker speakers[] = {
      {6.2, 0, 45, 4.1, 0.45, 0, 0},     // a woofer without coil inductance
      {6.2, 0.4e-3, 45, 4.1, 0.45, 0, 0},
      {3.4, 0.05e-3, 800, 1.5, 1.2, 0, 0}, // a tweeter
      {7.0, 1.2e-3, 22, 12, 0.35, 0, 0},
      {5.8, 0.3e-3, 35, 3, 0.4, 4, 1e-3}, // lossy coil
  };
  for (const TLoudspeaker& s : speakers) {
    SCOPED_TRACE(LoudspeakerModel(s)->Label);
    for (double f : {1.0, 10.0, 0.7 * s.Fs, s.Fs, 1.3 * s.Fs, 1000.0, 20000.0})
      EXPECT_LT(Off(ModelZ(s, f), SpeakerFormula(s, f)), 1e-13) << f;
    EXPECT_NEAR(ModelZ(s, 0).real(), s.Re, 1e-12) << "at DC only the coil's resistance";
    if (s.Le == 0) { // the motional resonance alone: the peak Re + Res, phase zero
      const TC peak = ModelZ(s, s.Fs);
      EXPECT_NEAR(peak.real(), s.Re * (1 + s.Qms / s.Qes), 1e-9);
      EXPECT_NEAR(std::arg(peak), 0, 1e-12);
      EXPECT_GT(std::abs(peak), std::abs(ModelZ(s, 0.9 * s.Fs)));
      EXPECT_GT(std::abs(peak), std::abs(ModelZ(s, 1.1 * s.Fs)));
    } else if (!s.LossyCoil()) {
      // Far above fs the coil's inductance makes |Z| rise; the motional part is left with about
      // Re fs / (Qes f).
      const double w = 2 * Pi * 20000;
      EXPECT_LT(Off(ModelZ(s, 20000), TC(s.Re, w * s.Le)), 2 * s.Fs / (s.Qes * 20000));
      EXPECT_GT(std::abs(ModelZ(s, 20000)), std::abs(ModelZ(s, 10000)));
    }
  }
}

TEST(BoxModels, LossyCoilTradesInductanceForResistanceWithFrequency) {
  const TLoudspeaker s{6, 0.2e-3, 40, 3, 0.4, 8, 2e-3};
  struct Case {
    double f;
    double r, l; // the coil's series resistance and inductance
  };
  const double corner = s.Rl / (2 * Pi * s.Ll); // where jwLl meets Rl
  const Case cases[] = {
      {corner / 1000, s.Re, s.Le + s.Ll},
      {corner, s.Re + s.Rl / 2, s.Le + s.Ll / 2},
      {corner * 1000, s.Re + s.Rl, s.Le},
  };
  for (const Case& c : cases) {
    const double w = 2 * Pi * c.f;
    const TC z = ModelZ(s, c.f) - MotionalFormula(s, c.f); // the coil
    EXPECT_NEAR(z.real(), c.r, 2e-3 * c.r) << c.f;
    EXPECT_NEAR(z.imag() / w, c.l, 2e-3 * c.l) << c.f;
  }
}

TEST(BoxModels, NetworksReadAsWrittenWithParallelBindingTighter) {
  struct Case {
    const char* text;
    const char* shown;
    TC (*z)(double w);
  };
  const Case cases[] = {
      {"R3.3", "3.3 Ohm", [](double) { return TC(3.3); }},
      {"(R3.3+L1m)|C100p", "(3.3 Ohm + 1 mH) | 100 pF",
       [](double w) {
         const TC coil(3.3, w * 1e-3), cap(0, -1 / (w * 100e-12));
         return coil * cap / (coil + cap);
       }},
      {" c10u + r0.05 + l20n ", "10 uF + 0.05 Ohm + 20 nH",
       [](double w) { return TC(0.05, w * 20e-9 - 1 / (w * 10e-6)); }},
      {"R8|L1mH+C4.7uF", "8 Ohm | 1 mH + 4.7 uF",
       [](double w) {
         const TC l(0, w * 1e-3);
         return 8.0 * l / (8.0 + l) + TC(0, -1 / (w * 4.7e-6));
       }},
      {"R1e+3|R1k|R2.2kOhm", "1 kOhm | 1 kOhm | 2.2 kOhm",
       [](double) { return TC(1 / (2e-3 + 1 / 2200.0)); }},
      {"((R1))+R0|C1u", "1 Ohm + 0 Ohm | 1 uF", [](double) { return TC(1); }},
      {"C1\u00b5+L2m|L2m", "1 uF + 2 mH | 2 mH",
       [](double w) { return TC(0, w * 1e-3 - 1 / (w * 1e-6)); }},
  };
  for (const Case& c : cases) {
    const TNetworkParse p = ParseNetwork(c.text);
    ASSERT_EQ(p.Error, "") << c.text;
    EXPECT_EQ(NetworkText(p.Network, false), c.shown);
    for (double f : {50.0, 1234.5, 20000.0}) {
      const TC want = c.z(2 * Pi * f);
      EXPECT_LT(Off(NetworkImpedance(p.Network, f), want), 1e-13) << c.text << " f " << f;
    }
  }
  // DC: a capacitor in series is open, inductors short, a capacitor across another part leaves it.
  EXPECT_TRUE(std::isinf(NetworkImpedance(ParseNetwork("R1+C1u").Network, 0).real()));
  EXPECT_EQ(NetworkImpedance(ParseNetwork("R1|L1m").Network, 0), TC(0));
  EXPECT_EQ(NetworkImpedance(ParseNetwork("(R3+L1m)|C1n").Network, 0), TC(3));
}

TEST(BoxModels, MalformedNetworksSayWhereAndWhatWasExpected) {
  const TRefused cases[] = {
      {"", "at character 1: expected R, L, C or \"(\", found the end"},
      {"X5", "at character 1: expected R, L, C or \"(\", found \"X\""},
      {"R1+", "at character 4: expected R, L, C or \"(\", found the end"},
      {"R1++L1", "at character 4: expected R, L, C or \"(\", found \"+\""},
      {"R", "at character 2: expected a value after R"},
      {"R1|(L", "at character 6: expected a value after L"},
      {"L1x", "at character 2: \"1x\" is not a value for L"},
      {"C1mH", "at character 2: \"1mH\" is not a value for C"},
      {"(R1+L1m|C100p", "at character 14: expected \"+\", \"|\" or \")\" closing the \"(\" at 1, "
                        "found the end"},
      {"R1)", "at character 3: expected \"+\", \"|\" or the end, found \")\""},
      {"R1 (L1)", "at character 4: expected \"+\", \"|\" or the end, found \"(\""},
      {"R1 L1", "at character 2: \"1 L1\" is not a value for R"},
      {"\u00b5R1", "at character 1: expected R, L, C or \"(\", found"},
      {"C1\u00b5+X", "at character 5: expected R, L, C or \"(\", found \"X\""},
      {"R-1", "at character 2: R must be from 0 to 1 GOhm"},
      {"L2k", "at character 2: L must be from 0 to 1 kH"},
      {"R1+C0", "at character 5: C must be above 0 and at most 1 F"},
      {"((((((((((((((((((R1))))))))))))))))))", "at character 17: more than 16 levels"},
  };
  for (const TRefused& c : cases) {
    const std::string error = ParseNetwork(c.Text).Error;
    EXPECT_NE(error.find(c.Error), std::string::npos) << c.Text << " -> " << error;
  }
  std::string many = "R1";
  for (int i = 0; i < 32; ++i) many += "+R1";
  EXPECT_EQ(ParseNetwork(many).Error, "at character 97: more than 32 parts");
}

// A network of parts in series gives the jig what R, L and C in series give it.
TEST(BoxModels, JigCarriesModelsAsItCarriesTheSeriesParts) {
  struct Case {
    const char* z;
    TCircuit series;
  };
  const Case cases[] = {
      {"R3.3+L1m", {3.3, 1e-3, 0, 10, false}},
      {"C10u+R0.2", {0.2, 0, 10e-6, 10, false}},
      {"C2u+C2u+L1m", {0, 1e-3, 1e-6, 10, false}},        // ringing
      {"L2m|L2m+C1u+R1k", {1000, 1e-3, 1e-6, 10, false}}, // overdamped
      {"R47", {47, 0, 0, 10, false}},
  };
  const TInputLoad loads[] = {{}, {47e3, 100e-12}};
  const double rs = 2.2;
  for (const Case& c : cases) {
    TCircuit model = c.series;
    model.R = model.L = model.C = 0;
    model.Model = NetworkModel(ParseNetwork(c.z).Network);
    for (const TInputLoad& load : loads) {
      for (bool leads : {false, true}) {
        TCircuit a = c.series, b = model;
        a.LeadR = b.LeadR = leads ? 0.1 : 0;
        a.LeadL = b.LeadL = leads ? 1e-6 : 0;
        a.LeadC = b.LeadC = leads ? 100e-12 : 0;
        const std::string where = std::string(c.z) + (leads ? " leads" : "") +
                                  (load.Present() ? " loaded" : "");
        for (double f : {0.0, 20.0, 1001.7, 19999.3}) {
          const TJigTransfer ta = JigTransfer(a, rs, load, f), tb = JigTransfer(b, rs, load, f);
          EXPECT_LT(std::abs(ta.Left - tb.Left), 1e-13) << where << " f " << f;
          EXPECT_LT(std::abs(ta.Right - tb.Right), 1e-13) << where << " f " << f;
        }
        const double tau = TimeConstant(a, rs, load);
        EXPECT_NEAR(TimeConstant(b, rs, load), tau, 1e-9 * tau + 1e-15) << where;
      }
    }
    const TJigTransfer t = JigTransfer(model, rs, 1001.7);
    const TJigTransfer u = JigTransfer(c.series, rs, 1001.7);
    EXPECT_LT(std::abs(t.Right - u.Right), 1e-13) << c.z << " without a load";
    model.Shorted = true;
    EXPECT_EQ(Impedance(model, 100), TC(0)) << "the switch shorts a model too";
    EXPECT_EQ(TimeConstant(model, rs), 0);
  }
}

// The slowest mode of a loudspeaker on the jig: its resonance damped by Qms and by Qes seen
// through the whole loop resistance, Q = Qms Qe' / (Qms + Qe') with Qe' = Qes (Re + Rs + Rref) / Re,
// decaying with 2 Q / (2 pi fs).
TEST(BoxModels, LoudspeakerRingsDownWithItsLoadedQ) {
  const double rs = 2.2;
  for (const TLoudspeaker& s : {TLoudspeaker{6.2, 0, 45, 4.1, 0.45}, {8, 0, 20, 30, 2}}) {
    TCircuit c;
    c.Model = LoudspeakerModel(s);
    const double qe = s.Qes * (s.Re + rs + c.Rref) / s.Re;
    const double q = s.Qms * qe / (s.Qms + qe);
    const double w0 = 2 * Pi * s.Fs;
    // Underdamped (q > 0.5): the pair of poles' real part is w0 / (2 q).
    ASSERT_GT(q, 0.5);
    EXPECT_NEAR(TimeConstant(c, rs), 2 * q / w0, 1e-9 * q / w0) << c.Model->Label;
  }
}

TEST(BoxModels, KeysMakeLoudspeakerAndNetworkBoxes) {
  const auto r = ParseCircuits("Re=6.2,Le=0.4m,fs=45,Qms=4.1,Qes=0.45;"
                               "re=5.8, le=0.3mH, FS=35Hz, qms=3, qes=0.4, rl=4, ll=1m, Rref=22;"
                               "z=(R3.3+L1m)|C100p,leadR=0.1,swap=on;z=R3.3+L1m,name=Coil");
  ASSERT_EQ(r.Error, "");
  ASSERT_EQ(r.Boxes.size(), 5u);
  const TCircuit& a = r.Boxes[0].Circuit;
  ASSERT_TRUE(a.Model && a.Model->Loudspeaker);
  EXPECT_EQ(a.Model->Speaker.Fs, 45);
  EXPECT_DOUBLE_EQ(a.Model->Speaker.Le, 0.4e-3);
  EXPECT_EQ(r.Boxes[0].Name, "Virtual box: loudspeaker Re=6.2");
  EXPECT_EQ(r.Boxes[0].DevicesName(), "Virtual box: loudspeaker Re=6.2 Ohm fs=45 Hz Qts=0.405");
  const TLoudspeaker& b = r.Boxes[1].Circuit.Model->Speaker;
  EXPECT_DOUBLE_EQ(b.Ll, 1e-3);
  EXPECT_EQ(b.Rl, 4);
  EXPECT_EQ(r.Boxes[1].DevicesName(),
            "Virtual box: loudspeaker Re=5.8 Ohm fs=35 Hz Qts=0.353, Rref 22 Ohm");
  EXPECT_EQ(r.Boxes[2].Name, "Virtual box: (3.3Ohm+1mH)|100pF"); // cut to the field
  EXPECT_EQ(r.Boxes[2].DevicesName(), "Virtual box: (3.3 Ohm + 1 mH) | 100 pF, leads, swap");
  EXPECT_TRUE(r.Boxes[2].Circuit.Swapped);
  EXPECT_EQ(r.Boxes[3].Name, "Coil");
  EXPECT_EQ(r.Boxes[3].DevicesName(), "Coil");
  for (const auto& box : r.Boxes) EXPECT_EQ(ValidateBox(box), "") << box.Name;
  EXPECT_LT(Off(Impedance(a, 45), SpeakerFormula(a.Model->Speaker, 45)), 1e-13);

  // The public interface gives the true curve of a box on the card.
  platform::vmbox::Reinitialise(r.Boxes, TSpeed::Fast);
  EXPECT_LT(Off(BoxImpedance(0, 123.0), SpeakerFormula(a.Model->Speaker, 123.0)), 1e-13);
  EXPECT_EQ(BoxImpedance(4, 123.0), TC(0)) << "the shorted box";
  EXPECT_EQ(BoxImpedance(99, 123.0), TC(0)) << "no such box";
  platform::vmbox::ReinitialiseFromEnvironment();
}

TEST(BoxModels, ModelKeysSayWhatIsMissingOrWrong) {
  const TRefused cases[] = {
      {"Qms=4,Qes=0.4", "a loudspeaker needs Re, fs, Qms and Qes; missing: Re, fs"},
      {"Re=6,fs=45", "a loudspeaker needs Re, fs, Qms and Qes; missing: Qms, Qes"},
      {"Re=6,fs=45,Qms=4", "missing: Qes"},
      {"Le=1m", "missing: Re, fs, Qms, Qes"},
      {"Re=6,fs=45,Qms=4,Qes=0.4,Rl=3", "a lossy voice coil needs both Rl and Ll"},
      {"Re=6,fs=0.5,Qms=4,Qes=0.4", "\"fs=0.5\": fs must be from 1 Hz to 20 kHz"},
      {"Re=6,fs=45,Qms=200,Qes=0.4", "Qms must be from 0.01 to 100"},
      {"Re=6,fs=45,Qms=4,Qes=0.001", "Qes must be from 0.01 to 100"},
      {"Re=0,fs=45,Qms=4,Qes=0.4", "Re must be from 10 mOhm to 1 kOhm"},
      {"Re=6,fs=45,Qms=4,Qes=0.4,Le=2", "Le must be from 0 to 1 H"},
      {"Re=6,fs=45,Qms=4,Qes=0.4,R=1", "R, L and C, a loudspeaker and z exclude each other"},
      {"z=R1,L=1m", "R, L and C, a loudspeaker and z exclude each other"},
      {"z=R1,open=on", "an open jig has no loudspeaker or z"},
      {"R=1;z=(R1+L1m|C100p,Rref=1k",
       "circuit 2 (\"z=(R1+L1m|C100p,Rref=1k\"): \"z=(R1+L1m|C100p\": at character 14: expected"},
      {"z=R1,z=R2", "\"z\" is given twice"},
  };
  for (const TRefused& c : cases) {
    const auto r = ParseCircuits(c.Text);
    EXPECT_NE(r.Error.find(c.Error), std::string::npos) << c.Text << " -> " << r.Error;
    EXPECT_TRUE(r.Boxes.empty()) << c.Text;
  }
  TBoxConfig hand = DefaultBoxes()[0];
  hand.Circuit.Model = LoudspeakerModel({6, 0, 30000, 4, 0.4});
  EXPECT_EQ(ValidateBox(hand), "fs must be from 1 Hz to 20 kHz");
  hand.Circuit.Model = NetworkModel({TPartKind::Series, 0, {{TPartKind::C, -1, {}}}});
  EXPECT_EQ(ValidateBox(hand), "C must be above 0 and at most 1 F");
}

} // namespace
} // namespace platform::vmbox
