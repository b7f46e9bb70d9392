#include "platform/gui/uChartStyle.h"

#include <QPen>
#include <QVariant>

namespace platform {
namespace {

constexpr const char* UnitProperty = "platform.unit";

QColor ToQColor(TRgb c) { return QColor(c.R, c.G, c.B); }

} // namespace

const std::array<TRgb, 4>& CurvePalette() {
  static const std::array<TRgb, 4> palette{TRgb{255, 0, 0}, TRgb{0, 0, 255}, TRgb{40, 40, 40},
                                           TRgb{86, 180, 233}};
  return palette;
}

QColor CurveColour(std::size_t index) { return ToQColor(CurvePalette()[index % CurvePalette().size()]); }

TRgb ChartBackground() { return {255, 255, 255}; }

QPen CurvePen(const QColor& colour, TCurveKind kind) {
  QPen pen(colour);
  pen.setCapStyle(Qt::FlatCap);
  switch (kind) {
  case TCurveKind::Measured:
    pen.setWidthF(1.6);
    break;
  case TCurveKind::Model:
    pen.setWidthF(1.1);
    pen.setStyle(Qt::DashLine);
    break;
  case TCurveKind::Held: {
    QColor faint = colour;
    faint.setAlpha(90);
    pen.setColor(faint);
    pen.setWidthF(1.2);
    break;
  }
  }
  return pen;
}

void StyleCurve(QXYSeries* series, const QColor& colour, TCurveKind kind) {
  series->setPen(CurvePen(colour, kind));
}

void SetUnit(QObject* seriesOrAxis, const QString& unit) { seriesOrAxis->setProperty(UnitProperty, unit); }

QString UnitOf(const QObject* seriesOrAxis) { return seriesOrAxis->property(UnitProperty).toString(); }

} // namespace platform
