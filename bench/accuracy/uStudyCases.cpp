#include "bench/accuracy/uStudyCases.h"

#include <algorithm>
#include <cmath>

namespace study {

double TCase::Value() const {
  return Main == TQuantity::R ? Circuit.R : Main == TQuantity::L ? Circuit.L : Circuit.C;
}

std::vector<TCase> SweepCases() {
  std::vector<TCase> cases;
  for (const double r : {0.1, 1.0, 10.0, 100.0, 1e3, 1e4})
    cases.push_back({Eng(r, "Ohm"), {r, 0, 0, 10, false}, TQuantity::R});
  for (const double l : {1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 0.1, 1.0})
    cases.push_back({Eng(l, "H") + " + 1 Ohm", {1, l, 0, 10, false}, TQuantity::L});
  for (const double c : {1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3})
    cases.push_back({Eng(c, "F") + " + 1 Ohm", {1, 0, c, 10, false}, TQuantity::C});
  return cases;
}

std::vector<TCase> CheckCases() {
  return {{"3.3 Ohm + 1 mH", {3.3, 1e-3, 0, 10, false}, TQuantity::L},
          {"0.2 Ohm + 10 uF", {0.2, 0, 1e-5, 10, false}, TQuantity::C},
          {"47 Ohm", {47, 0, 0, 10, false}, TQuantity::R},
          {"1 Ohm", {1, 0, 0, 10, false}, TQuantity::R},
          {"10 Ohm + 100 mH", {10, 0.1, 0, 10, false}, TQuantity::L},
          {"1 Ohm + 100 nF", {1, 0, 1e-7, 10, false}, TQuantity::C},
          {"1 kOhm", {1e3, 0, 0, 10, false}, TQuantity::R},
          {"10 kOhm", {1e4, 0, 0, 10, false}, TQuantity::R}};
}

double GuideRref(double r, double l, double c, double hz) {
  const double w = 2 * M_PI * hz;
  const double x = w * l - (c > 0 ? 1 / (w * c) : 0);
  const double decade = std::nearbyint(std::log10(std::hypot(r, x)));
  return std::pow(10.0, std::clamp(decade, 0.0, 5.0));
}

double GuideBallast(double rref) { return rref < 10 ? 10 : 0; }

namespace {

TCase WithRref(TCase c, double rref) {
  c.Circuit.Rref = rref;
  c.Ballast = GuideBallast(rref);
  return c;
}

} // namespace

std::vector<TCase> GuideCases() {
  struct TPart { double R, L, C; };
  const TPart coils[] = {{0.05, 10e-6, 0}, {0.4, 220e-6, 0}, {1.5, 2.2e-3, 0},
                         {12, 47e-3, 0},   {40, 0.47, 0},    {60, 1.0, 0}};
  const TPart capacitors[] = {{5, 0, 1e-9},    {0.5, 0, 22e-9},  {0.1, 0, 1e-6},
                              {0.05, 0, 1e-4}, {0.01, 0, 1e-2}};
  std::vector<TCase> cases;
  for (const TPart& p : coils)
    cases.push_back(WithRref({Eng(p.L, "H") + " + " + Eng(p.R, "Ohm"), {p.R, p.L, 0, 10, false},
                              TQuantity::L},
                             GuideRref(p.R, p.L, 0)));
  for (const TPart& p : capacitors)
    cases.push_back(WithRref({Eng(p.C, "F") + " + " + Eng(p.R, "Ohm"), {p.R, 0, p.C, 10, false},
                              TQuantity::C},
                             GuideRref(p.R, 0, p.C)));
  for (const double r : {0.1, 47.0, 1e4, 1e6})
    cases.push_back(WithRref({Eng(r, "Ohm"), {r, 0, 0, 10, false}, TQuantity::R}, GuideRref(r, 0, 0)));
  return cases;
}

std::vector<TCase> WithGuideRref(std::vector<TCase> cases, double hz) {
  for (TCase& c : cases) c = WithRref(c, GuideRref(c.Circuit.R, c.Circuit.L, c.Circuit.C, hz));
  return cases;
}

TBoxConfig NoiseOnlyBox(const TCase& c) {
  TBoxConfig box = NoiselessBox(c);
  box.Card.NoiseOn = true;
  return box;
}

TBoxConfig RealisticBox(const TCase& c) {
  TBoxConfig box;
  box.Name = c.Name;
  box.Circuit = c.Circuit;
  box.Card.SourceImpedance += c.Ballast; // the ballast is in series with the output's own
  return box;
}

TBoxConfig NoiselessBox(const TCase& c) {
  TBoxConfig box = RealisticBox(c);
  box.Card.NoiseOn = false;
  box.Card.Matched = true;
  box.Card.DcOffset[0] = box.Card.DcOffset[1] = 0;
  box.Card.HighPassHz[0] = box.Card.HighPassHz[1] = 0;
  return box;
}

} // namespace study
