#include "platform/gui/uChartAxes.h"

#include "platform/gui/uAxisTicks.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// Room between two labels along a horizontal axis, and label heights per tick on a vertical one.
constexpr double LabelGapPx = 18;
constexpr double RowsPerTick = 2.2;
// Before the first layout the plot area is empty: a count that suits a small chart.
constexpr int DefaultCount = 6;
// Far below what any label shows, far above the rounding of a sum of steps.
constexpr double AnchorLift = 1e-7;

double AxisLength(const QChart* chart, Qt::Orientation orientation) {
  const QRectF plot = chart->plotArea();
  return orientation == Qt::Horizontal ? plot.width() : plot.height();
}

TLinearTicks TicksFor(const QChart* chart, const QValueAxis* axis, double lo, double hi) {
  const double length = AxisLength(chart, axis->orientation());
  const int count = length > 0 ? FittingTickCount(axis, axis->orientation(), length, lo, hi) : DefaultCount;
  return LinearTicks(lo, hi, count);
}

void ApplyTicks(QValueAxis* axis, const TLinearTicks& ticks) {
  axis->setTickType(QValueAxis::TicksDynamic);
  // The axis reaches each tick by adding the step to the first one, so the tick at zero comes
  // out as -3e-17 ("-0.0") as often as not; anchored a hair above zero it never does.
  axis->setTickAnchor(ticks.Step * AnchorLift);
  axis->setTickInterval(ticks.Step);
  axis->setLabelFormat(QString::fromStdString(LinearFormat(ticks)));
}

void UpdateRoundTicks(QChart* chart, QValueAxis* axis) {
  const double lo = axis->min(), hi = axis->max();
  if (hi > lo) ApplyTicks(axis, TicksFor(chart, axis, lo, hi));
}

} // namespace

int FittingTickCount(const QAbstractAxis* axis, Qt::Orientation orientation, double lengthPx,
                     double lo, double hi) {
  const QFontMetricsF metrics(axis->labelsFont());
  if (orientation == Qt::Vertical)
    return std::max(2, static_cast<int>(lengthPx / (metrics.height() * RowsPerTick)));
  // The labels' width depends on the step, the step on how many labels fit: settle both.
  int count = std::max(2, static_cast<int>(lengthPx / (metrics.horizontalAdvance("0000") + LabelGapPx)));
  for (int round = 0; round < 4; ++round) {
    const TLinearTicks ticks = LinearTicks(lo, hi, count);
    const std::string format = LinearFormat(ticks);
    double widest = 0;
    for (const double v : {lo, hi, (lo + hi) / 2})
      widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(FormatTick(format, v))));
    const int fits = std::max(2, static_cast<int>(lengthPx / (widest + LabelGapPx)));
    if (fits >= count) break;
    count = fits;
  }
  return count;
}

void KeepRoundTicks(QChart* chart, QValueAxis* axis) {
  axis->setTruncateLabels(false);
  const auto update = [chart, axis] { UpdateRoundTicks(chart, axis); };
  QObject::connect(axis, &QValueAxis::rangeChanged, axis, update);
  QObject::connect(chart, &QChart::plotAreaChanged, axis, update);
  update();
}

void SetRoundRange(QChart* chart, QValueAxis* axis, double lo, double hi) {
  if (!(hi > lo)) return;
  const TLinearTicks ticks = TicksFor(chart, axis, lo, hi);
  // The axis lays its ticks out at once for every change: a wider step goes in before the wider
  // range, a finer one follows the narrower range (from rangeChanged).
  if (ticks.Step > axis->tickInterval()) ApplyTicks(axis, ticks);
  axis->setRange(lo, hi);
}

void KeepDecadeLabels(QLogValueAxis* axis) {
  axis->setTruncateLabels(false);
  const auto update = [axis] {
    if (axis->max() > axis->min() && axis->min() > 0)
      axis->setLabelFormat(QString::fromStdString(DecadeFormat(axis->min(), axis->max())));
  };
  QObject::connect(axis, &QLogValueAxis::rangeChanged, axis, update);
  update();
}

QStringList TickLabels(const QValueAxis* axis) {
  QStringList labels;
  const double step = axis->tickInterval();
  if (!(step > 0) || !(axis->max() > axis->min())) return labels;
  const QByteArray format = axis->labelFormat().toLatin1();
  const double first = axis->tickAnchor() + std::ceil((axis->min() - axis->tickAnchor()) / step) * step;
  for (double v = first; v <= axis->max() && labels.size() < 1000; v += step)
    labels.append(QString::asprintf(format.constData(), v));
  return labels;
}

QString AxisTitle(const QString& quantity, const QString& unit) {
  return unit.isEmpty() ? quantity : quantity + " (" + unit + ")";
}

} // namespace platform
