// The main window on the virtual boxes in fast mode: start-up and settings, the modes end to end
// with what each series holds, the output level rule, saving, and closing while running.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <QAbstractButton>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <vector>
#include <fstream>

#include "platform/gui/uChartStyle.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

using uitest::TWindow;
namespace vmbox = platform::vmbox;

using uitest::Calibrate;
using uitest::Shorted;
using uitest::Timeout;
using uitest::TBlockCounter;
using uitest::TLcr;
using uitest::Measured;

int Points(TForm1& form, int series) { return static_cast<int>(form.ChartData().Points(series).size()); }


TEST(Window, FirstStartWithoutSettings) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  EXPECT_EQ(w->windowTitle(), "Sorvane");
  EXPECT_EQ(w->PageControl1->currentWidget(), w->tsSetup);
  EXPECT_EQ(w->ModeItem(), 0);
  EXPECT_TRUE(w->cbDrawAll->isChecked());
  EXPECT_FALSE(w->cbModPh->isChecked());
  EXPECT_EQ(w->SignalIn().Saturation[0], 0.9);
  EXPECT_EQ(w->SignalIn().Saturation[1], 0.9);
  EXPECT_EQ(w->SignalIn().Poly, IdentityCalibration());
  EXPECT_EQ(w->frRref->Value(), 1);
  EXPECT_EQ(w->frRref->cbVal->lineEdit()->text(), "1") << "the default is shown, not only used";
  EXPECT_EQ(w->BlockLen(), 2048);
  EXPECT_EQ(w->frSpRange1->FullMin(), 23);
  EXPECT_EQ(w->frSpRange1->FullMax(), 22000);
  EXPECT_EQ(w->RangeLo(), 23);
  EXPECT_EQ(w->RangeHi(), 22000);
  EXPECT_EQ(w->Level(), 1);
  EXPECT_FALSE(w->gbCalibration->isHidden());
  EXPECT_TRUE(w->gbGraph->isHidden());
  EXPECT_TRUE(w->frSpRange1->isHidden());
  EXPECT_TRUE(w->btnCalibration->isHidden());
  EXPECT_TRUE(w->lbSaturation->isHidden());
  EXPECT_EQ(w->cbModPh->text(), "Mod. && Phase");
  EXPECT_FALSE(w->ChartData().RightGrid());
  EXPECT_TRUE(w->lbCalibration->text().isEmpty());
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C") << "numbers use the point while the window lives";
  w->close();
  EXPECT_EQ(w->CloseReport(), "");
  EXPECT_TRUE(std::filesystem::exists(scratch.Files().Settings));
}

TEST(Window, SamplingRateSetsBlockAndRange) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  const struct { int item, blockLen; double top; } rates[] = {
      {0, 2048, 22000}, {1, 4096, 22000}, {2, 8192, 22000}};
  for (const auto& r : rates) {
    w->frWaveSetup1->cbSampling->setCurrentIndex(r.item);
    emit w->frWaveSetup1->cbSampling->activated(r.item);
    EXPECT_EQ(w->BlockLen(), r.blockLen);
    EXPECT_EQ(w->frSpRange1->FullMin(), 23);
    EXPECT_EQ(w->frSpRange1->FullMax(), r.top);
    EXPECT_EQ(w->RangeHi(), r.top);
  }
}

// R ref is always a positive value in force and the one shown: Enter adds an entry without
// emptying what is used, and a restart after it measures with the same value.
TEST(Window, ReferenceResistorSurvivesEnterAndARestart) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  {
    TWindow w(scratch.Files());
    TypeRref(*w.Form, "47");
    QTest::keyClick(w->frRref->cbVal, Qt::Key_Return);
    EXPECT_EQ(w->frRref->Value(), 47);
    EXPECT_EQ(w->frRref->cbVal->lineEdit()->text(), "47");
    w->close();
  }
  TWindow w(scratch.Files());
  EXPECT_EQ(w->frRref->Value(), 47);
  EXPECT_EQ(w->frRref->cbVal->lineEdit()->text(), "47");
  TypeRref(*w.Form, "4.7k");
  EXPECT_EQ(w->frRref->Value(), 4700);
}

TEST(Window, SettingsRoundTripOfAllSections) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  {
    TWindow w(scratch.Files());
    w->frWaveSetup1->cbDeviceIn->setCurrentIndex(3);
    w->frWaveSetup1->cbDeviceOut->setCurrentIndex(1);
    w->frWaveSetup1->cbSampling->setCurrentIndex(1);
    w->frWaveSetup1->cbSwap->setChecked(true);
    TypeRref(*w.Form, "10");
    w->cbModPh->setChecked(true);
    w->cbDrawAll->setChecked(false);
    w->cbLeftForAll->setChecked(true);
    w->cbLogF->setChecked(true);
    w->PageControl1->setCurrentIndex(1);
    w->SetModeItem(3);
    w->SignalIn().Saturation = {0.8125, 0.75};
    w->SignalIn().Poly[1][3] = 1.25e-15;
    w->close();
  }
  TWindow w(scratch.Files());
  EXPECT_EQ(w->frWaveSetup1->InputDevice(), 3);
  EXPECT_EQ(w->frWaveSetup1->OutputDevice(), 1);
  EXPECT_EQ(w->frWaveSetup1->SamplingRate(), 96000);
  EXPECT_EQ(w->BlockLen(), 4096);
  EXPECT_TRUE(w->frWaveSetup1->cbSwap->isChecked());
  EXPECT_EQ(w->frRref->Value(), 10);
  EXPECT_TRUE(w->cbModPh->isChecked());
  EXPECT_TRUE(w->ShowModPhase());
  EXPECT_EQ(w->ChartData().LeftTitle(), "Module");
  EXPECT_FALSE(w->cbDrawAll->isChecked());
  EXPECT_FALSE(w->ChartData().DrawAllPoints());
  EXPECT_TRUE(w->ChartData().LeftForAll());
  EXPECT_TRUE(w->ChartData().BottomLog());
  EXPECT_EQ(w->PageControl1->currentWidget(), w->tsProcessing);
  EXPECT_EQ(w->ModeItem(), 3);
  EXPECT_EQ(w->LastMode(), 3);
  EXPECT_EQ(w->SignalIn().Saturation[0], 0.8125);
  EXPECT_EQ(w->SignalIn().Saturation[1], 0.75);
  EXPECT_EQ(w->SignalIn().Poly[1][3], static_cast<long double>(1.25e-15));
  const platform::TIniFile ini(scratch.Files().Settings);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"WaveSetup", "Rref", "Calibration", "Graph"}));
}

TEST(Window, GarbageSettingsStartNormally) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  {
    std::ofstream out(scratch.Files().Settings, std::ios::binary);
    out << "[WaveSetup]\nInputID=abc\nOutputID=-7\nSampling=1e9\nSwap=yes\n"
           "[Rref]\nCount=3\nValue0=ten\nCurrentIndex=99\n"
           "[Calibration]\nSaturation0=x\nPolynom00=nan\n\x01\x02 junk line\n"
           "[Graph]\nPage=9\nMode=42\nDrawAll=maybe\nLg(F)=\n";
  }
  TWindow w(scratch.Files());
  EXPECT_EQ(w->frWaveSetup1->InputDevice(), 2);
  EXPECT_EQ(w->frWaveSetup1->SamplingRate(), 48000);
  EXPECT_FALSE(w->frWaveSetup1->cbSwap->isChecked());
  EXPECT_EQ(w->frRref->cbVal->count(), 3);
  EXPECT_EQ(w->frRref->Value(), 1) << "\"ten\" is not a number";
  EXPECT_EQ(w->SignalIn().Saturation[0], 0.9);
  EXPECT_EQ(w->SignalIn().Poly, IdentityCalibration());
  EXPECT_EQ(w->PageControl1->currentIndex(), 0);
  EXPECT_EQ(w->ModeItem(), 0);
  EXPECT_TRUE(w->cbDrawAll->isChecked());
  EXPECT_TRUE(w.Messages.empty());
}

TEST(Window, StopDuringTheLevelCheckStaysInCalibration) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  UseBox(*w.Form, static_cast<size_t>(FindBox(Shorted)));
  w->PageControl1->setCurrentWidget(w->tsProcessing);
  w->btnStartStop->click();
  ASSERT_TRUE(blocks.WaitFor(2));
  w->btnStartStop->click();
  EXPECT_EQ(w->ModeItem(), 0);
  EXPECT_EQ(w->btnStartStop->text(), "Start");
  EXPECT_TRUE(w->rgMode->isEnabled());
  EXPECT_TRUE(w->frWaveSetup1->cbDeviceIn->isEnabled());
  EXPECT_TRUE(w->btnCalibration->isHidden());
  EXPECT_GT(w->SignalIn().Saturation[0], 0.5) << "the level check learned the saturation level";
}

TEST(Window, OutputLevelRule) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  w->SetModeItem(1);
  const struct { double factor, level; } steps[] = {
      {2, 1}, {0.9, 0.9}, {0.9, 0.81}, {1.1, 0.891}, {2, 1}, {0.5, 0.5}, {1e9, 1}};
  for (const auto& s : steps) {
    w->AdjustLevel(s.factor);
    EXPECT_NEAR(w->Level(), s.level, 1e-12) << s.factor;
    EXPECT_LE(w->Level(), 1);
  }
  w->ShowSaturation(true);
  EXPECT_FALSE(w->lbSaturation->isHidden());
}

TEST(Window, CalibrationThenEachModeEndToEnd) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  TypeRref(*w.Form, "10");

  // Level check: both magnitude spectra on logarithmic axes, the tone in bin 19.
  UseBox(*w.Form, static_cast<size_t>(FindBox(Shorted)));
  w->PageControl1->setCurrentWidget(w->tsProcessing);
  w->btnStartStop->click();
  ASSERT_TRUE(w->Running());
  EXPECT_EQ(w->btnStartStop->text(), "Stop");
  EXPECT_FALSE(w->rgMode->isEnabled());
  EXPECT_FALSE(w->frWaveSetup1->cbDeviceIn->isEnabled());
  EXPECT_FALSE(w->btnCalibration->isHidden());
  ASSERT_TRUE(blocks.WaitFor(3));
  EXPECT_EQ(w->DrawStyle(), 3);
  EXPECT_TRUE(w->ChartData().LeftLog());
  EXPECT_TRUE(w->ChartData().BottomLog());
  EXPECT_TRUE(w->lbCalibration->text().startsWith("Quality:"));
  ASSERT_GT(Points(*w.Form, 0), 0);
  ASSERT_EQ(Points(*w.Form, 0), Points(*w.Form, 1));
  EXPECT_EQ(Points(*w.Form, 2) + Points(*w.Form, 3), 0);
  const auto& spectrum = w->ChartData().Points(0);
  const auto peak = std::max_element(spectrum.begin(), spectrum.end(),
                                     [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
  EXPECT_DOUBLE_EQ(peak->x(), 19 * 48000.0 / 2048);

  // Continue: the fit, linear axes, all four series, Series2 and Series4 on the right axis.
  w->btnCalibration->click();
  EXPECT_TRUE(w->btnCalibration->isHidden());
  ASSERT_TRUE(blocks.WaitFor(4));
  ASSERT_TRUE(PumpUntil([&] { return w->lbCalibration->text().startsWith("Press Stop"); }, Timeout));
  EXPECT_EQ(w->DrawStyle(), 2);
  EXPECT_FALSE(w->ChartData().LeftLog());
  EXPECT_FALSE(w->ChartData().BottomLog());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Points(*w.Form, i), Points(*w.Form, 0)) << i;
  EXPECT_EQ(w->ChartData().SeriesList()[1]->attachedAxes().back(), w->ChartData().RightAxis());
  w->btnStartStop->click();
  EXPECT_FALSE(w->Running());
  EXPECT_EQ(w->ModeItem(), 2) << "stopping after Continue goes back to the last measuring mode";
  EXPECT_NE(w->SignalIn().Poly, IdentityCalibration());

  // The three measuring modes on the 47 Ohm box: what each series holds.
  UseBox(*w.Form, 2);
  const struct { int mode, filled; } modes[] = {{1, 2}, {2, 4}, {3, 2}};
  for (const auto& m : modes) {
    w->SetModeItem(m.mode);
    w->btnStartStop->click();
    ASSERT_TRUE(w->Running());
    ASSERT_TRUE(blocks.WaitFor(3));
    w->btnStartStop->click();
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(Points(*w.Form, i) > 0, i < m.filled) << "mode " << m.mode << " series " << i;
    const QPointF mid = w->ChartData().Points(0)[Points(*w.Form, 0) / 2];
    if (m.mode == 3) {
      // The divider's output over its drive: Rref / (Zx + Rref) = 10 / 57.
      EXPECT_NEAR(std::hypot(mid.y(), w->ChartData().Points(1)[Points(*w.Form, 0) / 2].y()), 10.0 / 57, 0.003);
    } else {
      EXPECT_NEAR(mid.y(), 47, 0.5) << "Re Zx";
    }
    if (m.mode == 2) {
      EXPECT_TRUE(w->memLCRRes->toPlainText().contains("R= 4"));
    }
  }
  // The LCR result of "Z graph + LCR" does not hold in "Transfer graph".
  EXPECT_EQ(w->memLCRRes->toPlainText(), "");
}

TEST(Window, LcrOnEachDefaultBox) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  TypeRref(*w.Form, "10");
  Calibrate(w, blocks);
  const auto boxes = vmbox::DefaultBoxes();
  // Ranges over which each component's impedance stays within a decade of R ref.
  const struct { size_t box; double lo, hi; } cases[] = {
      {2, 23, 22000}, {0, 23, 22000}, {0, 200, 10000}, {1, 200, 10000}, {1, 23, 22000}};
  for (const auto& c : cases) {
    const vmbox::TCircuit& truth = boxes[c.box].Circuit;
    UseBox(*w.Form, c.box);
    w->SetModeItem(2);
    w->frSpRange1->SetRange(c.lo, c.hi);
    w->btnStartStop->click();
    ASSERT_TRUE(w->Running());
    ASSERT_TRUE(blocks.WaitFor(6));
    w->btnStartStop->click();
    const TLcr m = Measured(*w.Form);
    const double rError = truth.R < 1 ? std::fabs(m.R - truth.R) : std::fabs(m.R / truth.R - 1);
    const double lcError = truth.L > 0 ? m.L / truth.L - 1 : truth.C > 0 ? m.C / truth.C - 1 : 0;
    std::printf("%-30s %5.0f..%5.0f Hz: R %.5g (error %.2e%s), L %.5g H, C %.5g F (error %.2e)\n",
                boxes[c.box].Name.c_str(), c.lo, c.hi, m.R, rError, truth.R < 1 ? " Ohm" : "", m.L,
                m.C, lcError);
    if (c.hi - c.lo < 20000 || c.box == 2) {
      EXPECT_LT(rError, truth.R < 1 ? 0.02 : 0.02) << boxes[c.box].Name;
      EXPECT_LT(std::fabs(lcError), 0.01) << boxes[c.box].Name;
    }
  }
}

// A window calibrated with R ref 10 on a fast card of its own circuits (a shorted box among them).
struct TCalibratedOn {
  uitest::TScratch Scratch;
  TWindow W;
  TBlockCounter Blocks;
  explicit TCalibratedOn(const char* circuits) : W(FilesOnCard(circuits, Scratch)), Blocks(*W.Form) {
    TypeRref(*W.Form, "10");
    Calibrate(W, Blocks);
  }
  static sorvane::TSorvaneFiles FilesOnCard(const char* circuits, const uitest::TScratch& scratch) {
    uitest::App();
    const auto parsed = vmbox::ParseCircuits(circuits);
    EXPECT_EQ(parsed.Error, "");
    vmbox::Reinitialise(parsed.Boxes, vmbox::TSpeed::Fast);
    return scratch.Files();
  }
};

// A card whose signal reaches its inputs half a second after it is played, as through a sound
// server: the first reading after every Start is already the component's (it was a block of
// silence before, "R= -15.4 Ohm" for this box).
TEST(Window, FirstReadingAfterStartWaitsForTheSignal) {
  TCalibratedOn card("R=3.3,L=1m;R=0,name=shorted Zx;latency=24000");
  TWindow& w = card.W;
  TBlockCounter& blocks = card.Blocks;
  for (int start = 0; start < 3; ++start) {
    UseBox(*w.Form, 0);
    w->SetModeItem(2);
    w->btnStartStop->click();
    ASSERT_TRUE(w->Running());
    ASSERT_TRUE(blocks.WaitFor(1));
    const TLcr first = Measured(*w.Form);
    w->btnStartStop->click();
    EXPECT_NEAR(first.R, 3.3, 0.003 * 3.3) << "start " << start;
    EXPECT_NEAR(first.L, 1e-3, 0.003e-3) << "start " << start;
  }
}

// A box wired the other way round, measured with Swap ticked, reads what the same component
// reads on a box wired the usual way without it.
TEST(Window, SwapWithSwappedWiringReadsTheSameComponent) {
  TCalibratedOn card("R=3.3,L=1m;R=3.3,L=1m,swap=on;matched=on");
  TWindow& w = card.W;
  TBlockCounter& blocks = card.Blocks;
  TLcr m[2];
  for (size_t box : {0u, 1u}) {
    w->frWaveSetup1->cbSwap->setChecked(box == 1);
    UseBox(*w.Form, box);
    w->SetModeItem(2);
    w->frSpRange1->SetRange(200, 10000);
    w->btnStartStop->click();
    ASSERT_TRUE(w->Running());
    ASSERT_TRUE(blocks.WaitFor(6));
    w->btnStartStop->click();
    m[box] = Measured(*w.Form);
    EXPECT_NEAR(m[box].R, 3.3, 0.02 * 3.3) << "box " << box;
    EXPECT_NEAR(m[box].L, 1e-3, 0.01e-3) << "box " << box;
  }
  EXPECT_NEAR(m[1].R / m[0].R, 1, 0.005);
  EXPECT_NEAR(m[1].L / m[0].L, 1, 0.005);
}

TEST(Window, SwapWithSwappedChannelsGivesTheSame) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  w->SetModeItem(1);
  TypeRref(*w.Form, "10");
  w->btnStartStop->click(); // a run of "Z graph" sets the sampling rate and the drawing
  ASSERT_TRUE(blocks.WaitFor(1));
  w->btnStartStop->click();
  // Packed spectra of a divider with Zx = 3 + 4i against 10 Ohm: V0 = 1, V1 = 10 / (13 + 4i).
  const int n = 2048;
  TWaveData straight{TChannelData(n, 0), TChannelData(n, 0)};
  for (int k = 1; k < n / 2; ++k) {
    straight[0][2 * k] = 1;
    straight[1][2 * k] = 10 * 13 / 185.0;
    straight[1][2 * k + 1] = 10 * 4 / 185.0;
  }
  TWaveData crossed{straight[1], straight[0]};
  w->BlockReady(straight);
  const QList<QPointF> re = w->ChartData().Points(0), im = w->ChartData().Points(1);
  w->frWaveSetup1->cbSwap->setChecked(true);
  w->BlockReady(crossed);
  EXPECT_EQ(w->ChartData().Points(0), re);
  EXPECT_EQ(w->ChartData().Points(1), im);
  ASSERT_FALSE(re.isEmpty());
  EXPECT_NEAR(re.front().y(), 3, 1e-9);
  EXPECT_NEAR(std::fabs(im.front().y()), 4, 1e-9);
}

std::vector<std::string> Lines(const std::filesystem::path& file, std::string& raw) {
  std::ifstream in(file, std::ios::binary);
  raw.assign(std::istreambuf_iterator<char>(in), {});
  std::vector<std::string> lines;
  for (size_t at = 0; at < raw.size();) {
    const size_t end = raw.find("\r\n", at);
    if (end == std::string::npos) break;
    lines.push_back(raw.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

TEST(Window, SavingResults) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  std::string raw;
  // Nothing drawn yet: no file, and the window says why.
  w->btnSave->click();
  EXPECT_FALSE(std::filesystem::exists(scratch.Files().Results));
  EXPECT_EQ(w->lbSaveStatus->text(), "Nothing is drawn, so nothing was saved: press Start first.");

  UseBox(*w.Form, 2);
  w->SetModeItem(1);
  w->PageControl1->setCurrentWidget(w->tsProcessing);
  w->btnStartStop->click();
  ASSERT_TRUE(blocks.WaitFor(2));
  w->btnStartStop->click();
  w->btnSave->click();
  const auto lines = Lines(scratch.Files().Results, raw);
  ASSERT_EQ(static_cast<int>(lines.size()), Points(*w.Form, 0));
  EXPECT_EQ(raw.size(), lines.size() * 73);
  for (const auto& line : lines) ASSERT_EQ(line.size(), 71u) << line;
  EXPECT_EQ(lines.front().substr(0, 23), " 2.34375000000000E+0001");
  EXPECT_TRUE(w.Messages.empty());

  // A results file that cannot be written: the system's text, and the curve stays drawn.
  const QList<QPointF> drawn = w->ChartData().Points(0);
  std::filesystem::remove(scratch.Files().Results);
  std::filesystem::create_directory(scratch.Files().Results);
  w->btnSave->click();
  ASSERT_EQ(w.Messages.size(), 1u);
  EXPECT_NE(w.Messages[0].find("Is a directory"), std::string::npos) << w.Messages[0];
  EXPECT_EQ(w->ChartData().Points(0), drawn);
}

TEST(Window, ClosingWhileRunningStopsBothDevices) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  UseBox(*w.Form, 0);
  w->SetModeItem(2);
  w->btnStartStop->click();
  ASSERT_TRUE(blocks.WaitFor(1));
  const auto start = std::chrono::steady_clock::now();
  w->close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(w->CloseReport(), "");
  EXPECT_TRUE(w->WaveOut().Idle());
  EXPECT_TRUE(w->SignalIn().WaveIn().Idle());
  EXPECT_TRUE(w.Messages.empty());
}

TEST(Window, NoDeviceOpensAndSaysSo) {
  uitest::App();
  vmbox::Reinitialise({}, vmbox::TSpeed::Fast);
  uitest::TScratch scratch;
  {
    TWindow w(scratch.Files());
    EXPECT_FALSE(w->frWaveSetup1->lbNoDevice->isHidden());
    w->btnStartStop->click();
    EXPECT_FALSE(w->Running());
    ASSERT_EQ(w.Messages.size(), 1u);
    EXPECT_NE(w.Messages[0].find("There is no sound input device"), std::string::npos);
    EXPECT_TRUE(w->rgMode->isEnabled());
  }
  uitest::DefaultCard();
}

TEST(Window, FailedOpenLeavesTheWindowIdle) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  vmbox::FailNextOpen(vmbox::TPort::Input, MMSYSERR_ALLOCATED);
  w->SetModeItem(1);
  w->btnStartStop->click();
  EXPECT_FALSE(w->Running());
  EXPECT_EQ(w->btnStartStop->text(), "Start");
  ASSERT_EQ(w.Messages.size(), 1u);
  EXPECT_NE(w.Messages[0].find("Can not open input device"), std::string::npos) << w.Messages[0];
  EXPECT_TRUE(PumpUntil([&] { return w->WaveOut().Idle(); }, Timeout));
}

} // namespace
} // namespace sorvane
