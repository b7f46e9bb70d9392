#include "dravik/ui/uLCRChart.h"

#include "platform/gui/uChartAxes.h"
#include "platform/gui/uChartStyle.h"
#include "platform/gui/uChartZoom.h"

#include <QLegend>
#include <QLegendMarker>
#include <QLogValueAxis>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace dravik {
namespace {

using platform::AxisTitle;
using platform::TCurveKind;

// Re(Z) and Im(Z) are measured, the reactance of the fitted L or C is the model: drawn dashed
// in a colour of its own, and added first so that the measured curves are painted over it.
constexpr std::array<TCurveKind, 3> Kinds{TCurveKind::Measured, TCurveKind::Measured, TCurveKind::Model};
constexpr std::array<std::size_t, 3> Colours{0, 1, 2};
constexpr std::array<std::size_t, 3> AddOrder{2, 0, 1};
constexpr qreal MarkerPx = 6;

struct TRange {
  double Min = std::numeric_limits<double>::infinity();
  double Max = -std::numeric_limits<double>::infinity();
  void Add(double v) {
    if (!std::isfinite(v)) return;
    Min = std::min(Min, v);
    Max = std::max(Max, v);
  }
  bool Empty() const { return Min > Max; }
};

QPen MinorGridPen() { return QPen(QColor(160, 160, 160), 1, Qt::DotLine); }

} // namespace

TLCRChart::TLCRChart() : FChart(new QChart) {
  FChart->legend()->setAlignment(Qt::AlignTop);
  FChart->legend()->setVisible(true);
  FChart->setBackgroundRoundness(0);
  FChart->setMargins(QMargins(2, 2, 2, 2));
  for (std::size_t i = 0; i < FSeries.size(); ++i) {
    FSeries[i] = new QLineSeries;
    platform::StyleCurve(FSeries[i], platform::CurveColour(Colours[i]), Kinds[i]);
    FSeries[i]->setName(" ");
  }
  for (const std::size_t i : AddOrder) FChart->addSeries(FSeries[i]);
  FLeft = MakeValueAxis(platform::CurveColour(0), Qt::AlignLeft);
  FRight = MakeValueAxis(platform::CurveColour(1), Qt::AlignRight);
  FRight->setGridLineVisible(false);
  FSeries[0]->attachAxis(FLeft);
  FSeries[1]->attachAxis(FRight);
  FSeries[2]->attachAxis(FRight);
  MakeBottomAxes();
  SetBottomAxis(true, "Hz");
}

QValueAxis* TLCRChart::MakeValueAxis(const QColor& colour, Qt::Alignment side) {
  auto* axis = new QValueAxis;
  axis->setLabelsBrush(colour);
  axis->setTitleBrush(colour);
  axis->setRange(-1, 1);
  FChart->addAxis(axis, side);
  platform::KeepRoundTicks(FChart, axis);
  return axis;
}

// A series titled " " (the fit found neither L nor C, or a waveform run) has no legend entry.
void TLCRChart::SetTitle(TSeriesId id, const QString& title) {
  Series(id)->setName(title);
  for (QLegendMarker* marker : FChart->legend()->markers(Series(id))) marker->setVisible(!title.trimmed().isEmpty());
}

void TLCRChart::SetPoints(TSeriesId id, const TChartPoints& points) {
  QList<QPointF> list;
  list.reserve(static_cast<qsizetype>(points.size()));
  for (const auto& p : points) list.append(QPointF(p.X, p.Y));
  Series(id)->replace(list);
  Rescale();
}

// Both bottom axes stay in the chart for its lifetime and only the one in use is shown and
// carries the series: an axis removed from a chart and deleted left its drawing behind.
void TLCRChart::MakeBottomAxes() {
  auto* log = new QLogValueAxis;
  log->setBase(10);
  log->setMinorTickCount(8);
  log->setRange(10, 20000);
  FLogBottom = log;
  auto* linear = new QValueAxis;
  linear->setMinorTickCount(4);
  linear->setRange(0, 10);
  FLinearBottom = linear;
  for (QAbstractAxis* axis : {FLogBottom, FLinearBottom}) {
    axis->setMinorGridLineVisible(true);
    axis->setMinorGridLinePen(MinorGridPen());
    axis->setVisible(false);
    FChart->addAxis(axis, Qt::AlignBottom);
  }
  platform::KeepDecadeLabels(log);
  platform::KeepRoundTicks(FChart, linear);
}

void TLCRChart::SetBottomAxis(bool logarithmic, const QString& unit) {
  QAbstractAxis* next = logarithmic ? FLogBottom : FLinearBottom;
  next->setTitleText(AxisTitle(logarithmic ? "Frequency" : "Time", unit));
  platform::SetUnit(next, unit);
  FValueUnit = logarithmic ? "Ohm" : QString(); // waveforms are in full-scale units
  for (std::size_t i = 0; i < FSeries.size(); ++i) {
    platform::SetUnit(FSeries[i], FValueUnit);
    // The ten measured frequencies as dots, so the fitted curve can be seen running through
    // them; a waveform's hundreds of samples as a plain line.
    FSeries[i]->setPointsVisible(logarithmic && Kinds[i] == TCurveKind::Measured);
    FSeries[i]->setMarkerSize(MarkerPx);
  }
  TitleValueAxes();
  if (FBottom == next) return;
  if (FBottom) {
    // Points of the other kind of plot mean nothing on the new axis (and times from 0 ms have
    // no place on a logarithmic one).
    for (auto* series : FSeries) {
      series->clear();
      series->detachAxis(FBottom);
    }
    FBottom->setVisible(false);
  }
  FBottom = next;
  FBottom->setVisible(true);
  for (auto* series : FSeries) series->attachAxis(FBottom);
  FLogarithmic = logarithmic;
  RescaleBottomAxis();
  if (OnAxesChanged) OnAxesChanged();
}

void TLCRChart::SetAllOnLeft(bool allOnLeft) {
  if (allOnLeft == FAllOnLeft) return;
  QValueAxis* from = allOnLeft ? FRight : FLeft;
  QValueAxis* to = allOnLeft ? FLeft : FRight;
  for (std::size_t i = 1; i < FSeries.size(); ++i) {
    FSeries[i]->detachAxis(from);
    FSeries[i]->attachAxis(to);
  }
  FAllOnLeft = allOnLeft;
  if (allOnLeft) ShowGridOf(false);
  const QColor labels = allOnLeft ? FChart->palette().color(QPalette::WindowText) : QColor(Qt::red);
  FLeft->setLabelsBrush(labels);
  FLeft->setTitleBrush(labels);
  TitleValueAxes();
  Rescale();
  if (OnAxesChanged) OnAxesChanged();
}

// What each value axis carries, with its unit; with everything on the left axis it names both.
void TLCRChart::TitleValueAxes() {
  const bool impedance = FValueUnit == "Ohm";
  const QString left = impedance ? "Re(Z)" : "Channel 1", right = impedance ? "Im(Z)" : "Channel 2";
  FLeft->setTitleText(AxisTitle(FAllOnLeft ? left + ", " + right : left, FValueUnit));
  FRight->setTitleText(AxisTitle(right, FValueUnit));
}

void TLCRChart::SetFixedScale(bool fixed) {
  FFixed = fixed;
  Rescale();
}

void TLCRChart::ShowGridOf(bool rightAxis) {
  FRight->setGridLineVisible(rightAxis);
  FLeft->setGridLineVisible(!rightAxis);
}

// While the user has zoomed or panned the axes are his; the whole range hands them back.
void TLCRChart::Rescale() {
  if (platform::UserZoomed(FChart)) return;
  RescaleBottomAxis();
  if (FFixed) return;
  RescaleValueAxis(FLeft);
  RescaleValueAxis(FRight);
}

// The range of every attached series' values with a margin of 5 % on each side, so the curves
// stay clear of the frame; a flat curve gets a band around its value.
void TLCRChart::RescaleValueAxis(QValueAxis* axis) {
  TRange range;
  for (auto* series : FSeries) {
    if (!series->attachedAxes().contains(axis)) continue;
    for (const QPointF& p : series->points()) range.Add(p.y());
  }
  if (range.Empty()) return;
  double margin = (range.Max - range.Min) * 0.05;
  if (margin <= 0) margin = std::max(std::fabs(range.Max) * 0.1, 1e-12);
  platform::SetRoundRange(FChart, axis, range.Min - margin, range.Max + margin);
}

void TLCRChart::RescaleBottomAxis() {
  TRange range;
  for (auto* series : FSeries) {
    for (const QPointF& p : series->points()) {
      if (!FLogarithmic || p.x() > 0) range.Add(p.x());
    }
  }
  if (range.Empty()) return;
  if (FLogarithmic) {
    FBottom->setRange(range.Min / 1.2, range.Max * 1.2);
  } else if (range.Max > range.Min) {
    platform::SetRoundRange(FChart, static_cast<QValueAxis*>(FBottom), range.Min, range.Max);
  }
}

} // namespace dravik
