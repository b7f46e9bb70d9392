#include "sorvane/ui/uResultsFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

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
  errno = 0;
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
  if (!out) return ErrorText(file, errno ? errno : EIO);
  for (const TResultPoint& p : points) {
    const std::string line = ResultLine(p) + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), out.get()) != line.size())
      return ErrorText(file, errno ? errno : EIO);
  }
  if (std::fflush(out.get()) != 0) return ErrorText(file, errno ? errno : EIO);
  if (std::fclose(out.release()) != 0) return ErrorText(file, errno ? errno : EIO);
  return {};
}

} // namespace sorvane
