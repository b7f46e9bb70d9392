#pragma once
// The chart's cursor: while the pointer is over the plot area a dotted line follows it and a box
// beside it gives the frequency and the value of every curve there, in the curves' units; a
// click leaves a marker, a solid line with its own box, that stays (and follows the curves as
// they are redrawn) until it is cleared.

#include <QChart>
#include <QColor>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsTextItem>
#include <QObject>
#include <QString>
#include <limits>
#include <vector>

class QXYSeries;

namespace platform {

struct TReading {
  QString Name;
  double Value = 0;
  QString Unit;
  QColor Colour;
};

struct TReadout {
  double X = std::numeric_limits<double>::quiet_NaN();
  QString XUnit;
  std::vector<TReading> Values;
  bool Valid() const { return X == X; }
};

class TChartCursor : public QObject {
  Q_OBJECT
public:
  explicit TChartCursor(QChart* chart);

  // Positions in the chart's own coordinates.
  void PointerAt(QPointF at);
  void PointerLeft();
  void SetMarker(QPointF at);
  void SetMarkerAt(double x);
  void ClearMarker();
  bool HasMarker() const { return MarkerX == MarkerX; }
  double MarkerPosition() const { return MarkerX; }

  // What the box at the pointer shows; the marker's values as they are now.
  const TReadout& PointerReadout() const { return Pointer; }
  TReadout MarkerReadout() const { return ReadAt(MarkerX); }
  // One line per value, "Name<TAB>value<TAB>unit", the frequency first.
  QString MarkerText() const;
  // A curve added after the cursor was made (a held copy) is followed as well.
  void Follow(QXYSeries* series);

signals:
  // The marker was set, moved or cleared.
  void MarkerChanged();

private:
  struct TBox {
    QGraphicsLineItem* Line = nullptr;
    QGraphicsRectItem* Frame = nullptr;
    QGraphicsTextItem* Text = nullptr;
  };
  TBox MakeBox(Qt::PenStyle line);
  // The x of the pointer, moved onto a curve's point when one lies within a few pixels.
  double XAt(QPointF at) const;
  TReadout ReadAt(double x) const;
  void Show(TBox& box, const TReadout& readout);
  void Refresh();

  QChart* Chart;
  TBox PointerBox, MarkerBox;
  TReadout Pointer;
  double PointerX = std::numeric_limits<double>::quiet_NaN();
  double MarkerX = std::numeric_limits<double>::quiet_NaN();
};

// The series the readout reads: visible line series with a name and points.
std::vector<QXYSeries*> ReadableSeries(const QChart* chart);
// The horizontal axis of a series, and whether it is logarithmic.
QAbstractAxis* HorizontalAxis(const QXYSeries* series);
bool LogarithmicX(const QXYSeries* series);

} // namespace platform
