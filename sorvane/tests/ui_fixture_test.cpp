// The fixture's open, short and load steps in the window, on boxes whose card loads its inputs
// and whose parts sit on test leads: what the steps remove, what the switch does, the settings
// file that keeps them and what it says when they do not apply; the LCR meter's readout at
// the marker; and the tour's steps and result line.

#include "sorvane/tests/ui_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <numbers>
#include <regex>
#include <sstream>

#include "platform/gui/uChartView.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/ui/uLcrMeterPanel.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

using uitest::Timeout;
namespace vmbox = platform::vmbox;

std::string Number(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", x);
  return text;
}

double Relative(double measured, double actual) { return std::fabs(measured - actual) / actual; }

struct FixtureSteps : ::testing::Test {
  uitest::TScratch Scratch;
  std::unique_ptr<uitest::TWindow> W;
  std::unique_ptr<uitest::TBlockCounter> Blocks;
  std::vector<std::string> Status; // what lbFixture showed, in order

  // The card's keys first, then one box per entry (box numbers count from 0 after the card).
  void Card(const std::string& text) {
    uitest::App();
    const auto parsed = vmbox::ParseCircuits(text);
    ASSERT_EQ(parsed.Error, "");
    vmbox::Reinitialise(parsed.Boxes, vmbox::TSpeed::Fast);
  }
  void OpenWindow() {
    W = std::make_unique<uitest::TWindow>(Scratch.Files());
    Blocks = std::make_unique<uitest::TBlockCounter>(*W->Form);
    W->Form->OnFixtureStatus = [this](const std::string& text) { Status.push_back(text); };
    W->Form->PageControl1->setCurrentWidget(W->Form->tsProcessing);
    W->Form->SetModeItem(2);
  }
  TForm1& F() { return *W->Form; }
  void Use(size_t box, double rref) {
    UseBox(F(), box);
    TypeRref(F(), Number(rref));
  }
  // Runs a step on `box`; its last status line.
  std::string Step(QPushButton* button, size_t box, double rref) {
    Use(box, rref);
    button->click();
    EXPECT_TRUE(PumpUntil([&] { return !F().FixtureStepRunning() && !F().Running(); }, Timeout));
    return Status.empty() ? "" : Status.back();
  }
  // The fit of `box` with the compensation switched on or off by a click on its box.
  TLcrResult Read(size_t box, double rref, bool compensated, int blocks = 3) {
    Use(box, rref);
    if (F().cbFixture->isChecked() != compensated) F().cbFixture->click();
    F().btnStartStop->click();
    EXPECT_TRUE(F().Running());
    EXPECT_TRUE(Blocks->WaitFor(blocks));
    F().btnStartStop->click();
    return F().SignalIn().LastLcr();
  }
  double MainValue(const TLcrResult& r, bool capacitor) { return capacitor ? r.C : r.R; }
};

// The inputs load their nodes with 47 kOhm and 100 pF: the right one lies across R ref and
// scales every reading by 1 + Rref Yin, which neither the open (no current reaches Rref) nor a
// short can see. The load step per R ref takes it out.
TEST_F(FixtureSteps, OpenAndLoadTakeOutTheInputAcrossRref) {
  struct TPart {
    size_t Box;
    double Value; // ohms, or farads for a capacitor
    bool Capacitor;
  };
  struct TGroup {
    double Rref, Load;
    size_t LoadBox;
    std::vector<TPart> Parts;
  };
  Card("matched=on,noise=off,zin=47k,cin=100p;name=open,open=on,Rref=100k;"
       "name=load 22k,R=22k,Rref=10k;name=10k,R=10k,Rref=10k;name=47k,R=47k,Rref=10k;name=10n,C=10n,Rref=10k;"
       "name=load 220k,R=220k,Rref=100k;name=100k,R=100k,Rref=100k;name=1n,C=1n,Rref=100k;"
       "name=load 470k,R=470k,Rref=1M;name=1M,R=1M,Rref=1M;name=100p,C=100p,Rref=1M");
  const TGroup groups[] = {
      {10e3, 22e3, 1, {{2, 10e3, false}, {3, 47e3, false}, {4, 10e-9, true}}},
      {100e3, 220e3, 5, {{6, 100e3, false}, {7, 1e-9, true}}},
      {1e6, 470e3, 8, {{9, 1e6, false}, {10, 100e-12, true}}},
  };
  OpenWindow();
  EXPECT_EQ(Step(F().btnOpen, 0, 100e3), "Open measured: nothing across the terminals.");
  for (const TGroup& g : groups) {
    F().edLoad->setText(QString::fromStdString(Number(g.Load)));
    const std::string loaded = Step(F().btnLoad, g.LoadBox, g.Rref);
    // The scale of the right input across R ref: 1 + Rref / 47 kOhm, and more from its 100 pF.
    const std::regex said("Load measured: impedances read ([0-9.]+) times their value at 1.5 kHz "
                          "with R ref= [0-9.]+ [k]?Ohm\\.");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(loaded, m, said)) << loaded;
    EXPECT_NEAR(std::stod(m[1]) / (1 + g.Rref / 47e3), 1, 0.05 * g.Rref / 1e6 + 1e-3) << loaded;
    std::cout << "R ref " << g.Rref << ": " << loaded << "\n";
    for (const TPart& p : g.Parts) {
      SCOPED_TRACE(vmbox::BoxName(p.Box));
      const double with = MainValue(Read(p.Box, g.Rref, true), p.Capacitor);
      const double without = MainValue(Read(p.Box, g.Rref, false), p.Capacitor);
      std::cout << vmbox::BoxName(p.Box) << " with R ref " << g.Rref << " on 47 kOhm || 100 pF inputs: error "
                << 100 * (with / p.Value - 1) << " % after open and load (" << 100 * (without / p.Value - 1)
                << " % without)\n";
      EXPECT_LT(Relative(with, p.Value), 5e-4);
      EXPECT_GT(Relative(without, p.Value), 0.1) << "the input's load shows without the steps";
    }
  }
}

// Leads of 0.1 ohm and 1 uH in series with every part; the short step on the leads shorted at
// their far end removes them, and the switch gives back what was read before the step.
TEST_F(FixtureSteps, TheShortStepRemovesTheLeadsAndTheSwitchGivesTheReadingBack) {
  struct TPart {
    size_t Box;
    double R, L;
  };
  Card("matched=on,noise=off;name=shorted leads,R=0,leadR=0.1,leadL=1u,Rref=1;"
       "R=0.1,leadR=0.1,leadL=1u,Rref=1;R=1,leadR=0.1,leadL=1u,Rref=1;R=0.02,L=1u,leadR=0.1,leadL=1u,Rref=1");
  const TPart parts[] = {{1, 0.1, 0}, {2, 1, 0}, {3, 0.02, 1e-6}};
  OpenWindow();
  std::vector<TLcrResult> before;
  for (const TPart& p : parts) before.push_back(Read(p.Box, 1, true));
  // A step measures the whole band and gives the user's range back; stopped before it has its
  // blocks it keeps nothing.
  F().frSpRange1->SetRange(200, 10000);
  Use(0, 1);
  F().btnShort->click();
  ASSERT_TRUE(F().Running());
  EXPECT_FALSE(F().btnShort->isEnabled()) << "a step is a run of its own";
  EXPECT_EQ(F().RangeHi(), 22000);
  F().btnStartStop->click();
  EXPECT_EQ(Status.back(), "Stopped before the step had measured: the fixture stays as it was.");
  EXPECT_FALSE(F().SignalIn().Fixture.Measured());
  EXPECT_EQ(F().RangeLo(), 200);
  const std::string shorted = Step(F().btnShort, 0, 1);
  EXPECT_EQ(F().RangeHi(), 10000);
  EXPECT_TRUE(F().btnShort->isEnabled());
  F().frSpRange1->SetRange(23, 22000);
  // The leads: 0.1 Ohm and 2 pi 1500 Hz 1 uH = 9.42 mOhm.
  const std::regex said("Short measured: Rs= ([0-9.]+) mOhm, Xs= ([0-9.]+) mOhm at 1.5 kHz\\.");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(shorted, m, said)) << shorted;
  EXPECT_NEAR(std::stod(m[1]), 100, 0.5);
  EXPECT_NEAR(std::stod(m[2]), 9.42, 0.1);
  for (size_t i = 0; i < std::size(parts); ++i) {
    const TPart& p = parts[i];
    SCOPED_TRACE(vmbox::BoxName(p.Box));
    const TLcrResult with = Read(p.Box, 1, true), without = Read(p.Box, 1, false);
    std::cout << vmbox::BoxName(p.Box) << ": R " << with.R << " L " << with.L << " (without the short R "
              << without.R << " L " << without.L << ")\n";
    EXPECT_NEAR(with.R, p.R, 0.5e-3);
    if (p.L > 0) {
      EXPECT_LT(Relative(with.L, p.L), 0.01);
    } else {
      EXPECT_EQ(with.L, 0) << "the leads' inductance is gone";
    }
    EXPECT_GT(std::fabs(without.R - p.R), 0.05);
    EXPECT_NEAR(without.R, before[i].R, 1e-5 * p.R) << "the switch off reads as before the step";
    EXPECT_NEAR(without.L, before[i].L, 1e-10);
  }
}

// Noise on: each bin's variance goes through the compensation, so the uncertainty of a reading
// divided by the load's scale is divided by it too, and still covers the reading's error.
TEST_F(FixtureSteps, TheUncertaintyFollowsTheCompensation) {
  Card("matched=on,zin=47k;name=load,R=100k,Rref=100k;name=47k,R=47k,Rref=100k");
  OpenWindow();
  F().edLoad->setText("100k");
  EXPECT_EQ(Step(F().btnLoad, 0, 100e3).rfind("Load measured: ", 0), 0u);
  const TLcrResult with = Read(1, 100e3, true, 6), without = Read(1, 100e3, false, 6);
  const double scale = 1 + 100e3 / 47e3;
  std::cout << "47k on 47 kOhm inputs: R " << with.R << " ± " << with.UR << " (without " << without.R
            << " ± " << without.UR << ")\n";
  ASSERT_TRUE(with.HasUncertainty);
  // The bins' scatter falls by the scale; the load's own noise, which the fit's misfit shows,
  // keeps the uncertainty above that (each is the estimate of six blocks: their ratio ranges
  // from about 0.5 to 0.9 from run to run), and it never grows beyond the reading's own.
  EXPECT_LT(with.UR, 2 * without.UR);
  EXPECT_GT(with.UR, 0.9 * without.UR / scale);
  EXPECT_LT(std::fabs(with.R - 47e3), 4 * with.UR);
  EXPECT_LT(Relative(with.R, 47e3), 5e-4);
}

// The steps are kept in section "Fixture" with the switch and the load; they are said not to
// apply at another rate or R ref; a file of an earlier version (no section) loads and works,
// and gets none written.
TEST_F(FixtureSteps, SettingsKeepTheStepsAndSayWhenTheyDoNotApply) {
  Card("matched=on,noise=off,zin=47k;name=open,open=on,Rref=10k;name=load,R=10k,Rref=10k");
  std::vector<platform::TFixtureComplex> open, load;
  {
    OpenWindow();
    Step(F().btnOpen, 0, 10e3);
    F().edLoad->setText("10k");
    Step(F().btnLoad, 1, 10e3);
    F().cbFixture->click();
    open = F().SignalIn().Fixture.Open;
    load = F().SignalIn().Fixture.Load;
    F().close();
    W.reset();
  }
  OpenWindow();
  const platform::TFixture& kept = F().SignalIn().Fixture;
  ASSERT_EQ(kept.Open.size(), 1024u);
  ASSERT_EQ(kept.Load.size(), 1024u);
  EXPECT_EQ(kept.Frames, 2048u);
  EXPECT_EQ(kept.Place.Rate, 48000u);
  EXPECT_EQ(kept.LoadReference, 10e3L);
  EXPECT_LT(std::abs(kept.Load[64] - load[64]), 1e-12L);
  EXPECT_EQ(kept.Open[64], open[64]);
  EXPECT_FALSE(kept.Enabled);
  EXPECT_FALSE(F().cbFixture->isChecked());
  EXPECT_EQ(F().edLoad->text(), "10000");

  // At another R ref the load does not apply, at another rate nothing does; the status says so.
  F().cbFixture->click();
  struct TCase {
    int Rate;
    double Rref;
    const char* Says;
  };
  const TCase cases[] = {
      {0, 47, "The fixture's load step was measured with R ref = 10000 Ohm and is not used"},
      {1, 10e3, "The fixture compensation was measured at 48000 Hz and is not used"},
  };
  for (const TCase& c : cases) {
    F().frWaveSetup1->cbSampling->setCurrentIndex(c.Rate);
    emit F().frWaveSetup1->cbSampling->activated(c.Rate);
    Read(1, c.Rref, true, 1);
    EXPECT_EQ(F().lbFixture->text().toStdString().rfind(c.Says, 0), 0u) << F().lbFixture->text().toStdString();
  }
  F().close();
  W.reset();

  {
    std::ofstream old(Scratch.Files().Settings, std::ios::binary);
    old << "[WaveSetup]\nInputID=2\nOutputID=2\nSampling=48000\nSwap=0\n[Rref]\nCount=1\nValue0=10k\n"
           "CurrentIndex=0\n[Calibration]\nSaturation0=0.9\nSaturation1=0.9\n[Graph]\nMode=2\nPage=1\n";
  }
  OpenWindow();
  EXPECT_FALSE(F().SignalIn().Fixture.Measured());
  EXPECT_TRUE(F().cbFixture->isChecked());
  EXPECT_LT(Relative(Read(1, 10e3, true).R, 10e3 * (1 + 10e3 / 47e3)), 1e-3) << "the old file measures";
  EXPECT_TRUE(W->Messages.empty());
  F().close();
  const platform::TIniFile ini(Scratch.Files().Settings);
  EXPECT_FALSE(ini.SectionExists("Fixture"));
}

// The readout reads the bin nearest the marker with its own variance, or the fit there with
// the fit's uncertainties; without a marker, the range's centre.
TEST_F(FixtureSteps, TheMeterReadsTheBinAtTheMarkerAndTheFit) {
  Card("matched=on;R=3.3,L=1m,Rref=10");
  OpenWindow();
  const TLcrResult fit = Read(0, 10, true, 4);
  platform::TChartCursor& cursor = F().Chart->Cursor();
  TLcrMeterPanel& meter = *F().pnMeter;
  meter.cbMeterSource->setCurrentIndex(1);
  cursor.SetMarkerAt(1000);
  ASSERT_TRUE(F().MeterReading());
  const platform::TLcrMeterReading bin = *F().MeterReading();
  const double df = 48000.0 / 2048;
  EXPECT_DOUBLE_EQ(bin.Frequency, 43 * df) << "the bin nearest 1000 Hz";
  // The drawn Re and Im of that bin.
  const QPointF re = F().ChartData().Points(0)[43 - 1], im = F().ChartData().Points(1)[43 - 1];
  ASSERT_DOUBLE_EQ(re.x(), 43 * df);
  const double w = 2 * std::numbers::pi * 43 * df;
  EXPECT_NEAR(bin.Rs.Value, re.y(), 1e-12);
  EXPECT_NEAR(bin.Xs.Value, im.y() / w, 1e-15);
  EXPECT_NEAR(bin.Modulus.Value, std::hypot(re.y(), im.y()), 1e-12);
  ASSERT_TRUE(std::isfinite(bin.Rs.Uncertainty) && bin.Rs.Uncertainty > 0);
  EXPECT_LT(std::fabs(bin.Rs.Value - 3.3), 5 * bin.Rs.Uncertainty);
  EXPECT_TRUE(meter.memMeter->toPlainText().startsWith("Bin at the marker:\nf = "));

  meter.cbMeterSource->setCurrentIndex(0);
  const platform::TLcrMeterReading model = *F().MeterReading();
  EXPECT_DOUBLE_EQ(model.Frequency, 1000);
  EXPECT_NEAR(model.Rs.Value, fit.R, 1e-12);
  EXPECT_NEAR(model.Rs.Uncertainty / fit.UR, 1, 1e-6);
  EXPECT_NEAR(model.Xs.Value / fit.L, 1, 1e-9);
  EXPECT_NEAR(model.Xs.Uncertainty / fit.UL, 1, 1e-6);

  meter.cbEquivalent->setCurrentIndex(2);
  EXPECT_TRUE(meter.memMeter->toPlainText().contains("\nRp = ")) << meter.memMeter->toPlainText().toStdString();
  EXPECT_TRUE(meter.memMeter->toPlainText().contains("\nLp = "));
  cursor.ClearMarker();
  EXPECT_NEAR(F().MeterReading()->Frequency, std::sqrt(23.0 * 22000), 1e-9);
  EXPECT_TRUE(meter.memMeter->toPlainText().startsWith("Fit at the range's centre:"));
  // Every line fits the readout's width.
  const QFontMetrics metrics(meter.memMeter->font());
  for (const QString& line : meter.memMeter->toPlainText().split('\n'))
    EXPECT_LT(metrics.horizontalAdvance(line), meter.memMeter->viewport()->width()) << line.toStdString();
  F().close();
  W.reset();
  OpenWindow();
  EXPECT_EQ(F().pnMeter->cbEquivalent->currentIndex(), 2) << "the choice is kept";
  EXPECT_EQ(F().pnMeter->cbMeterSource->currentIndex(), 0);
}

// The tour runs the open step on the open box and the short step on the shorted leads before
// it measures the part on leads, and its result line ends with the readout's Rp, D and Q.
TEST_F(FixtureSteps, TheTourRunsTheStepsAndPrintsTheReadout) {
  const char* circuits = "R=0.5,L=10u,leadR=0.1,leadL=1u,Rref=1;R=0,leadR=0.1,leadL=1u,Rref=1;"
                         "name=open jig,open=on,Rref=100k";
  Card(circuits);
  std::ostringstream out;
  const int rc = RunTour(out, Scratch.Files());
  EXPECT_EQ(rc, 0) << out.str();
  const std::string text = out.str();
  for (const char* line : {"Tour: Stop; mode \"Z graph + LCR\"\nTour: Open on \"open jig\", R ref 100000 Ohm\n"
                           "Fixture: Open: measuring the fixture with nothing connected...\n"
                           "Fixture: Open measured: ",
                           "\nTour: Short on \"",
                           "Fixture: Short: measuring the fixture with the leads shorted...\n"
                           "Fixture: Short measured: Rs= ",
                           "\nTour: measuring \"", "\nClose: both device threads stopped.\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  const std::regex result(
      "result: R=([-+0-9.e]+) uR=([-+0-9.e]+|nan) L=([-+0-9.e]+) uL=([-+0-9.e]+|nan) Rp=([-+0-9.e]+) "
      "D=([-+0-9.e]+) Q=([-+0-9.e]+)");
  std::istringstream lines(text);
  std::string line;
  int results = 0;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (line.rfind("result:", 0) != 0) continue;
    ASSERT_TRUE(std::regex_match(line, m, result)) << line;
    ++results;
    const double r = std::stod(m[1]), l = std::stod(m[3]), rp = std::stod(m[5]), d = std::stod(m[6]);
    const double x = 2 * std::numbers::pi * std::sqrt(23.0 * 22000) * l;
    // Within 0.5 mOhm, or three of the reading's own uncertainties when one came from few
    // blocks (a slow, sanitized build).
    const double ur = m[2] == "nan" ? 0 : std::stod(m[2]);
    EXPECT_NEAR(r, 0.5, std::max(0.5e-3, 3 * ur)) << "the leads are taken out: " << line;
    EXPECT_NEAR(l / 10e-6, 1, 0.01) << line;
    EXPECT_NEAR(rp / ((r * r + x * x) / r), 1, 1e-6) << line;
    EXPECT_NEAR(d * x / r, 1, 1e-6) << line;
    EXPECT_NEAR(std::stod(m[7]) * d, 1, 1e-6) << line;
  }
  // The fast card plays the ten seconds in a fraction of a second and the window keeps only the
  // newest block waiting, so how many it reads depends on how busy the machine is.
  EXPECT_GE(results, 2);
}

} // namespace
} // namespace sorvane
