#pragma once
// Zoom and pan of a chart by the user: the ranges of every axis before the first zoom are kept,
// and the whole range brings them back exactly. While the user has zoomed, the program leaves
// the axes where the user put them (UserZoomed), and new data is drawn into that view.

#include <QChart>
#include <QPointF>
#include <QRectF>
#include <vector>

namespace platform {

class TChartZoom {
public:
  explicit TChartZoom(QChart* chart) : Chart(chart) {}

  // Factor > 1 zooms in around the point, < 1 out; along the given directions.
  void ZoomAt(QPointF at, double factor, Qt::Orientations directions);
  // To a rectangle of the plot area (chart coordinates), as drawn with the rubber band.
  void ZoomTo(const QRectF& rect);
  // Moves the view by a distance in pixels, as a drag moves the curves.
  void Pan(QPointF deltaPx);
  // Back to the ranges before the first zoom; false when not zoomed.
  bool WholeRange();
  bool Zoomed() const { return !Home.empty(); }

private:
  struct TSaved {
    QAbstractAxis* Axis;
    double Min, Max;
  };
  void KeepHome();

  QChart* Chart;
  std::vector<TSaved> Home;
};

// The user has zoomed or panned this chart (its axes are not the program's to set).
bool UserZoomed(const QChart* chart);

} // namespace platform
