#include "platform/fixture.h"

#include <cmath>
#include <cstdio>

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
  const auto fits = [points](const std::vector<TFixtureComplex>& v) {
    return v.empty() || v.size() == points;
  };
  return fits(Short) && fits(Open) && fits(Load);
}

TFixtureComplex TFixture::SeriesImpedance(std::size_t i) const {
  return i < Short.size() ? Short[i] : TFixtureComplex{};
}

TFixtureComplex TFixture::ParallelAdmittance(std::size_t i) const {
  if (i >= Open.size()) return {};
  const TFixtureComplex yo = Open[i] / (1.0L - SeriesImpedance(i) * Open[i]);
  return IsFinite(yo) ? yo : Open[i];
}

TFixtureComplex TFixture::Compensate(std::size_t i, TFixtureComplex am, long double rref) const {
  return CompensatedAdmittance(am, SeriesImpedance(i), ParallelAdmittance(i)) / LoadFactor(i, rref);
}

TFixtureComplex TFixture::LoadFactor(std::size_t i, long double rref) const {
  if (!LoadAppliesTo(rref) || i >= Load.size()) return 1;
  return Load[i];
}

void TFixture::Keep(TFixtureStep step, const TCalibrationPlace& place, uint32_t frames,
                    const std::vector<TFixtureComplex>& admittances) {
  const bool samePlace = Place == place && Frames == frames;
  if (!samePlace) {
    Short.clear();
    Open.clear();
  }
  Load.clear();
  Place = place;
  Frames = frames;
  if (step == TFixtureStep::Load) return; // the load keeps its standard: see KeepLoad
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

void TFixture::KeepLoad(const TCalibrationPlace& place, uint32_t frames,
                        const std::vector<TFixtureComplex>& admittances, long double standardOhms,
                        long double rref) {
  const TFixture before = *this;
  Keep(TFixtureStep::Load, place, frames, {});
  if (before.Place == place && before.Frames == frames) {
    Short = before.Short;
    Open = before.Open;
  }
  // F = A / Ax with Ax = 1 / standard; a point that carried nothing keeps a scale of 1.
  for (std::size_t i = 0; i < admittances.size(); ++i) {
    const TFixtureComplex f = Compensate(i, admittances[i]) * standardOhms;
    Load.push_back(IsFinite(f) && f != TFixtureComplex{} ? f : TFixtureComplex(1));
  }
  LoadStandard = standardOhms;
  LoadReference = rref;
}

void SaveFixture(TIniFile& ini, const std::string& section, const TFixture& fixture) {
  ini.WriteBool(section, "Enabled", fixture.Enabled);
  ini.WriteInteger(section, "Frames", static_cast<int>(fixture.Frames));
  SaveCalibrationPlace(ini, section, fixture.Place);
  SavePoints(ini, section, "Short", fixture.Short);
  SavePoints(ini, section, "Open", fixture.Open);
  SavePoints(ini, section, "Load", fixture.Load);
  ini.WriteFloat(section, "LoadStandard", static_cast<double>(fixture.LoadStandard));
  ini.WriteFloat(section, "LoadReference", static_cast<double>(fixture.LoadReference));
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
  fixture.LoadStandard = ini.ReadFloat(section, "LoadStandard", 0);
  fixture.LoadReference = ini.ReadFloat(section, "LoadReference", 0);
  if (fixture.LoadStandard > 0 && fixture.LoadReference > 0)
    fixture.Load = LoadPoints(ini, section, "Load");
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

std::string LoadUnusedWarning(const TFixture& fixture, long double rref) {
  if (!fixture.Enabled || fixture.Load.empty() || fixture.LoadAppliesTo(rref)) return {};
  char text[160];
  std::snprintf(text, sizeof text,
                "The fixture's load step was measured with R ref = %g Ohm and is not used: "
                "run Load again with this R ref.",
                static_cast<double>(fixture.LoadReference));
  return text;
}

} // namespace platform
