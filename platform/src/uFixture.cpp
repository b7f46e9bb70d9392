#include "platform/fixture.h"

#include <cmath>

namespace platform {
namespace {

bool IsFinite(const TFixtureComplex& z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }

void SavePoints(TIniFile& ini, const std::string& section, const std::string& name,
                const std::vector<TFixtureComplex>& points) {
  ini.WriteInteger(section, name + "Points", static_cast<int>(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i) {
    ini.WriteFloat(section, name + "Re" + std::to_string(i), static_cast<double>(points[i].real()));
    ini.WriteFloat(section, name + "Im" + std::to_string(i), static_cast<double>(points[i].imag()));
  }
}

std::vector<TFixtureComplex> LoadPoints(const TIniFile& ini, const std::string& section,
                                        const std::string& name) {
  const int count = ini.ReadInteger(section, name + "Points", 0);
  // More points than any program analyses is a damaged file.
  if (count <= 0 || count > 65536) return {};
  std::vector<TFixtureComplex> points;
  for (int i = 0; i < count; ++i) {
    const double nan = std::nan("");
    const TFixtureComplex z(ini.ReadFloat(section, name + "Re" + std::to_string(i), nan),
                            ini.ReadFloat(section, name + "Im" + std::to_string(i), nan));
    if (!IsFinite(z)) return {};
    points.push_back(z);
  }
  return points;
}

} // namespace

TFixtureComplex CompensatedImpedance(TFixtureComplex zm, TFixtureComplex zs, TFixtureComplex yo) {
  const TFixtureComplex d = zm - zs;
  return d / (1.0L - d * yo);
}

TFixtureComplex CompensatedAdmittance(TFixtureComplex am, TFixtureComplex zs, TFixtureComplex yo) {
  return am / (1.0L - zs * am) - yo;
}

TFixtureComplex CompensationSlope(TFixtureComplex am, TFixtureComplex zs) {
  const TFixtureComplex d = 1.0L - zs * am;
  return 1.0L / (d * d);
}

bool TFixture::AppliesTo(unsigned rate, unsigned frames, std::size_t points) const {
  if (!Measured() || Place.Rate != rate || Frames != frames) return false;
  return (Short.empty() || Short.size() == points) && (Open.empty() || Open.size() == points);
}

TFixtureComplex TFixture::SeriesImpedance(std::size_t i) const {
  return i < Short.size() ? Short[i] : TFixtureComplex{};
}

TFixtureComplex TFixture::ParallelAdmittance(std::size_t i) const {
  if (i >= Open.size()) return {};
  const TFixtureComplex yo = Open[i] / (1.0L - SeriesImpedance(i) * Open[i]);
  return IsFinite(yo) ? yo : Open[i];
}

TFixtureComplex TFixture::Compensate(std::size_t i, TFixtureComplex am) const {
  return CompensatedAdmittance(am, SeriesImpedance(i), ParallelAdmittance(i));
}

void TFixture::Keep(TFixtureStep step, const TCalibrationPlace& place, uint32_t frames,
                    const std::vector<TFixtureComplex>& admittances) {
  const bool samePlace = Place.Input == place.Input && Place.Output == place.Output &&
                         Place.Rate == place.Rate && Frames == frames;
  if (!samePlace) {
    Short.clear();
    Open.clear();
  }
  Place = place;
  Frames = frames;
  if (step == TFixtureStep::Open) {
    Open = admittances;
    return;
  }
  // A point that carried nothing (an admittance of 0) has no series impedance to take out.
  Short.clear();
  for (const TFixtureComplex& a : admittances) {
    const TFixtureComplex z = a == TFixtureComplex{} ? TFixtureComplex{} : 1.0L / a;
    Short.push_back(IsFinite(z) ? z : TFixtureComplex{});
  }
}

void SaveFixture(TIniFile& ini, const std::string& section, const TFixture& fixture) {
  ini.WriteBool(section, "Enabled", fixture.Enabled);
  ini.WriteInteger(section, "Frames", static_cast<int>(fixture.Frames));
  SaveCalibrationPlace(ini, section, fixture.Place);
  SavePoints(ini, section, "Short", fixture.Short);
  SavePoints(ini, section, "Open", fixture.Open);
}

TFixture LoadFixture(const TIniFile& ini, const std::string& section) {
  TFixture fixture;
  fixture.Enabled = ini.ReadBool(section, "Enabled", true);
  fixture.Place = LoadCalibrationPlace(ini, section);
  const int frames = ini.ReadInteger(section, "Frames", 0);
  if (!fixture.Place.Known() || frames <= 0) return fixture;
  fixture.Frames = static_cast<uint32_t>(frames);
  fixture.Short = LoadPoints(ini, section, "Short");
  fixture.Open = LoadPoints(ini, section, "Open");
  return fixture;
}

std::string FixtureUnusedWarning(const TFixture& fixture, const TCalibrationPlace& now,
                                 uint32_t frames, std::size_t points) {
  if (!fixture.Enabled || !fixture.Measured()) return {};
  if (!fixture.AppliesTo(now.Rate, frames, points))
    return "The fixture compensation was measured at " + std::to_string(fixture.Place.Rate) +
           " Hz and is not used: run Open and Short again at " + std::to_string(now.Rate) + " Hz.";
  if (fixture.Place.Input != now.Input || fixture.Place.Output != now.Output)
    return "The fixture compensation was measured on another card: run Open and Short again "
           "for exact readings.";
  return {};
}

} // namespace platform
