#include "bench/accuracy/uStudyCases.h"

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

TBoxConfig NoiseOnlyBox(const TCase& c) {
  TBoxConfig box = NoiselessBox(c);
  box.Card.NoiseOn = true;
  return box;
}

TBoxConfig RealisticBox(const TCase& c) {
  TBoxConfig box;
  box.Name = c.Name;
  box.Circuit = c.Circuit;
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
