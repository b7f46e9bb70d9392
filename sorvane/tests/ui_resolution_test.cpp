// The fine resolution end to end on the virtual card: a block of 65536 points gives bins of
// fs/65536 and the impedance that the standard block gives; the choice is kept in the settings
// file; and the curve exported from the window is a ZMA file other programs read.

#include <gtest/gtest.h>

#include <complex>

#include "sorvane/tests/export_checks.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uExportBar.h"
#include "sorvane/ui/uResolution.h"
#include "sorvane/ui/ufrSpRange.h"

namespace sorvane {
namespace {

using uitest::TBlockCounter;
using uitest::TWindow;

void ChooseFactor(TForm1& form, int factor) {
  QComboBox* list = form.frWaveSetup1->cbResolution;
  const int item = list->findData(factor);
  ASSERT_GE(item, 0) << "factor " << factor;
  list->setCurrentIndex(item);
  emit list->activated(item);
}

// Measures "Z graph" on box 0 (3.3 Ohm + 1 mH against 10 Ohm) at the factor and returns the
// curve of every bin.
std::vector<TCurvePoint> MeasureAt(TWindow& w, TBlockCounter& blocks, int factor) {
  ChooseFactor(*w.Form, factor);
  UseBox(*w.Form, 0);
  w->SetModeItem(1);
  w->btnStartStop->click();
  EXPECT_TRUE(w->Running());
  EXPECT_TRUE(blocks.WaitFor(2));
  w->btnStartStop->click();
  w->ExportBar->cbPerOctave->setCurrentIndex(w->ExportBar->cbPerOctave->findData(0));
  return w->ExportBar->ThinnedCurve();
}

TEST(FineResolution, LongBlockGivesFineBinsAndTheSameImpedance) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  TBlockCounter blocks(*w.Form);
  TypeRref(*w.Form, "10");
  EXPECT_EQ(w->frWaveSetup1->ResolutionFactor(), 1) << "the standard block by default";
  EXPECT_EQ(w->BlockLen(), 2048);
  uitest::Calibrate(w, blocks);
  w->frSpRange1->SetRange(23, 2000);

  const std::vector<TCurvePoint> coarse = MeasureAt(w, blocks, 1);
  // The chart draws every bin of the standard block, and the long block at the export's
  // 48 points per octave: 23 .. 2000 Hz is 6.4 octaves.
  EXPECT_EQ(static_cast<size_t>(w->ChartData().Points(0).size()), coarse.size());
  w->ExportBar->cbPerOctave->setCurrentIndex(w->ExportBar->cbPerOctave->findData(48));
  const std::vector<TCurvePoint> fine = MeasureAt(w, blocks, 32);
  const auto drawn = static_cast<size_t>(w->ChartData().Points(0).size());
  EXPECT_LE(drawn, 48u * 7);
  EXPECT_GE(drawn, 48u * 6);
  EXPECT_EQ(w->BlockLen(), 65536);
  ASSERT_GT(coarse.size(), 50u);
  ASSERT_GT(fine.size(), 30 * coarse.size());
  const double df = 48000.0 / 65536;
  for (size_t i = 1; i < fine.size(); ++i) ASSERT_NEAR(fine[i].F - fine[i - 1].F, df, 1e-9) << i;
  // Every 32nd fine bin lies on a standard one: the two agree there and with the box.
  size_t compared = 0;
  for (const TCurvePoint& c : coarse) {
    const auto k = static_cast<size_t>(std::llround((c.F - fine.front().F) / df));
    if (k >= fine.size()) continue;
    ASSERT_NEAR(fine[k].F, c.F, 1e-6);
    const std::complex<double> zc(c.Value.Re, c.Value.Im), zf(fine[k].Value.Re, fine[k].Value.Im);
    const std::complex<double> truth(3.3, 2 * M_PI * c.F * 1e-3);
    EXPECT_LT(std::abs(zf - zc), 0.01 * std::abs(truth)) << c.F << " Hz";
    EXPECT_LT(std::abs(zf - truth), 0.01 * std::abs(truth)) << c.F << " Hz";
    ++compared;
  }
  EXPECT_GT(compared, 50u);

  // A calibration made on a finer grid (8192 points) serves as well as the standard one.
  ChooseFactor(*w.Form, 4);
  uitest::Calibrate(w, blocks);
  w->frSpRange1->SetRange(23, 2000);
  const std::vector<TCurvePoint> recalibrated = MeasureAt(w, blocks, 32);
  ASSERT_EQ(recalibrated.size(), fine.size());
  for (size_t k = 0; k < fine.size(); k += 97) {
    const std::complex<double> z(recalibrated[k].Value.Re, recalibrated[k].Value.Im);
    const std::complex<double> truth(3.3, 2 * M_PI * fine[k].F * 1e-3);
    EXPECT_LT(std::abs(z - truth), 0.01 * std::abs(truth)) << fine[k].F << " Hz";
  }

  // Exported at 48 points per octave: a ZMA file with at least 24 points in every octave.
  w->ExportBar->cbPerOctave->setCurrentIndex(w->ExportBar->cbPerOctave->findData(48));
  w->ExportBar->ExtraLines = {"fs= 45 Hz"};
  const std::filesystem::path file = scratch.Dir / "woofer.zma";
  ASSERT_EQ(w->ExportBar->ExportTo(file, TExportFormat::Zma), "");
  const exportcheck::TLayout layout =
      exportcheck::ParseLayout(exportcheck::ReadAll(file.string()), 3, ' ');
  ASSERT_GE(layout.Comments.size(), 4u);
  EXPECT_EQ(layout.Comments[0], "* Sorvane impedance curve");
  EXPECT_EQ(layout.Comments[2], "* Rref: 10 Ohm");
  EXPECT_EQ(layout.Comments.back(), "* fs= 45 Hz");
  EXPECT_GE(exportcheck::FewestPerOctave(layout, layout.Rows.front()[0]), 24);
  EXPECT_LT(layout.Rows.size(), fine.size() / 4) << "thinned";
}

TEST(FineResolution, ExportButtonAsksForAFileAndAddsItsExtension) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  TWindow w(scratch.Files());
  QString offered;
  w->ExportBar->OnExportFileName = [&](const QString& filters, QString& filter) {
    offered = filters;
    filter = "CSV (*.csv)";
    return QString::fromStdString((scratch.Dir / "curve").string());
  };
  w->ExportBar->btnExport->click();
  ASSERT_EQ(w.Messages.size(), 1u) << "nothing measured yet";
  EXPECT_TRUE(offered.isEmpty()) << "no file is asked for without a curve";
  w->ExportBar->TakeCurve({{100, {1, 1}, 0}, {200, {2, 1}, 0}}, TCurveKind::Impedance, 10);
  w->ExportBar->btnExport->click();
  EXPECT_TRUE(offered.startsWith("Impedance, ZMA")) << offered.toStdString();
  const exportcheck::TLayout csv =
      exportcheck::ParseLayout(exportcheck::ReadAll((scratch.Dir / "curve.csv").string()), 5, ',', true);
  EXPECT_EQ(csv.Rows.size(), 2u);
  EXPECT_EQ(w.Messages.size(), 1u);
}

TEST(FineResolution, SettingsKeepTheFactorAndOldFilesTheStandardBlock) {
  uitest::App();
  uitest::TScratch scratch;
  const struct { const char* name; std::string file; int factor, block; } cases[] = {
      {"old file", "[WaveSetup]\nSampling=48000\nSwap=0\n", 1, 2048},
      {"stored", "[WaveSetup]\nSampling=48000\nResolution=16\n", 16, 32768},
      {"beyond the rate's longest", "[WaveSetup]\nSampling=96000\nResolution=32\n", 16, 65536},
      {"not a factor", "[WaveSetup]\nSampling=48000\nResolution=5\n", 4, 8192},
      {"not a number", "[WaveSetup]\nSampling=48000\nResolution=fine\n", 1, 2048},
  };
  for (const auto& c : cases) {
    {
      std::ofstream(scratch.Files().Settings, std::ios::trunc) << c.file;
      TWindow w(scratch.Files());
      EXPECT_EQ(w->frWaveSetup1->ResolutionFactor(), c.factor) << c.name;
      EXPECT_EQ(w->BlockLen(), c.block) << c.name;
      w->close();
    }
    const platform::TIniFile saved(scratch.Files().Settings);
    EXPECT_EQ(saved.ReadInteger("WaveSetup", "Resolution", -1), c.factor) << c.name;
  }
  // A change of rate keeps the bin width where the rate offers it.
  TWindow w(scratch.Files());
  ChooseFactor(*w.Form, 8);
  QComboBox* rates = w->frWaveSetup1->cbSampling;
  rates->setCurrentIndex(rates->findData(192000));
  emit rates->activated(rates->currentIndex());
  EXPECT_EQ(w->frWaveSetup1->ResolutionFactor(), 8);
  EXPECT_EQ(w->BlockLen(), 65536);
}

} // namespace
} // namespace sorvane
