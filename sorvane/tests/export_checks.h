#pragma once
// Checks of an exported curve's layout, shared by the export and the window tests: comment lines
// first, then rows of numeric columns with strictly ascending frequencies, all of it ASCII.

#include <gtest/gtest.h>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace exportcheck {

struct TLayout {
  std::vector<std::string> Comments; // the '*' lines, or the CSV header line
  std::vector<std::vector<double>> Rows;
};

inline std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Parses `text`; every failure of the layout is reported as a test failure.
inline TLayout ParseLayout(const std::string& text, size_t columns, char separator,
                           bool csvHeader = false) {
  TLayout layout;
  for (const unsigned char c : text) {
    if (c >= 0x80 || (c < 0x20 && c != '\n')) {
      ADD_FAILURE() << "not printable ASCII: byte " << static_cast<int>(c);
      return layout;
    }
  }
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const bool header = csvHeader ? layout.Comments.empty() && layout.Rows.empty()
                                  : !line.empty() && line[0] == '*';
    if (header) {
      EXPECT_TRUE(layout.Rows.empty()) << "a comment after the data: " << line;
      layout.Comments.push_back(line);
      continue;
    }
    std::vector<double> row;
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end) {
      double x = 0;
      const auto [next, ec] = std::from_chars(p, end, x);
      if (ec != std::errc() || !std::isfinite(x)) {
        ADD_FAILURE() << "not a number in: " << line;
        return layout;
      }
      row.push_back(x);
      p = next;
      if (p < end && *p == separator) ++p;
    }
    EXPECT_EQ(row.size(), columns) << line;
    if (!layout.Rows.empty() && !row.empty()) {
      EXPECT_GT(row[0], layout.Rows.back()[0]) << "not strictly ascending: " << line;
    }
    layout.Rows.push_back(row);
  }
  return layout;
}

// The fewest rows in any whole octave from `fromHz` up to the last frequency.
inline int FewestPerOctave(const TLayout& layout, double fromHz) {
  if (layout.Rows.empty()) return 0;
  int fewest = INT32_MAX;
  const double top = layout.Rows.back()[0];
  for (double lo = fromHz; lo * 2 <= top; lo *= 2) {
    int n = 0;
    for (const auto& row : layout.Rows) n += row[0] >= lo && row[0] < 2 * lo;
    fewest = std::min(fewest, n);
  }
  return fewest;
}

} // namespace exportcheck
