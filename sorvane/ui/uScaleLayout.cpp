#include "sorvane/ui/uScaleLayout.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sorvane {
namespace {

// No ruler needs more ticks than pixels; the bound keeps a degenerate range from looping.
constexpr int MaxTicks = 10000;

double Count(double span, double step) { return std::trunc(span / step); }

// The shortest decimal text of a step, as the minor-step rule reads its first digit.
std::string ShortestText(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

double LabelStep(double span, double decade, int roomFor) {
  if (roomFor > 2 * Count(span, decade)) {
    // Labels every decade would fill less than half the room: refine until the next finer
    // step but one would overfill it.
    double step = decade;
    for (int i = 0; i < 60; ++i) {
      step = decade / ScaleMultiplier(i);
      if (std::trunc(span * ScaleMultiplier(i + 2) / decade) > roomFor) break;
    }
    return step;
  }
  double step = decade;
  for (int i = 0; i < 60 && Count(span, step) > roomFor; ++i) step = ScaleMultiplier(i) * decade;
  return step;
}

double Anchor(double min, double max, double decade, double step) {
  if (min <= decade) return decade;
  if (std::trunc(max / decade) > std::trunc(min / decade)) return std::trunc(max / decade) * decade;
  return std::trunc(max / step) * step;
}

} // namespace

std::string ScaleText(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%0.0f", v);
  return std::strcmp(text, "-0") == 0 ? "0" : text;
}

double ScaleDecade(double max) {
  // Two significant digits in exponent form; the decade is 10 to that exponent.
  char text[40];
  std::snprintf(text, sizeof text, "%.1E", max);
  const char* e = std::strchr(text, 'E');
  return e ? std::pow(10.0, std::atoi(e + 1)) : 1.0;
}

double ScaleMultiplier(int i) {
  static constexpr double Base[3] = {2, 5, 10};
  return Base[i % 3] * std::pow(10.0, i / 3);
}

int ScaleX(double v, double min, double max, const TScaleGeometry& g) {
  return static_cast<int>(std::lround(g.LeftLimit + (v - min) * g.Usable / (max - min)));
}

TScaleLayout LayoutScale(double min, double max, const TScaleGeometry& g) {
  TScaleLayout s;
  const double span = max - min;
  if (!(span > 0) || g.DecadeTextWidth <= 0) return s;
  s.Decade = ScaleDecade(max);
  const int roomFor = g.ImageWidth / g.DecadeTextWidth;
  s.Step = LabelStep(span, s.Decade, roomFor);
  s.Minor = ShortestText(s.Step)[0] == '2' ? s.Step / 2 : s.Step / 5;
  s.Anchor = Anchor(min, max, s.Decade, s.Step);
  const auto x = [&](double v) { return ScaleX(v, min, max, g); };

  if (x(s.Anchor) + g.WideDecadeTextWidth < g.ImageWidth) s.Labels.push_back(s.Anchor);
  for (int i = 1; i < MaxTicks && x(s.Anchor - i * s.Step) > 0; ++i)
    s.Labels.push_back(s.Anchor - i * s.Step);
  for (int i = 1; i < MaxTicks && x(s.Anchor + i * s.Step) < g.ImageWidth - g.WideDecadeTextWidth; ++i)
    s.Labels.push_back(s.Anchor + i * s.Step);

  for (int i = 1; i < MaxTicks && x(s.Anchor - i * s.Minor) > 0; ++i)
    s.MinorTicks.push_back(s.Anchor - i * s.Minor);
  for (int i = 1; i < MaxTicks && x(s.Anchor + i * s.Minor) < g.ImageWidth; ++i)
    s.MinorTicks.push_back(s.Anchor + i * s.Minor);
  return s;
}

int LogScaleX(double v, double min, double max, const TScaleGeometry& g) {
  return g.LeftLimit + static_cast<int>(std::lround(std::log10(v / min) * g.Usable / std::log10(max / min)));
}

TScaleLayout LayoutLogScale(double min, double max, const TScaleGeometry& g) {
  TScaleLayout layout;
  if (!(min > 0) || !(max > min)) return layout;
  const double decadePx = g.Usable / std::log10(max / min);
  // Three labels of the widest text in a decade (1, 2 and 5 sit at 0, 30 and 70 % of it).
  const bool fine = decadePx * 0.3 > g.WideDecadeTextWidth + 4;
  for (double decade = std::pow(10.0, std::floor(std::log10(min))); decade <= max; decade *= 10) {
    for (int m = 1; m <= 9; ++m) {
      const double v = m * decade;
      if (v < min * (1 - 1e-9) || v > max * (1 + 1e-9)) continue;
      layout.MinorTicks.push_back(v);
      const bool labelled = m == 1 || (fine && (m == 2 || m == 5));
      if (labelled && LogScaleX(v, min, max, g) + g.DecadeTextWidth < g.ImageWidth) layout.Labels.push_back(v);
    }
  }
  return layout;
}

} // namespace sorvane
