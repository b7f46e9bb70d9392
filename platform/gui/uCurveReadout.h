#pragma once
// Reading a curve at a frequency: its value between two points (straight between them, on a
// logarithmic frequency axis straight in log f, as the chart draws it), and the value written
// with an SI prefix and its unit, as the cursor readout and the copied marker values show it.

#include <QList>
#include <QPointF>
#include <string>

namespace platform {

// The curve's value at x (points in ascending x); NaN outside its first and last point.
double CurveValueAt(const QList<QPointF>& points, double x, bool logX);

// The index of the point whose x is nearest to x; -1 for an empty curve.
qsizetype NearestPoint(const QList<QPointF>& points, double x, bool logX);

// "3.30000 Ohm", "999.999 µH", "-45.0000 °", "0.123400": six significant digits, an SI prefix for
// the base units (Ohm, H, F, Hz, s, V; not for "mH", degrees or a plain ratio), "-" for a
// missing value.
std::string FormatReading(double v, const std::string& unit);

} // namespace platform
