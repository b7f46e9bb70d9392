#include "sorvane/ui/uResultsFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/files.h"
#include "platform/gui/uChartHold.h"

namespace sorvane {
namespace {

constexpr size_t FieldWidth = 23;

std::string ErrorText(const std::filesystem::path& file, int error) {
  return "Can not save the results to " + file.string() + ": " + std::strerror(error);
}

} // namespace

// The same form as the held curves' files, so that each program reads the other's.
std::string FormatResultNumber(double v) { return platform::FormatResultNumber(v); }

std::string ResultLine(const TResultPoint& p) {
  return FormatResultNumber(p.X) + " " + FormatResultNumber(p.Y1) + " " + FormatResultNumber(p.Y2);
}

std::string SaveResults(const std::filesystem::path& file, const std::vector<TResultPoint>& points) {
  std::string text;
  text.reserve(points.size() * (FieldWidth * 3 + 4));
  for (const TResultPoint& p : points) text += ResultLine(p) + "\r\n";
  // Replaced as a whole: a full disk or a crash leaves the previous results, never a part.
  const std::optional<platform::TWriteFailure> failure = platform::ReplaceFile(file, text);
  if (failure && failure->Refused && failure->Error != EISDIR)
    return "Can not save the results to " + file.string() + ": " + failure->Step + ".";
  if (failure) return ErrorText(file, failure->Error ? failure->Error : EIO);
  return {};
}

} // namespace sorvane
