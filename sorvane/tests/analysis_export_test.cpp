// The resolutions offered, the thinning to points per octave, and the ZMA, FRD and CSV files.

#include <gtest/gtest.h>
#include <clocale>
#include <filesystem>
#include <unistd.h>

#include "sorvane/analysis/uCurveExport.h"
#include "sorvane/analysis/uLogThinning.h"
#include "sorvane/tests/export_checks.h"
#include "sorvane/ui/uResolution.h"

namespace sorvane {
namespace {

TEST(Resolution, BlockLengthsPerRateAndFactor) {
  const struct { int rate, factor, length; } cases[] = {
      {48000, 1, 2048},  {96000, 1, 4096},   {192000, 1, 8192}, {48000, 32, 65536},
      {48000, 3, 4096},  {48000, 64, 65536}, {96000, 32, 65536}, {192000, 8, 65536},
      {48000, 0, 2048},  {44100, 32, 65536}};
  for (const auto& c : cases)
    EXPECT_EQ(BlockLengthOf(c.rate, c.factor), c.length) << c.rate << " x" << c.factor;
  EXPECT_EQ(ResolutionFactors(48000), (std::vector<int>{1, 2, 4, 8, 16, 32}));
  EXPECT_EQ(ResolutionFactors(192000), (std::vector<int>{1, 2, 4, 8}));
  EXPECT_EQ(ResolutionText(48000, 1), "2048 points, 23.4 Hz");
  EXPECT_EQ(ResolutionText(48000, 32), "65536 points, 0.732 Hz");
}

std::vector<TCurvePoint> Points(std::initializer_list<TCurvePoint> list) { return list; }

TEST(Thinning, CellsWeightsAndGaps) {
  const double nan = std::nan("");
  const struct {
    const char* name;
    int perOctave;
    std::vector<TCurvePoint> in, out;
  } cases[] = {
      // Cells of one octave: edges at 64, 128, 256 Hz; an edge belongs to the cell above it.
      {"edges", 1, Points({{100, {1, 0}, 0}, {127.99, {3, 0}, 0}, {128, {10, 2}, 0}, {255, {20, 4}, 0}}),
       Points({{113.995, {2, 0}, 0}, {191.5, {15, 3}, 0}})},
      // Inverse-variance weights when every bin has a variance; the mean's variance follows.
      {"weighted", 1, Points({{100, {0, 0}, 1}, {120, {4, -4}, 3}}), Points({{105, {1, -1}, 0.75}})},
      // One bin without a variance: the plain mean, its variance unknown.
      {"unweighted", 1, Points({{100, {0, 0}, 1}, {120, {4, -4}, 0}}), Points({{110, {2, -2}, 0}})},
      // Far apart bins give their own points and nothing in between; unusable ones are dropped.
      {"gaps", 48, Points({{1000, {5, 0}, 2}, {nan, {1, 1}, 1}, {100, {1, 1}, 1}, {200, {nan, 0}, 1}, {-5, {1, 0}, 1}}),
       Points({{100, {1, 1}, 1}, {1000, {5, 0}, 2}})},
      // 0 keeps every bin, in order.
      {"all", 0, Points({{300, {3, 0}, 0}, {100, {1, 0}, 0}, {200, {2, 0}, 0}}),
       Points({{100, {1, 0}, 0}, {200, {2, 0}, 0}, {300, {3, 0}, 0}})},
  };
  for (const auto& c : cases) {
    const std::vector<TCurvePoint> got = ThinPerOctave(c.in, c.perOctave);
    ASSERT_EQ(got.size(), c.out.size()) << c.name;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i].F, c.out[i].F, 1e-9) << c.name << " " << i;
      EXPECT_NEAR(got[i].Value.Re, c.out[i].Value.Re, 1e-12) << c.name << " " << i;
      EXPECT_NEAR(got[i].Value.Im, c.out[i].Value.Im, 1e-12) << c.name << " " << i;
      EXPECT_NEAR(got[i].Variance, c.out[i].Variance, 1e-12) << c.name << " " << i;
    }
  }
}

// The bins of a 65536-point block at 48000 Hz from bin 1 to 20 kHz.
std::vector<TCurvePoint> FineGrid() {
  std::vector<TCurvePoint> grid;
  const double df = 48000.0 / 65536;
  for (int k = 1; k * df <= 20000; ++k) grid.push_back({k * df, {1 + k * 1e-4, -1}, 0.01});
  return grid;
}

TEST(Thinning, FortyEightPerOctaveOnTheFineGrid) {
  const std::vector<TCurvePoint> thinned = ThinPerOctave(FineGrid(), 48);
  exportcheck::TLayout layout;
  for (const TCurvePoint& p : thinned) layout.Rows.push_back({p.F});
  EXPECT_GE(exportcheck::FewestPerOctave(layout, 20), 24);
  for (size_t i = 1; i < thinned.size(); ++i) {
    ASSERT_LT(CellOf(thinned[i - 1].F, 48), CellOf(thinned[i].F, 48)) << "one point per cell";
  }
  // Above the point where cells are wider than bins, each cell is filled: 48 per octave.
  int top = 0;
  for (const TCurvePoint& p : thinned) top += p.F >= 5000 && p.F < 10000;
  EXPECT_EQ(top, 48);
}

struct ExportFiles : testing::Test {
  std::filesystem::path Dir;
  void SetUp() override {
    char pattern[] = "/tmp/sorvane_export_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
};

const std::vector<TCurvePoint> Curve{
    {20, {3, 4}, 0},          {20, {9, 9}, 0},          // a repeated frequency: the first stays
    {1234.5678, {0.5, 0}, 0}, {1500, {std::nan(""), 0}, 0},
    {2000, {0, 0}, 0},        {1000, {1, 1}, 0},        // zero (no dB) and out of order
    {3000, {0, -2}, 0}};
const TExportHeader Header{"2024-05-01T10:00:00", 10, {"Fitted: Le= 0.5 \xC2\xB5H\r\nmore"}};

TEST_F(ExportFiles, LayoutsOfZmaFrdAndCsv) {
  // A locale with a decimal comma, where the machine has one, must not change the files.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string kept = previous ? previous : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const struct {
    TExportFormat format;
    TCurveKind kind;
    size_t columns, comments;
    char separator;
    std::vector<std::vector<double>> rows;
  } cases[] = {
      {TExportFormat::Zma, TCurveKind::Impedance, 3, 4, ' ',
       {{20, 5, 53.13010}, {1234.568, 0.5, 0}, {2000, 0, 0}, {3000, 2, -90}}},
      {TExportFormat::Frd, TCurveKind::Transfer, 3, 3, ' ',
       {{20, 13.97940, 53.13010}, {1234.568, -6.020600, 0}, {3000, 6.020600, -90}}},
      {TExportFormat::Csv, TCurveKind::Impedance, 5, 1, ',',
       {{20, 5, 53.13010, 3, 4}, {1234.568, 0.5, 0, 0.5, 0}, {2000, 0, 0, 0, 0}, {3000, 2, -90, 0, -2}}},
      {TExportFormat::Csv, TCurveKind::Transfer, 5, 1, ',',
       {{20, 13.97940, 53.13010, 3, 4}, {1234.568, -6.020600, 0, 0.5, 0}, {3000, 6.020600, -90, 0, -2}}},
  };
  for (const auto& c : cases) {
    const std::filesystem::path file = Dir / "curve.txt";
    ASSERT_EQ(ExportCurve(file, Curve, c.kind, c.format, Header), "");
    const exportcheck::TLayout layout = exportcheck::ParseLayout(
        exportcheck::ReadAll(file.string()), c.columns, c.separator, c.format == TExportFormat::Csv);
    ASSERT_EQ(layout.Comments.size(), c.comments) << static_cast<int>(c.format);
    ASSERT_EQ(layout.Rows.size(), c.rows.size()) << static_cast<int>(c.format);
    for (size_t i = 0; i < c.rows.size(); ++i)
      for (size_t j = 0; j < c.columns; ++j)
        EXPECT_NEAR(layout.Rows[i][j], c.rows[i][j], 1e-6 * (1 + std::fabs(c.rows[i][j])))
            << static_cast<int>(c.format) << " row " << i << " column " << j;
  }
  std::setlocale(LC_NUMERIC, kept.c_str());
  const std::string zma = ExportText(Curve, TCurveKind::Impedance, TExportFormat::Zma, Header);
  EXPECT_EQ(zma.substr(0, zma.find("20 ")),
            "* Sorvane impedance curve\n* Date: 2024-05-01T10:00:00\n* Rref: 10 Ohm\n"
            "* Fitted: Le= 0.5 uH  more\n");
  EXPECT_NE(zma.find("\n1234.568 0.5 0\n"), std::string::npos) << "seven significant digits";
}

TEST_F(ExportFiles, FormatsByExtensionAndAFailedWrite) {
  const struct { const char* name; bool known; TExportFormat format; } cases[] = {
      {"a.zma", true, TExportFormat::Zma}, {"b.FRD", true, TExportFormat::Frd},
      {"c.Csv", true, TExportFormat::Csv}, {"d.txt", false, TExportFormat::Zma},
      {"zma", false, TExportFormat::Zma}};
  for (const auto& c : cases) {
    TExportFormat format = TExportFormat::Zma;
    EXPECT_EQ(FormatOfPath(c.name, format), c.known) << c.name;
    if (c.known) {
      EXPECT_EQ(format, c.format) << c.name;
    }
  }
  const std::string error =
      ExportCurve(Dir / "missing" / "x.zma", Curve, TCurveKind::Impedance, TExportFormat::Zma, Header);
  EXPECT_NE(error.find("Can not create"), std::string::npos) << error;
}

} // namespace
} // namespace sorvane
