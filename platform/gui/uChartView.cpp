#include "platform/gui/uChartView.h"

#include <QMouseEvent>

namespace platform {

TChartView::TChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
  setRenderHint(QPainter::Antialiasing);
}

void TChartView::paintEvent(QPaintEvent* event) {
  QChartView::paintEvent(event);
  emit Painted();
}

void TChartView::mousePressEvent(QMouseEvent* event) {
  const QPointF at = mapToScene(event->position().toPoint());
  const QRectF plot = chart()->plotArea();
  if (at.y() >= plot.top() && at.y() <= plot.bottom()) {
    if (at.x() < plot.left()) emit AxisClicked(false);
    else if (at.x() > plot.right()) emit AxisClicked(true);
  }
  QChartView::mousePressEvent(event);
}

} // namespace platform
