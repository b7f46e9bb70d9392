#pragma once
// Thinning a curve of many bins to a fixed number of points per octave: the frequency axis is cut
// into cells whose edges lie at 2^(i/perOctave) Hz, and each cell that holds bins gives one
// point, the mean of its bins (frequency and complex value), weighted by the inverse of their
// variances when every bin of the cell has one. A cell without a bin gives no point, so the
// result never holds a value that was not measured nearby. Pure computation.

#include <vector>

#include "sorvane/numeric/uCom.h"

namespace sorvane {

// One bin of a measured curve. A variance that is not a positive finite number is unknown.
struct TCurvePoint {
  double F = 0;
  TComplexD Value{0, 0};
  double Variance = 0;
};

// The cell of frequency f (> 0) at perOctave cells per octave: floor(log2(f) * perOctave).
long CellOf(double f, int perOctave);

// One point per occupied cell, ascending; the variance of a point is that of its weighted mean
// (0 when a bin of its cell had none). Points with a frequency that is not positive or a value
// that is not finite are left out. perOctave <= 0 keeps every such point, sorted.
std::vector<TCurvePoint> ThinPerOctave(std::vector<TCurvePoint> points, int perOctave);

} // namespace sorvane
