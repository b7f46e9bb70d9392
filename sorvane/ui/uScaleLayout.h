#pragma once
// Where the range selector's ruler puts its labelled and minor ticks: the decade of the top of
// the range, the label step that fits the room, the minor step and the anchor tick. Pure
// computation, apart from the painting, so that the rule can be checked on its own.

#include <string>
#include <vector>

namespace sorvane {

// The ruler's geometry: pixel X(v) = LeftLimit + (v - min) * Usable / (max - min).
struct TScaleGeometry {
  int ImageWidth = 0;
  int LeftLimit = 0;
  int Usable = 0;
  int DecadeTextWidth = 0;     // pixel width of the text of the decade R
  int WideDecadeTextWidth = 0; // the same with one more "0": room for the last label
};

struct TScaleLayout {
  double Decade = 0; // R: the power of ten of max at two significant digits
  double Step = 0;   // between labelled ticks
  double Minor = 0;  // between minor ticks
  double Anchor = 0; // the tick from which both kinds count outwards
  std::vector<double> Labels;     // values of the labelled ticks, in drawing order
  std::vector<double> MinorTicks; // values of the minor ticks, in drawing order
};

// A value's text on the ruler: no decimals.
std::string ScaleText(double v);

// 22000 gives 10000, 9960 gives 10000, 9940 gives 1000.
double ScaleDecade(double max);

// The multiplier sequence 2, 5, 10, 20, 50, 100, ... for i = 0, 1, 2, ...
double ScaleMultiplier(int i);

// X(v) to the nearest pixel.
int ScaleX(double v, double min, double max, const TScaleGeometry& g);

// The whole layout of the ruler of min .. max (min < max).
TScaleLayout LayoutScale(double min, double max, const TScaleGeometry& g);

// The ruler of a logarithmic range (0 < min < max): X(v) = LeftLimit + lg(v / min) * Usable /
// lg(max / min). Labels on the decades, and on 2 and 5 times them where a decade is wide
// enough for three labels; minor ticks on every whole multiple of each decade.
int LogScaleX(double v, double min, double max, const TScaleGeometry& g);
TScaleLayout LayoutLogScale(double min, double max, const TScaleGeometry& g);

} // namespace sorvane
