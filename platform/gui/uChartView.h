#pragma once
// The line chart's view of the GUI toolkit: a QChartView that says when it has painted (every
// series in it has then been drawn) and which value axis the user clicked (left or right of the
// plot area), since the chart itself offers neither. It also lets a person read the chart: a
// cursor readout and a marker (TChartCursor), zoom with the wheel or a rubber band, pan with the
// middle button or Shift and the wheel, a double-click for the whole range (TChartZoom), and a
// context menu that also copies the marker's values and saves the chart as an image.

#include "platform/gui/uChartCursor.h"
#include "platform/gui/uChartZoom.h"

#include <QChartView>
#include <QPoint>
#include <memory>

class QMenu;
class QRubberBand;

namespace platform {

class TChartView : public QChartView {
  Q_OBJECT
public:
  explicit TChartView(QChart* chart, QWidget* parent = nullptr);
  ~TChartView() override;

  TChartCursor& Cursor() { return *FCursor; }
  TChartZoom& Zoom() { return FZoom; }
  // Back to the whole range; the program redraws its axes then (WholeRangeShown).
  void ShowWholeRange();
  // The chart as drawn now, as a PNG or an SVG file by the name's suffix; false on failure.
  bool SaveImage(const QString& file);
  // The context menu as it would open now (its actions are live).
  QMenu* MakeContextMenu(QWidget* parent);

signals:
  // After every paint of the chart.
  void Painted();
  // A click beside the plot area: on the right value axis (true) or the left one (false).
  void AxisClicked(bool rightAxis);
  // The user has gone back to the whole range: the axes are the program's again.
  void WholeRangeShown();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  QPointF ChartPoint(QPoint viewPos) const;
  void AskAndSaveImage();

  std::unique_ptr<TChartCursor> FCursor;
  TChartZoom FZoom;
  QRubberBand* Band = nullptr;
  QPoint PressAt, PanFrom;
  bool LeftDown = false, Panning = false;
};

} // namespace platform
