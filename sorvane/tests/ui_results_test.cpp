// The results file's number format and its writing.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "platform/tests/full_disk.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uResultsFile.h"

namespace sorvane {
namespace {

TEST(ResultsFile, NumberFormat) {
  const struct { double v; const char* text; } cases[] = {
      {440, " 4.40000000000000E+0002"},
      {-0.001, "-1.00000000000000E-0003"},
      {0, " 0.00000000000000E+0000"},
      {-0.0, " 0.00000000000000E+0000"},
      {1, " 1.00000000000000E+0000"},
      {9.999999999999999e99, " 1.00000000000000E+0100"},
      {-1.5e-300, "-1.50000000000000E-0300"},
      {23.4375, " 2.34375000000000E+0001"},
      {std::numeric_limits<double>::quiet_NaN(), "                    NAN"},
      {-std::numeric_limits<double>::infinity(), "                   -INF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatResultNumber(c.v), c.text) << c.v;
    EXPECT_EQ(FormatResultNumber(c.v).size(), 23u);
  }
  EXPECT_EQ(ResultLine({440, -1, 2}), " 4.40000000000000E+0002 -1.00000000000000E+0000  2.00000000000000E+0000");
  EXPECT_EQ(ResultLine({1e5, 3.3, -125.6}).size(), 71u);
}

TEST(ResultsFile, WritesLinesAndReportsFailures) {
  uitest::TScratch scratch;
  const auto file = scratch.Dir / "r.txt";
  ASSERT_EQ(SaveResults(file, {{1, 2, 3}, {4, 5, 6}}), "");
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, ResultLine({1, 2, 3}) + "\r\n" + ResultLine({4, 5, 6}) + "\r\n");
  ASSERT_EQ(SaveResults(file, {}), "");
  EXPECT_EQ(std::filesystem::file_size(file), 0u);

  const std::string error = SaveResults(scratch.Dir / "missing" / "r.txt", {{1, 2, 3}});
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_NE(SaveResults(scratch.Dir, {}).find("Is a directory"), std::string::npos);
}

// A full disk (files limited to 1000 bytes; the limit's signal ignored, so writes fail with EFBIG)
// leaves the previous results as they were, and no temporary file beside them.
TEST(ResultsFile, FullDiskKeepsThePreviousFile) {
  uitest::TScratch scratch;
  const auto file = scratch.Dir / "r.txt";
  const std::vector<TResultPoint> curve(100, {440, 1.5, -2.5});
  ASSERT_EQ(SaveResults(file, curve), "");
  std::ifstream in(file, std::ios::binary);
  const std::string before((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(before.size(), 100u * 73);

  std::string error;
  {
    const testfiles::TFullDisk full(1000);
    error = SaveResults(file, std::vector<TResultPoint>(200, {880, 3, 4}));
  }

  EXPECT_EQ(error, "Can not save the results to " + file.string() + ": File too large");
  std::ifstream again(file, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.Dir)) entries += entry.exists();
  EXPECT_EQ(entries, 1u);
}

} // namespace
} // namespace sorvane
