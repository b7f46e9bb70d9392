// Loudspeakers on the default virtual card, calibrated as a user calibrates: the Loudspeaker
// page's Thiele-Small fit of the curve measured at the finest resolution against the boxes'
// true parameters, Vas by an added mass, the ZMA file with the result, and the tour's line.

#include "sorvane/tests/export_checks.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uExportBar.h"
#include "sorvane/ui/uThieleSmallPanel.h"
#include "sorvane/ui/ufrSpRange.h"

#include <QComboBox>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sorvane {
namespace {

using uitest::TBlockCounter;
using uitest::TWindow;
namespace vmbox = platform::vmbox;

// A driver by its mechanics, so that a mass on its cone changes fs, Qms and Qes as it does on a
// real one: Qms and Qes grow with sqrt(Mms), fs falls with it.
struct TDriver {
  const char* Name;
  double Re, Le, Fs, Qms, Qes, Rl, Ll;
  // The same driver with `grams` more on the cone, whose own moving mass is mmsGrams.
  TDriver Loaded(double grams, double mmsGrams) const {
    const double k = std::sqrt((mmsGrams + grams) / mmsGrams);
    return {Name, Re, Le, Fs / k, Qms * k, Qes * k, Rl, Ll};
  }
  // In a sealed box whose air is `vasRatio` times stiffer than the suspension (Vas / Vb): the
  // resonance and both Q's rise by sqrt(1 + Vas / Vb), the moving mass stays.
  TDriver InBox(double vasRatio) const {
    const double k = std::sqrt(1 + vasRatio);
    return {Name, Re, Le, Fs * k, Qms * k, Qes * k, Rl, Ll};
  }
  std::string Circuit() const {
    char text[200];
    std::snprintf(text, sizeof text, "Re=%g,Le=%g,fs=%g,Qms=%g,Qes=%g,Rref=10", Re, Le, Fs, Qms, Qes);
    std::string circuit = text;
    if (Rl > 0) {
      std::snprintf(text, sizeof text, ",Rl=%g,Ll=%g", Rl, Ll);
      circuit += text;
    }
    return circuit;
  }
  double Qts() const { return Qms * Qes / (Qms + Qes); }
};

// fs from 20 to 120 Hz, Qts from 0.2 to 1.2, two with a lossy voice coil.
const TDriver Drivers[] = {
    {"woofer", 6.2, 0.5e-3, 45, 3.5, 0.45, 0, 0},
    {"long-throw woofer, lossy coil", 3.4, 1.2e-3, 20, 5, 0.21, 4, 1e-3},
    {"small full-range", 7, 0.1e-3, 120, 2.5, 2.4, 0, 0},
    {"midbass, lossy coil", 5.6, 0.3e-3, 70, 8, 0.9, 8, 0.5e-3},
};

constexpr double MmsGrams = 20, AddedGrams = 10, SdCm2 = 200, BoxLitres = 20;

// The first driver's Vas: rho c² Sd² Cms with Cms = 1 / (ws² Mms).
double TrueVas() {
  const double ws = 2 * M_PI * 45, cms = 1 / (ws * ws * MmsGrams * 1e-3);
  return AirDensity * SpeedOfSound * SpeedOfSound * std::pow(SdCm2 * 1e-4, 2) * cms;
}

double Off(double got, double want) { return std::fabs(got / want - 1); }

struct Loudspeaker : testing::Test {
  uitest::TScratch Scratch;
  std::unique_ptr<TWindow> W;
  std::unique_ptr<TBlockCounter> Blocks;

  // The drivers in free air, then the first one with the added mass and in the closed box; the
  // shorted box last.
  void Open() {
    std::string circuits;
    for (const TDriver& d : Drivers) circuits += d.Circuit() + ";";
    circuits += Drivers[0].Loaded(AddedGrams, MmsGrams).Circuit() + ";";
    circuits += Drivers[0].InBox(TrueVas() / (BoxLitres * 1e-3)).Circuit();
    const auto parsed = vmbox::ParseCircuits(circuits);
    ASSERT_EQ(parsed.Error, "");
    uitest::App();
    vmbox::Reinitialise(parsed.Boxes, vmbox::TSpeed::Fast);
    W = std::make_unique<TWindow>(Scratch.Files());
    Blocks = std::make_unique<TBlockCounter>(*W->Form);
    TypeRref(*W->Form, "10");
    ASSERT_NO_FATAL_FAILURE(uitest::Calibrate(*W, *Blocks));
    QComboBox* resolution = (*W)->frWaveSetup1->cbResolution;
    resolution->setCurrentIndex(resolution->count() - 1);
    emit resolution->activated(resolution->count() - 1);
  }
  // "Z graph" on `box` over 10 Hz .. 2 kHz for two blocks, then a fit with the button given.
  void MeasureAndFit(size_t box, bool lossy, QPushButton* TThieleSmallPanel::*button) {
    TForm1& f = *W->Form;
    UseBox(f, box);
    f.SetModeItem(1);
    f.frSpRange1->SetRange(10, 2000);
    f.btnStartStop->click();
    ASSERT_TRUE(f.Running());
    ASSERT_TRUE(Blocks->WaitFor(2));
    f.btnStartStop->click();
    f.pnThieleSmall->cbLossyCoil->setChecked(lossy);
    (f.pnThieleSmall->*button)->click();
  }
};

TEST_F(Loudspeaker, ParametersOfEachDriverAndVasByAnAddedMass) {
  ASSERT_NO_FATAL_FAILURE(Open());
  TThieleSmallPanel& panel = *(*W)->pnThieleSmall;
  for (size_t box = 0; box < std::size(Drivers); ++box) {
    const TDriver& d = Drivers[box];
    SCOPED_TRACE(d.Name);
    ASSERT_NO_FATAL_FAILURE(MeasureAndFit(box, d.Rl > 0, &TThieleSmallPanel::btnFreeAir));
    const TThieleSmallFit& fit = panel.FreeAir();
    ASSERT_TRUE(fit.Ok) << fit.Failure;
    std::printf("%-30s fs %.4f (%.1e)  Re %.4f (%.1e)  Qms %.4f (%.1e)  Qes %.4f (%.1e)  Qts %.4f "
                "(%.1e)  Le %.4g (%.1e), misfit %.3f %%\n",
                d.Name, fit.Fs.Value, Off(fit.Fs.Value, d.Fs), fit.Re.Value, Off(fit.Re.Value, d.Re),
                fit.Qms.Value, Off(fit.Qms.Value, d.Qms), fit.Qes.Value, Off(fit.Qes.Value, d.Qes),
                fit.Qts.Value, Off(fit.Qts.Value, d.Qts()), fit.Le.Value, Off(fit.Le.Value, d.Le),
                fit.RmsMisfitPercent);
    EXPECT_LT(Off(fit.Fs.Value, d.Fs), 0.005);
    EXPECT_LT(Off(fit.Re.Value, d.Re), 0.005);
    EXPECT_LT(Off(fit.Qms.Value, d.Qms), 0.02);
    EXPECT_LT(Off(fit.Qes.Value, d.Qes), 0.02);
    EXPECT_LT(Off(fit.Qts.Value, d.Qts()), 0.02);
    EXPECT_LT(Off(fit.Le.Value, d.Le), 0.05);
  }
  // The first driver again, then with the mass: Vas = rho c² Sd² Cms, Cms = 1 / (ws² Mms).
  ASSERT_NO_FATAL_FAILURE(MeasureAndFit(0, false, &TThieleSmallPanel::btnFreeAir));
  panel.edMass->setText(QString::number(AddedGrams));
  panel.edSd->setText(QString::number(SdCm2));
  ASSERT_NO_FATAL_FAILURE(MeasureAndFit(std::size(Drivers), false, &TThieleSmallPanel::btnAddedMass));
  const double vas = TrueVas();
  // The closed box of the volume typed gives the same Vas and moving mass.
  panel.edVb->setText(QString::number(BoxLitres));
  ASSERT_NO_FATAL_FAILURE(MeasureAndFit(std::size(Drivers) + 1, false, &TThieleSmallPanel::btnClosedBox));
  const TDriverMechanics box = panel.Mechanics();
  ASSERT_TRUE(box.Ok) << box.Failure;
  ASSERT_NO_FATAL_FAILURE(MeasureAndFit(std::size(Drivers), false, &TThieleSmallPanel::btnAddedMass));
  const TDriverMechanics& m = panel.Mechanics();
  ASSERT_TRUE(m.Ok) << m.Failure;
  for (const auto& [how, got] : {std::pair("added mass", m), std::pair("closed box", box)}) {
    std::printf("by the %s: Vas %.4f l (true %.4f l, %.1e), Mms %.3f g (%.1e)\n", how,
                got.Vas.Value * 1e3, vas * 1e3, Off(got.Vas.Value, vas), got.Mms.Value * 1e3,
                Off(got.Mms.Value, MmsGrams * 1e-3));
    EXPECT_LT(Off(got.Vas.Value, vas), 0.03) << how;
    EXPECT_LT(Off(got.Mms.Value, MmsGrams * 1e-3), 0.03) << how;
  }
  const std::string shown = panel.memTs->toPlainText().toStdString();
  EXPECT_NE(shown.find("Vas= "), std::string::npos) << shown;
  // The result goes into the header of the exported ZMA file, in ASCII.
  const auto zma = Scratch.Dir / "speaker.zma";
  ASSERT_EQ((*W)->ExportBar->ExportTo(zma, TExportFormat::Zma), "");
  const std::string text = exportcheck::ReadAll(zma.string());
  EXPECT_NE(text.find("* T/S fs= "), std::string::npos) << text.substr(0, 600);
  EXPECT_NE(text.find("* T/S Vas= "), std::string::npos);
  exportcheck::ParseLayout(text, 3, ' ');
  // The guide's pictures: the loudspeaker page with this result, and its curve.
  if (const char* dir = std::getenv("SORVANE_SCREENSHOTS")) {
    TForm1& f = *W->Form;
    f.resize(900, 660);
    f.PageControl1->setCurrentWidget(f.tsLoudspeaker);
    EXPECT_TRUE(f.grab().save(QString(dir) + "/Sorvane-loudspeaker.png"));
    f.PageControl1->setCurrentWidget(f.tsProcessing);
    f.cbModPh->setChecked(true);
    f.cbLogF->setChecked(true);
    EXPECT_TRUE(f.grab().save(QString(dir) + "/Sorvane-loudspeaker-curve.png"));
  }
}

// With the first component box a loudspeaker, the tour ends with its "ts:" line in full
// precision and a ZMA file beside the window's other files.
TEST_F(Loudspeaker, TheTourPrintsTheParametersAndWritesTheZmaFile) {
  const auto parsed = vmbox::ParseCircuits(Drivers[0].Circuit());
  ASSERT_EQ(parsed.Error, "");
  uitest::App();
  vmbox::Reinitialise(parsed.Boxes, vmbox::TSpeed::Fast);
  std::ostringstream out;
  EXPECT_EQ(RunTour(out, Scratch.Files()), 0) << out.str();
  const std::string text = out.str();
  const size_t at = text.find("\nts: Re=");
  ASSERT_NE(at, std::string::npos) << text;
  double re = 0, fs = 0, qms = 0, qes = 0, qts = 0, le = 0;
  ASSERT_EQ(std::sscanf(text.c_str() + at, "\nts: Re=%lf fs=%lf Qms=%lf Qes=%lf Qts=%lf Le=%lf", &re, &fs,
                        &qms, &qes, &qts, &le), 6);
  EXPECT_LT(Off(fs, Drivers[0].Fs), 0.005);
  EXPECT_LT(Off(qts, Drivers[0].Qts()), 0.02);
  const auto zma = Scratch.Dir / "Sorvane.zma";
  ASSERT_TRUE(std::filesystem::exists(zma)) << text;
  const exportcheck::TLayout layout = exportcheck::ParseLayout(exportcheck::ReadAll(zma.string()), 3, ' ');
  ASSERT_FALSE(layout.Rows.empty());
  // At least 24 points in every octave from 20 Hz up (the export's 48 per octave).
  for (double lo = 20; lo * 2 <= 2000; lo *= 2) {
    int points = 0;
    for (const auto& row : layout.Rows) points += row[0] >= lo && row[0] < 2 * lo;
    EXPECT_GE(points, 24) << "octave from " << lo << " Hz";
  }
}

} // namespace
} // namespace sorvane
