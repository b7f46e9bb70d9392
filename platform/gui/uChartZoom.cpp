#include "platform/gui/uChartZoom.h"

#include "platform/gui/uChartAxes.h"

#include <QLogValueAxis>
#include <QValueAxis>
#include <QVariant>

namespace platform {
namespace {

constexpr const char* ZoomedProperty = "platform.userZoomed";

bool RangeOf(const QAbstractAxis* axis, double& min, double& max) {
  if (const auto* v = qobject_cast<const QValueAxis*>(axis)) {
    min = v->min();
    max = v->max();
    return true;
  }
  if (const auto* l = qobject_cast<const QLogValueAxis*>(axis)) {
    min = l->min();
    max = l->max();
    return true;
  }
  return false;
}

} // namespace

bool UserZoomed(const QChart* chart) { return chart->property(ZoomedProperty).toBool(); }

void TChartZoom::KeepHome() {
  if (!Home.empty()) return;
  for (QAbstractAxis* axis : Chart->axes()) {
    double min = 0, max = 0;
    if (RangeOf(axis, min, max)) Home.push_back({axis, min, max});
  }
  Chart->setProperty(ZoomedProperty, true);
}

void TChartZoom::ZoomAt(QPointF at, double factor, Qt::Orientations directions) {
  const QRectF plot = Chart->plotArea();
  if (!(factor > 0) || !plot.contains(at)) return;
  QRectF rect = plot;
  if (directions & Qt::Horizontal) {
    rect.setLeft(at.x() - (at.x() - plot.left()) / factor);
    rect.setWidth(plot.width() / factor);
  }
  if (directions & Qt::Vertical) {
    rect.setTop(at.y() - (at.y() - plot.top()) / factor);
    rect.setHeight(plot.height() / factor);
  }
  KeepHome();
  Chart->zoomIn(rect);
}

void TChartZoom::ZoomTo(const QRectF& rect) {
  const QRectF r = rect.normalized().intersected(Chart->plotArea());
  if (r.width() < 2 || r.height() < 2) return;
  KeepHome();
  Chart->zoomIn(r);
}

void TChartZoom::Pan(QPointF deltaPx) {
  if (deltaPx.isNull()) return;
  KeepHome();
  Chart->scroll(-deltaPx.x(), deltaPx.y());
}

bool TChartZoom::WholeRange() {
  if (Home.empty()) return false;
  for (const TSaved& saved : Home) {
    if (!Chart->axes().contains(saved.Axis)) continue;
    if (auto* v = qobject_cast<QValueAxis*>(saved.Axis)) SetRoundRange(Chart, v, saved.Min, saved.Max);
    else if (auto* l = qobject_cast<QLogValueAxis*>(saved.Axis)) l->setRange(saved.Min, saved.Max);
  }
  Home.clear();
  Chart->setProperty(ZoomedProperty, false);
  return true;
}

} // namespace platform
