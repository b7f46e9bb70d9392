// The fixture's open and short steps in the window, on boxes whose card loads its inputs and
// whose parts sit on test leads: what the steps remove, what the switch does, and the settings
// file that keeps them.

#include "dravik/tests/ui_support.h"

#include <QCheckBox>
#include <QLineEdit>

#include <iostream>
#include <sstream>

#include "dravik/ui/uDravikTour.h"

namespace dravik {
namespace {

using namespace uitest;

struct TPart {
  const char* Circuit; // the box's VMBOX_CIRCUITS entry
  double Rref;
  double R, L, C; // the part itself (0: none)
};

double Relative(double measured, double actual) { return std::fabs(measured - actual) / actual; }

struct Fixture : TWindowTest {
  // One box per entry, the card's keys first; the fixture's own box comes first.
  void Boxes(const std::string& card, const std::vector<std::string>& circuits) {
    std::string text = card;
    for (const auto& c : circuits) text += ";" + c;
    const auto parsed = vmbox::ParseCircuits(text);
    ASSERT_EQ(parsed.Error, "");
    vmbox::Reinitialise(parsed.Boxes, vmbox::TSpeed::Fast);
  }
  void TypeReference(double ohms) { W->edR->setText(QString::number(ohms, 'g', 15)); }
  bool RunStep(QPushButton* button, const std::string& done) {
    const size_t before = Log.size();
    button->click();
    return PumpUntil([&] {
      for (size_t i = before; i < Log.size(); ++i)
        if (Log[i].first.rfind(done, 0) == 0) return Idle();
      return false;
    }, 300s);
  }
  // Opens the window on the card with the step's own box first and the parts after it, and
  // runs the step on that box.
  template <size_t N>
  bool StepBeforeParts(const std::string& card, const std::string& stepBox, double rref,
                       const TPart (&parts)[N], QPushButton* TfmLCR::*step,
                       const std::string& done) {
    std::vector<std::string> circuits = {stepBox};
    for (const TPart& p : parts) circuits.push_back(p.Circuit);
    Boxes(card, circuits);
    if (HasFatalFailure()) return false;
    Open();
    if (HasFatalFailure()) return false;
    SelectBox(0);
    TypeReference(rref);
    return RunStep((*W).*step, done);
  }
  // Reads every part with the compensation on and off.
  template <size_t N, typename TCheck>
  void ReadParts(const TPart (&parts)[N], TCheck check) {
    for (size_t i = 0; i < N; ++i) {
      SCOPED_TRACE(parts[i].Circuit);
      TLCRFitResult with, without;
      Read(i + 1, parts[i], with, without);
      check(parts[i], with, without);
    }
  }
  // The part's fitted values with the compensation on and off.
  void Read(size_t box, const TPart& part, TLCRFitResult& with, TLCRFitResult& without) {
    SelectBox(box);
    TypeReference(part.Rref);
    for (const bool on : {true, false}) {
      W->cbFixture->setChecked(on);
      W->cbFixtureClick();
      ASSERT_TRUE(Measure(1));
      (on ? with : without) = W->Analysis.LastFit();
      StopRun();
    }
  }
};

// Leads of 0.1 ohm and 1 uH in series with every part; the short step removes them.
TEST_F(Fixture, TheShortStepRemovesTheLeads) {
  const TPart parts[] = {
      {"R=0.1,leadR=0.1,leadL=1u,Rref=1", 1, 0.1, 0, 0},
      {"R=1,leadR=0.1,leadL=1u,Rref=1", 1, 1, 0, 0},
      {"R=0.02,L=1u,leadR=0.1,leadL=1u,Rref=1", 1, 0.02, 1e-6, 0},
      {"R=0.1,L=10u,leadR=0.1,leadL=1u,Rref=1", 1, 0.1, 10e-6, 0},
  };
  ASSERT_TRUE(StepBeforeParts("matched=on,noise=off", "R=0,leadR=0.1,leadL=1u,Rref=1", 1, parts,
                              &TfmLCR::btnShort, "Short measured: "));
  ReadParts(parts, [](const TPart& p, const TLCRFitResult& with, const TLCRFitResult& without) {
    const double r = static_cast<double>(with.R), r0 = static_cast<double>(without.R);
    std::cout << p.Circuit << ": R " << r << " (without the short " << r0 << ")";
    EXPECT_NEAR(r, p.R, 0.5e-3);
    EXPECT_GT(std::fabs(r0 - p.R), 0.05) << "the leads show without the compensation";
    if (p.L > 0) {
      ASSERT_EQ(with.Kind, TReactanceKind::Inductance);
      const double l = static_cast<double>(with.Value), l0 = static_cast<double>(without.Value);
      std::cout << ", L " << l << " (" << l0 << ")";
      EXPECT_LT(Relative(l, p.L), 0.01);
    }
    std::cout << '\n';
  });
}

// 100 pF between the leads lies across every part; the open step removes it.
TEST_F(Fixture, TheOpenStepRemovesWhatLiesAcrossTheTerminals) {
  const TPart parts[] = {
      {"name=10k,R=10k,Rref=10k,leadC=100p", 10e3, 10e3, 0, 0},
      {"name=100k,R=100k,Rref=100k,leadC=100p", 100e3, 100e3, 0, 0},
      {"name=1M,R=1M,Rref=1M,leadC=100p", 1e6, 1e6, 0, 0},
      {"name=100p,C=100p,Rref=1M,leadC=100p", 1e6, 0, 0, 100e-12},
      {"name=1n,C=1n,Rref=100k,leadC=100p", 100e3, 0, 0, 1e-9},
      {"name=10n,C=10n,Rref=10k,leadC=100p", 10e3, 0, 0, 10e-9},
  };
  ASSERT_TRUE(StepBeforeParts("matched=on,noise=off", "name=open,open=on,Rref=100k,leadC=100p",
                              100e3, parts, &TfmLCR::btnOpen, "Open measured: |Zo|= "));
  ReadParts(parts, [](const TPart& p, const TLCRFitResult& with, const TLCRFitResult& without) {
    const bool capacitor = p.C > 0;
    const double value = capacitor ? p.C : p.R;
    const double v = static_cast<double>(capacitor ? with.Value : with.R);
    const double v0 = static_cast<double>(capacitor ? without.Value : without.R);
    std::cout << p.Circuit << ": error " << 100 * Relative(v, value) << " % (without the open "
              << 100 * Relative(v0, value) << " %)\n";
    if (capacitor) {
      ASSERT_EQ(with.Kind, TReactanceKind::Capacitance);
    }
    EXPECT_LT(Relative(v, value), 5e-4);
    EXPECT_GT(Relative(v0, value), 5e-4) << "the leads' capacitance shows without the open";
  });
}

// The card's inputs load their nodes, 47 kOhm and 100 pF each: the left input only loads the
// source, but the right one lies across Rref and scales every reading by 1 + Rref Yin. With
// nothing between the terminals no current reaches Rref, so the open step cannot see it.
TEST_F(Fixture, TheInputAcrossRrefScalesReadingsAndTheOpenCannotSeeIt) {
  const double zin = 47e3;
  const TPart parts[] = {
      {"name=10k,R=10k,Rref=10k", 10e3, 10e3, 0, 0},
      {"name=1M,R=1M,Rref=1M", 1e6, 1e6, 0, 0},
  };
  ASSERT_TRUE(StepBeforeParts("matched=on,noise=off,zin=47k,cin=100p", "name=open,open=on,Rref=10k",
                              10e3, parts, &TfmLCR::btnOpen,
                              "Open measured: nothing across the terminals."));
  ReadParts(parts, [&](const TPart& p, const TLCRFitResult& with, const TLCRFitResult& without) {
    const double scale = 1 + p.Rref / zin;
    std::cout << p.Circuit << " on 47 kOhm inputs: error " << 100 * (with.R / p.R - 1)
              << " % after the open step (" << 100 * (without.R / p.R - 1) << " % without)\n";
    EXPECT_LT(Relative(static_cast<double>(without.R), scale * p.R), 1e-4);
    EXPECT_LT(Relative(static_cast<double>(with.R), static_cast<double>(without.R)), 1e-4);
  });
}

// The same inputs: after the open step, the load step on a standard resistor takes the scale
// out for every part measured with its R ref, resistors and capacitors alike.
TEST_F(Fixture, TheLoadStepRemovesTheScaleOfTheInputs) {
  const TPart parts[] = {
      {"name=10k,R=10k,Rref=100k,leadC=100p", 100e3, 10e3, 0, 0},
      {"name=1M,R=1M,Rref=100k,leadC=100p", 100e3, 1e6, 0, 0},
      {"name=100p,C=100p,Rref=100k,leadC=100p", 100e3, 0, 0, 100e-12},
      {"name=10n,C=10n,Rref=100k,leadC=100p", 100e3, 0, 0, 10e-9},
      {"name=100k,R=100k,Rref=100k,leadC=100p", 100e3, 100e3, 0, 0}, // the standard
  };
  ASSERT_TRUE(StepBeforeParts("matched=on,noise=off,zin=47k,cin=100p",
                              "name=open,open=on,Rref=100k,leadC=100p", 100e3, parts,
                              &TfmLCR::btnOpen, "Open measured: "));
  SelectBox(std::size(parts));
  W->edLoad->setText("100000");
  ASSERT_TRUE(RunStep(W->btnLoad, "Load measured: the standard read "));
  ReadParts(parts, [](const TPart& p, const TLCRFitResult& with, const TLCRFitResult& without) {
    const bool capacitor = p.C > 0;
    const double value = capacitor ? p.C : p.R;
    const double v = static_cast<double>(capacitor ? with.Value : with.R);
    const double v0 = static_cast<double>(capacitor ? without.Value : without.R);
    std::cout << p.Circuit << " on 47 kOhm, 100 pF inputs: error " << 100 * Relative(v, value)
              << " % after open and load (" << 100 * Relative(v0, value) << " % without)\n";
    EXPECT_LT(Relative(v, value), 5e-4);
    EXPECT_GT(Relative(v0, value), 0.1);
  });
  // Another R ref: the load does not apply, and the log says so.
  SelectBox(1);
  TypeReference(10e3);
  W->cbFixture->setChecked(true);
  W->cbFixtureClick();
  ASSERT_TRUE(Measure(1));
  StopRun();
  EXPECT_TRUE(std::any_of(Log.begin(), Log.end(), [](const auto& line) {
    return line.first.rfind("The fixture's load step was measured with R ref = 100000 Ohm", 0) == 0;
  }));
}

// With an open box and a box of shorted leads on the card, the tour runs both steps before it
// measures the first component box, and the readings come without the leads.
TEST_F(Fixture, TheTourRunsTheStepsTheCardHasBoxesFor) {
  Boxes("matched=on,noise=off", {"name=open,open=on,Rref=100k,leadR=0.1,leadL=1u",
                                 "name=leads,R=0,leadR=0.1,leadL=1u,Rref=1",
                                 "name=part,R=0.5,leadR=0.1,leadL=1u,Rref=1"});
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(Dir); // the tour writes its screenshot where it runs
  Open();
  std::ostringstream out;
  const int rc = RunTour(*W, out);
  std::filesystem::current_path(was);
  ASSERT_EQ(rc, 0) << out.str();
  const std::string text = out.str();
  const size_t shortStep = text.find("Fixture step on: leads\n");
  const size_t openStep = text.find("Fixture step on: open\n");
  const size_t measuring = text.find("Measuring on: part");
  ASSERT_NE(shortStep, std::string::npos) << text;
  EXPECT_LT(shortStep, openStep);
  EXPECT_LT(openStep, measuring);
  EXPECT_NE(text.find("log: Short measured: Rs= "), std::string::npos) << text;
  EXPECT_NEAR(static_cast<double>(W->Analysis.LastFit().R), 0.5, 0.5e-3);
}

}  // namespace
}  // namespace dravik
