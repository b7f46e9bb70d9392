#include "platform/gui/uChartCursor.h"

#include "platform/gui/uChartStyle.h"
#include "platform/gui/uCurveReadout.h"

#include <QPen>
#include <QTextDocument>
#include <QXYSeries>
#include <cmath>

namespace platform {
namespace {

constexpr double SnapPx = 5;
constexpr double BoxGapPx = 8;
constexpr qreal CursorZ = 1000;

QString Reading(double v, const QString& unit) {
  return QString::fromStdString(FormatReading(v, unit.toStdString()));
}

QString XName(const QString& unit) {
  if (unit == "Hz") return "f";
  if (unit == "ms" || unit == "s") return "t";
  return "x";
}

// A series named with its unit ("Re(Z) Ohm") is shown without it: the value carries it.
QString ShortName(const TReading& v) {
  const QString name = v.Name.trimmed();
  if (!v.Unit.isEmpty() && name.endsWith(" " + v.Unit)) return name.chopped(v.Unit.size() + 1);
  return name;
}

QString Html(const TReadout& r) {
  QString html = "<b>" + XName(r.XUnit) + " = " + Reading(r.X, r.XUnit).toHtmlEscaped() + "</b>";
  for (const TReading& v : r.Values) {
    html += QString("<br><span style=\"color:%1\">%2</span> %3")
                .arg(v.Colour.name(), ShortName(v).toHtmlEscaped(), Reading(v.Value, v.Unit).toHtmlEscaped());
  }
  return html;
}

} // namespace

std::vector<QXYSeries*> ReadableSeries(const QChart* chart) {
  std::vector<QXYSeries*> list;
  for (QAbstractSeries* s : chart->series()) {
    auto* xy = qobject_cast<QXYSeries*>(s);
    if (xy && xy->isVisible() && !xy->name().trimmed().isEmpty() && xy->count() > 0 && HorizontalAxis(xy))
      list.push_back(xy);
  }
  return list;
}

QAbstractAxis* HorizontalAxis(const QXYSeries* series) {
  // attachedAxes() is not const in the toolkit, though it changes nothing.
  auto* s = const_cast<QXYSeries*>(series);
  for (QAbstractAxis* axis : s->attachedAxes())
    if (axis->orientation() == Qt::Horizontal) return axis;
  return nullptr;
}

bool LogarithmicX(const QXYSeries* series) {
  const QAbstractAxis* axis = HorizontalAxis(series);
  return axis && axis->type() == QAbstractAxis::AxisTypeLogValue;
}

TChartCursor::TChartCursor(QChart* chart) : QObject(chart), Chart(chart) {
  PointerBox = MakeBox(Qt::DotLine);
  MarkerBox = MakeBox(Qt::SolidLine);
  connect(Chart, &QChart::plotAreaChanged, this, &TChartCursor::Refresh);
  for (QAbstractSeries* s : Chart->series())
    if (auto* xy = qobject_cast<QXYSeries*>(s)) Follow(xy);
}

void TChartCursor::Follow(QXYSeries* series) {
  connect(series, &QXYSeries::pointsReplaced, this, &TChartCursor::Refresh);
  connect(series, &QXYSeries::pointAdded, this, &TChartCursor::Refresh);
  for (QAbstractAxis* axis : series->attachedAxes()) {
    if (axis->orientation() == Qt::Horizontal)
      connect(axis, &QAbstractAxis::visibleChanged, this, &TChartCursor::Refresh, Qt::UniqueConnection);
  }
}

TChartCursor::TBox TChartCursor::MakeBox(Qt::PenStyle line) {
  TBox box;
  box.Line = new QGraphicsLineItem(Chart);
  box.Line->setPen(QPen(QColor(60, 60, 60), 1, line));
  box.Frame = new QGraphicsRectItem(Chart);
  box.Frame->setBrush(QColor(255, 255, 255, 225));
  box.Frame->setPen(QPen(QColor(150, 150, 150)));
  box.Text = new QGraphicsTextItem(box.Frame);
  for (QGraphicsItem* item : {static_cast<QGraphicsItem*>(box.Line), static_cast<QGraphicsItem*>(box.Frame)}) {
    item->setZValue(CursorZ);
    item->setVisible(false);
  }
  return box;
}

double TChartCursor::XAt(QPointF at) const {
  const std::vector<QXYSeries*> series = ReadableSeries(Chart);
  if (series.empty()) return std::nan("");
  const double x = Chart->mapToValue(at, series.front()).x();
  // Onto the nearest point of any curve when it is within a few pixels of the pointer.
  double best = SnapPx, snapped = x;
  for (QXYSeries* s : series) {
    const QList<QPointF> points = s->points();
    const qsizetype i = NearestPoint(points, x, LogarithmicX(s));
    if (i < 0) continue;
    const double px = std::fabs(Chart->mapToPosition(points[i], s).x() - at.x());
    if (px <= best) {
      best = px;
      snapped = points[i].x();
    }
  }
  return snapped;
}

TReadout TChartCursor::ReadAt(double x) const {
  TReadout r;
  if (!(x == x)) return r;
  const std::vector<QXYSeries*> series = ReadableSeries(Chart);
  if (series.empty()) return r;
  r.X = x;
  r.XUnit = UnitOf(HorizontalAxis(series.front()));
  for (QXYSeries* s : series) {
    const double v = CurveValueAt(s->points(), x, LogarithmicX(s));
    if (std::isfinite(v)) r.Values.push_back({s->name(), v, UnitOf(s), s->pen().color()});
  }
  return r;
}

void TChartCursor::PointerAt(QPointF at) {
  if (!Chart->plotArea().contains(at)) return PointerLeft();
  PointerX = XAt(at);
  Refresh();
}

void TChartCursor::PointerLeft() {
  PointerX = std::nan("");
  Pointer = {};
  Refresh();
}

void TChartCursor::SetMarker(QPointF at) {
  if (Chart->plotArea().contains(at)) SetMarkerAt(XAt(at));
}

void TChartCursor::SetMarkerAt(double x) {
  MarkerX = x;
  Refresh();
  emit MarkerChanged();
}

void TChartCursor::ClearMarker() { SetMarkerAt(std::nan("")); }

QString TChartCursor::MarkerText() const {
  const TReadout r = MarkerReadout();
  if (!r.Valid()) return {};
  const auto line = [](const QString& name, double v, const QString& unit) {
    return name + "\t" + QString::number(v, 'g', 9) + "\t" + unit + "\n";
  };
  QString text = line(XName(r.XUnit), r.X, r.XUnit);
  for (const TReading& v : r.Values) text += line(ShortName(v), v.Value, v.Unit);
  return text;
}

void TChartCursor::Refresh() {
  Pointer = ReadAt(PointerX);
  Show(PointerBox, Pointer);
  Show(MarkerBox, MarkerReadout());
}

// The line across the plot area at the reading's x, the box beside it (on the side with room).
void TChartCursor::Show(TBox& box, const TReadout& readout) {
  const std::vector<QXYSeries*> series = ReadableSeries(Chart);
  const QRectF plot = Chart->plotArea();
  const double px = readout.Valid() && !series.empty()
                        ? Chart->mapToPosition(QPointF(readout.X, series.front()->at(0).y()), series.front()).x()
                        : std::nan("");
  const bool visible = std::isfinite(px) && px >= plot.left() - 0.5 && px <= plot.right() + 0.5;
  box.Line->setVisible(visible);
  box.Frame->setVisible(visible);
  if (!visible) return;
  box.Line->setLine(px, plot.top(), px, plot.bottom());
  box.Text->setHtml(Html(readout));
  const QRectF text = box.Text->boundingRect();
  const bool right = px + BoxGapPx + text.width() <= plot.right();
  const double left = right ? px + BoxGapPx : std::max(plot.left(), px - BoxGapPx - text.width());
  // The marker's box sits at the bottom of the plot, the pointer's at the top: both stay readable.
  const double top = &box == &MarkerBox ? plot.bottom() - text.height() - 2 : plot.top() + 2;
  box.Frame->setRect(0, 0, text.width(), text.height());
  box.Frame->setPos(left, top);
}

} // namespace platform
