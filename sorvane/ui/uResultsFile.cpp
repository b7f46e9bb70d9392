#include "sorvane/ui/uResultsFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/files.h"

namespace sorvane {
namespace {

constexpr size_t FieldWidth = 23;

std::string ErrorText(const std::filesystem::path& file, int error) {
  return "Can not save the results to " + file.string() + ": " + std::strerror(error);
}

} // namespace

std::string FormatResultNumber(double v) {
  if (!std::isfinite(v)) {
    const std::string word = std::isnan(v) ? "NAN" : v < 0 ? "-INF" : "INF";
    return std::string(FieldWidth - word.size(), ' ') + word;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.14E", std::fabs(v));
  const char* e = std::strchr(text, 'E');
  const int exponent = std::atoi(e + 1);
  char field[64];
  std::snprintf(field, sizeof field, "%c%.*s%c%04d", std::signbit(v) && v != 0 ? '-' : ' ',
                static_cast<int>(e - text + 1), text, exponent < 0 ? '-' : '+', std::abs(exponent));
  return field;
}

std::string ResultLine(const TResultPoint& p) {
  return FormatResultNumber(p.X) + " " + FormatResultNumber(p.Y1) + " " + FormatResultNumber(p.Y2);
}

std::string SaveResults(const std::filesystem::path& file, const std::vector<TResultPoint>& points) {
  std::string text;
  text.reserve(points.size() * (FieldWidth * 3 + 4));
  for (const TResultPoint& p : points) text += ResultLine(p) + "\r\n";
  // Replaced as a whole: a full disk or a crash leaves the previous results, never a part.
  const std::optional<platform::TWriteFailure> failure = platform::ReplaceFile(file, text);
  if (failure) return ErrorText(file, failure->Error ? failure->Error : EIO);
  return {};
}

} // namespace sorvane
