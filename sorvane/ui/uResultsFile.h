#pragma once
// The results file: one line per drawn point, frequency and the two values, each number in a
// 23-character scientific form (" 4.40000000000000E+0002"), separated by one space and ended by
// CR LF. Pure formatting plus the one routine that writes the file.

#include <filesystem>
#include <string>
#include <vector>

namespace sorvane {

struct TResultPoint {
  double X = 0, Y1 = 0, Y2 = 0;
};

// Sign position, one digit, point, 14 digits, "E", exponent sign, four exponent digits. A value
// that is not a finite number is written as "NAN", "INF" or "-INF", right-aligned in the field,
// so that every line keeps its width.
std::string FormatResultNumber(double v);

// The three numbers with one space between them (71 characters), without the line end.
std::string ResultLine(const TResultPoint& p);

// Creates or replaces the file with one line per point, atomically: when writing fails the old
// file stays as it was. Empty on success; otherwise "Can not save the results to <file>: " and
// the system's error text.
std::string SaveResults(const std::filesystem::path& file, const std::vector<TResultPoint>& points);

} // namespace sorvane
