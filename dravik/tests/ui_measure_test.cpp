// The window's runs on the virtual boxes: a calibration on the shorted box, its abort, and
// measurements of every default box read from the result labels and the chart.

#include "dravik/tests/ui_support.h"

#include <QLineSeries>
#include <QComboBox>

#include "dravik/measure/uMeterReadout.h"

#include <iostream>

namespace dravik {
namespace {

using namespace uitest;

struct TBoxCase {
  size_t Box;
  double R;          // ohms
  const char* Kind;  // "Lx= ", "Cx= " or "" (a resistor: either, with a negligible value)
  double Value;      // henries or farads
};
// The default boxes in their order: 3.3 Ohm + 1 mH, 0.2 Ohm + 10 uF, 47 Ohm.
const TBoxCase DefaultCases[] = {
    {0, 3.3, "Lx= ", 1e-3}, {1, 0.2, "Cx= ", 10e-6}, {2, 47, "", 0}};

double Relative(double measured, double actual) { return std::fabs(measured - actual) / actual; }

// The lines of the run itself (the window's, and the devices' start and stop) from `from` on, in
// log order.
using TLogLine = std::pair<std::string, bool>;
std::vector<TLogLine> RunLines(const std::vector<TLogLine>& log, size_t from) {
  const std::string window[] = {"Start measurement...", "Stop measurement.",
                                "Offset calibration...", "Amplitude calibration...",
                                "Response calibration...", "Calibration done."};
  std::vector<TLogLine> lines;
  for (size_t i = from; i < log.size(); ++i) {
    const std::string& text = log[i].first;
    const bool device = text.rfind("WaveIn: Start", 0) == 0 || text.rfind("WaveIn: Stop", 0) == 0 ||
                        text.rfind("WaveOut: Start", 0) == 0 || text.rfind("WaveOut: Stop", 0) == 0;
    if (device || std::find(std::begin(window), std::end(window), text) != std::end(window)) {
      lines.push_back(log[i]);
    }
  }
  return lines;
}

struct Measurement : TWindowTest {};

TEST_F(Measurement, CalibrationEndsInMeasurementModeWithNewValues) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  const size_t from = Log.size();
  ASSERT_TRUE(Calibrate());
  // One capture run per measured step: every step in the offset run; in the amplitude run every
  // step of channel 1 against channel 0, then the steps after the first of channel 0 against
  // channel 1; then one run of the response calibration on a restarted output.
  constexpr int Steps = 5; // the default attenuator steps
  const std::string format = "Channels=2, Sampling=48000, Bits=16.";
  const TLogLine in[] = {{"WaveIn: Start: " + format, true}, {"WaveIn: Stop.", true}};
  const TLogLine outStart{"WaveOut: Start: " + format, true};
  std::vector<TLogLine> expected = {{"Offset calibration...", true}};
  const auto capture = [&](int runs) {
    for (int r = 0; r < runs; ++r) expected.insert(expected.end(), std::begin(in), std::end(in));
  };
  capture(Steps);
  expected.insert(expected.end(), {{"Amplitude calibration...", true}, outStart});
  capture(2 * Steps - 1);
  expected.insert(expected.end(), {{"Response calibration...", true}, {"WaveOut: Stop.", true}});
  expected.push_back(outStart);
  capture(1);
  expected.emplace_back("Calibration done.", true);
  EXPECT_EQ(RunLines(Log, from), expected);
  EXPECT_EQ(W->rgRunMode->ItemIndex(), 1);
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStartMeasurementClick);
  EXPECT_TRUE(W->lblR->isVisibleTo(W.get()));
  EXPECT_EQ(W->btnStart->text(), "Start");
  EXPECT_TRUE(W->cbIn->isEnabled());
  // The card's offsets (+0.0012, -0.0008) and its second channel's gain (0.985) were found.
  const auto& cal = W->SignalIn->CalibrIn->ChannelCal;
  ASSERT_EQ(cal.size(), 2u);
  EXPECT_NEAR(static_cast<double>(cal[0].Steps[0].OffSet), 0.0012, 2e-4);
  EXPECT_NEAR(static_cast<double>(cal[1].Steps[0].OffSet), -0.0008, 2e-4);
  EXPECT_NEAR(static_cast<double>(cal[1].Steps[0].AttVal), 1 / 0.985, 2e-3);
  EXPECT_NEAR(static_cast<double>(cal[0].Steps[4].AttVal), 16, 0.1);
}

// Start clicked while "Calibration done." is being logged, before the devices of the run have
// closed: the measurement it names runs.
TEST_F(Measurement, AStartAsTheCalibrationEndsMeasures) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  bool clicked = false;
  QObject::connect(W.get(), &TfmLCR::MessageAdded, [&](const QString& text, bool) {
    if (text != "Calibration done." || clicked) return;
    clicked = true;
    W->btnStart->click();
  });
  ASSERT_TRUE(Calibrate());
  EXPECT_TRUE(PumpUntil([&] { return Results >= 2; }, 60s));
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStopMeasurementClick);
  EXPECT_EQ(Count("Start measurement..."), 1u);
  StopRun();
}

// A capture whose device opens but gives no buffer back (here one whose buffers return an hour
// late) would leave "Stop" showing with nothing measured: the run ends with a message instead,
// for a measurement and for a calibration alike.
TEST_F(Measurement, AStartWhoseCaptureDeliversNothingSaysSoAndEnds) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  SelectBox(0);
  vmbox::SetReturnDelay(0, vmbox::TPort::Input, 3'600'000);
  const std::string stalled = "No data from the input device for ";
  for (int mode : {1, 0}) {
    SCOPED_TRACE(mode == 1 ? "measurement" : "calibration");
    const size_t before = Logs.CountStartingWith(stalled);
    W->rgRunMode->Item(mode)->click();
    W->btnStart->click();
    ASSERT_TRUE(PumpUntil([&] { return Logs.CountStartingWith(stalled) > before; }, 20s));
    EXPECT_TRUE(PumpUntil([&] { return W->ReadyToStart() && Idle(); }, 10s));
    EXPECT_EQ(W->btnStart->text(), "Start");
    EXPECT_EQ(Results, 0);
  }
}

TEST_F(Measurement, AnAbortedCalibrationKeepsWhatWasMeasured) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  SelectBox(vmbox::BoxCount() - 1);
  W->btnStart->click();
  // Abort once the amplitude run has measured its first block.
  const auto& cal = W->SignalIn->CalibrIn->ChannelCal;
  ASSERT_TRUE(PumpUntil([&] {
    return Count("Amplitude calibration...") > 0 && std::fabs(cal[1].Steps[0].AttVal - 1) > 1e-3;
  }));
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStopCalibrationClick);
  const size_t before = Log.size();
  W->btnStart->click();
  // The devices may still be opening: they start, find no run wanted and stop again.
  PumpUntil([] { return false; }, 1s);
  EXPECT_TRUE(Idle());
  EXPECT_TRUE(Logged("Calibration aborted.", false));
  EXPECT_EQ(Count("Calibration done."), 0u);
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStartCalibrationClick);
  EXPECT_EQ(W->rgRunMode->ItemIndex(), 0);
  EXPECT_EQ(W->btnStart->text(), "Start");
  // The offsets of every step and the first gain were measured before the abort.
  EXPECT_NEAR(static_cast<double>(cal[0].Steps[4].OffSet), 0.0012, 2e-4);
  EXPECT_NEAR(static_cast<double>(cal[1].Steps[0].AttVal), 1 / 0.985, 2e-3);
  // No further step ran after the abort: no level moved, nothing was measured.
  for (size_t i = before; i < Log.size(); ++i) {
    EXPECT_EQ(Log[i].first.find("Set volume"), std::string::npos) << Log[i].first;
  }
}

// With both inputs alike only noise and quantisation remain: 1 % is ample.
TEST_F(Measurement, EachDefaultBoxReadsItsComponent) {
  Open();
  for (const auto& c : DefaultCases) {
    SCOPED_TRACE(vmbox::BoxName(c.Box));
    SelectBox(c.Box);
    ASSERT_TRUE(Measure(2));
    const std::string r = Text(W->lblR), z = Text(W->lblZ);
    std::cout << vmbox::BoxName(c.Box) << ", inputs matched: R error "
              << 100 * Relative(static_cast<double>(W->Analysis.LastFit().R), c.R) << " %, "
              << z << '\n';
    EXPECT_LT(Relative(EngValue(r, "Rx= ", "Ohm"), c.R), 0.01) << r;
    if (*c.Kind) {
      const char* unit = c.Kind[0] == 'L' ? "H" : "F";
      EXPECT_LT(Relative(EngValue(z, c.Kind, unit), c.Value), 0.01) << z;
      EXPECT_EQ(W->Series3->name().toStdString(), std::string(c.Kind, 2));
    } else {
      // A resistor: a residual reactance far below the resistance at every analysed frequency,
      // or, when the noise leaves residual imaginary parts of both signs, no reactance at all.
      const double l = EngValue(z, "Lx= ", "H"), cap = EngValue(z, "Cx= ", "F");
      EXPECT_TRUE((l >= 0 && 2 * M_PI * 12000 * l < 0.01 * c.R) ||
                  (cap > 0 && 1 / (2 * M_PI * 23 * cap) < 0.01 * c.R) || z == "Lx, Cx= ?")
          << z;
    }
    EXPECT_EQ(W->Series1->name(), "Re(Z) Ohm ");
    EXPECT_EQ(W->Series2->name(), "Im(Z) Ohm ");
    // Frequencies with little weight (the capacitor's lowest ones) are not plotted.
    EXPECT_GE(W->Series1->count(), 6);
    EXPECT_EQ(W->Series2->count(), W->Series1->count());
    if (*c.Kind) {
      EXPECT_EQ(W->Series3->count(), W->Series1->count());
    }
    EXPECT_NEAR(W->Series1->at(W->Series1->count() / 2).y(), c.R, 0.02 * c.R);
    StopRun();
    EXPECT_TRUE(Logged("Stop measurement.", true));
    EXPECT_EQ(Text(W->lblR), r); // the last result stays
  }
}

// The LCR meter readout follows the test frequency and the equivalent circuit chosen: the fit's
// model at the strongest frequency, or one analysis point as measured.
TEST_F(Measurement, MeterReadoutAtTheChosenTestFrequency) {
  Open();
  SelectBox(0); // 3.3 Ohm + 1 mH
  ASSERT_TRUE(Measure(2));
  StopRun();
  const auto& points = W->Analysis.LastPoints();
  ASSERT_GE(points.size(), 6u);
  ASSERT_EQ(W->cbTestFrequency->count(), static_cast<int>(points.size()) + 1);
  EXPECT_EQ(W->cbTestFrequency->itemText(0), "Fit over all points");
  const auto lines = [&] { return Text(W->lblMeter); };
  const auto joined = [](const platform::TLcrMeterReading& r) {
    std::string text;
    for (const auto& line : platform::LcrMeterLines(r)) text += (text.empty() ? "" : "\n") + line;
    return text;
  };
  EXPECT_EQ(lines(), joined(FitMeterReading(W->Analysis.LastFit(), platform::TEquivalentChoice::Auto)));
  EXPECT_NE(lines().find("Ls = 1.000"), std::string::npos) << lines();
  const size_t chosen = points.size() / 2;
  W->cbTestFrequency->setCurrentIndex(static_cast<int>(chosen) + 1);
  W->cbEquivalent->setCurrentIndex(2);
  emit W->cbEquivalent->activated(2); // as a pick in the list does
  EXPECT_EQ(lines(), joined(PointMeterReading(points[chosen], platform::TEquivalentChoice::Parallel)));
  EXPECT_NE(lines().find("Rp = "), std::string::npos) << lines();
  EXPECT_EQ(lines().substr(0, 4), "f = ");
}

// The card's default realism: offsets, a 1.5 % gain and an anti-alias mismatch, AC coupling.
// The calibration on the shorted box removes the gain and offset differences, but not the
// phase difference that the unequal anti-alias edges and high-pass corners leave between the
// two inputs; it shows at the frequency ends, most for the smallest impedance.
TEST_F(Measurement, DefaultRealismAfterCalibration) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  ASSERT_TRUE(Calibrate());
  for (const auto& c : DefaultCases) {
    SelectBox(c.Box);
    ASSERT_TRUE(Measure(2));
    const TLCRFitResult& fit = W->Analysis.LastFit();
    const double r = static_cast<double>(fit.R);
    std::cout << vmbox::BoxName(c.Box) << ": " << Text(W->lblR) << " (error "
              << 100 * Relative(r, c.R) << " %), " << Text(W->lblZ);
    if (*c.Kind) {
      const double v = static_cast<double>(fit.Value);
      std::cout << " (error " << 100 * Relative(v, c.Value) << " %)";
      EXPECT_LT(Relative(v, c.Value), 0.05);
    }
    std::cout << '\n';
    EXPECT_LT(Relative(r, c.R), c.R < 1 ? 0.5 : 0.05);
    StopRun();
  }
}

// The reference resistance scales the whole impedance: Z = Rref (U - V) / V.
TEST_F(Measurement, TypingTheReferenceResistorScalesTheResult) {
  Open();
  SelectBox(0);
  ASSERT_TRUE(Measure(1));
  const double r10 = EngValue(Text(W->lblR), "Rx= ", "Ohm");
  const double l10 = EngValue(Text(W->lblZ), "Lx= ", "H");
  W->edR->setText("4.7");
  const int target = Results + 2;
  ASSERT_TRUE(PumpUntil([&] { return Results >= target; }, 300s));
  EXPECT_NEAR(EngValue(Text(W->lblR), "Rx= ", "Ohm") / r10, 0.47, 0.005);
  EXPECT_NEAR(EngValue(Text(W->lblZ), "Lx= ", "H") / l10, 0.47, 0.005);
  StopRun();
}

// Swap makes channel 1 the series pair: on a box wired the usual way a 47 ohm resistor then
// reads as -Rref Zx / (Rref + Zx) = -8.25 ohm, which shows that the roles really changed.
TEST_F(Measurement, SwapExchangesTheChannelRoles) {
  Open();
  W->cbSwap->click();
  SelectBox(2);
  ASSERT_TRUE(Measure(1));
  EXPECT_NEAR(EngValue(Text(W->lblR), "Rx= ", "Ohm"), -10 * 47 / 57.0, 0.05);
  StopRun();
}

// A box wired the other way round, measured with Swap ticked, reads what the same component
// reads on a box wired the usual way without it.
TEST_F(Measurement, SwapWithSwappedWiringReadsTheSameComponent) {
  const auto parsed = vmbox::ParseCircuits("R=3.3,L=1m;R=3.3,L=1m,swap=on;matched=on");
  ASSERT_EQ(parsed.Error, "");
  vmbox::Reinitialise(parsed.Boxes, vmbox::TSpeed::Fast);
  Open();
  double r[2], l[2];
  for (size_t box : {0u, 1u}) {
    if (box == 1) W->cbSwap->click();
    SelectBox(box);
    ASSERT_TRUE(Measure(2)) << "box " << box;
    r[box] = EngValue(Text(W->lblR), "Rx= ", "Ohm");
    l[box] = EngValue(Text(W->lblZ), "Lx= ", "H");
    StopRun();
    EXPECT_LT(Relative(r[box], 3.3), 0.01) << "box " << box;
    EXPECT_LT(Relative(l[box], 1e-3), 0.01) << "box " << box;
  }
  EXPECT_LT(Relative(r[1], r[0]), 0.005);
  EXPECT_LT(Relative(l[1], l[0]), 0.005);
}

TEST_F(Measurement, AMeasurementReportsItsStartAndStopInOrder) {
  Open();
  SelectBox(2);
  const size_t from = Log.size();
  ASSERT_TRUE(Measure(1));
  StopRun();
  const std::string format = "Channels=2, Sampling=48000, Bits=16.";
  const std::vector<TLogLine> expected = {
      {"Start measurement...", true}, {"WaveOut: Start: " + format, true},
      {"WaveIn: Start: " + format, true}, {"Stop measurement.", true},
      {"WaveIn: Stop.", true}, {"WaveOut: Stop.", true}};
  EXPECT_EQ(RunLines(Log, from), expected);
}

// A stop completes only when the devices have closed; a Start clicked before then still starts
// the run it names, from its beginning, and no stop is logged that nobody asked for.
TEST_F(Measurement, AStartRightAfterAStopStartsTheRunItNames) {
  Open();
  SelectBox(2);
  ASSERT_TRUE(Measure(1));
  W->btnStart->click();
  W->btnStart->click(); // at once, while the devices are still closing
  const int target = Results + 2;
  ASSERT_TRUE(PumpUntil([&] { return Results >= target; }, 60s));
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStopMeasurementClick);
  EXPECT_EQ(Count("Stop measurement."), 1u);
  EXPECT_EQ(Count("Start measurement..."), 2u);
  StopRun();

  SelectBox(vmbox::BoxCount() - 1);
  W->rgRunMode->Item(0)->click();
  W->btnStart->click();
  ASSERT_TRUE(PumpUntil([this] { return Count("Amplitude calibration...") > 0; }, 300s));
  W->btnStart->click();
  // A value no offset block can give: the new run's first step must measure it again.
  W->SignalIn->CalibrIn->ChannelCal[0].Steps[0].OffSet = 0.5;
  W->btnStart->click();
  ASSERT_TRUE(PumpUntil([this] { return Count("Calibration done.") > 0; }, 300s));
  EXPECT_EQ(Count("Offset calibration..."), 2u);
  EXPECT_NEAR(static_cast<double>(W->SignalIn->CalibrIn->ChannelCal[0].Steps[0].OffSet), 0, 1e-3);
}

} // namespace
} // namespace dravik
