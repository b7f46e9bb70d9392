#include "sorvane/ui/uSorvaneChart.h"

#include "platform/gui/uChartAxes.h"
#include "platform/gui/uChartStyle.h"
#include "platform/gui/uChartZoom.h"

#include <QLegendMarker>
#include <algorithm>
#include <cmath>
#include <limits>

namespace sorvane {
namespace {

using platform::AxisTitle;
using platform::TCurveKind;

// Re (or |Z|) red and Im (or the phase) blue are measured; the fitted R (or |Z| of the model)
// and the model's phase are dashed in colours of their own. Series4 is measured when it shows
// a curve of its own (L, C, ESR or Q per bin).
constexpr std::array<std::size_t, 4> ColourIndex{0, 1, 2, 3};

QColor Colour(int i) { return platform::CurveColour(ColourIndex[i]); }

// The 1, 2 or 5 times a power of ten nearest above raw.
double RoundStep(double raw) {
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * decade >= raw) return m * decade;
  return 10 * decade;
}

} // namespace

TSorvaneChart::TSorvaneChart() : FChart(new QChart) {
  FChart->setTitle(QString());
  FChart->legend()->setAlignment(Qt::AlignTop);
  FChart->legend()->setBackgroundVisible(false);
  FChart->legend()->setVisible(false);
  FChart->setMargins(QMargins(4, 4, 4, 4));
  for (int i = 0; i < 4; ++i) {
    Series[i] = new QLineSeries;
    Series[i]->setObjectName(QString("Series%1").arg(i + 1));
  }
  StyleSeries4(false);
  // The models first, so that the measured curves are painted over them.
  for (const int i : {2, 3, 0, 1}) FChart->addSeries(Series[i]);
  BottomLin = new QValueAxis;
  BottomLogAxis = new QLogValueAxis;
  BottomLogAxis->setMinorTickCount(8);
  LeftLin = new QValueAxis;
  LeftLogAxis = new QLogValueAxis;
  LeftLogAxis->setMinorTickCount(8);
  Right = new QValueAxis;
  CurveAxis = new QValueAxis;
  CurveAxis->setGridLineVisible(false);
  for (QAbstractAxis* left : {static_cast<QAbstractAxis*>(LeftLin), static_cast<QAbstractAxis*>(LeftLogAxis)})
    left->setTitleBrush(Colour(0));
  Right->setTitleBrush(Colour(1));
  CurveAxis->setTitleBrush(Colour(3));
  CurveAxis->setLabelsBrush(Colour(3));
  platform::SetUnit(BottomLin, "Hz");
  platform::SetUnit(BottomLogAxis, "Hz");
  for (QAbstractAxis* bottom : {static_cast<QAbstractAxis*>(BottomLin), static_cast<QAbstractAxis*>(BottomLogAxis)})
    bottom->setTitleText(AxisTitle("Frequency", "Hz"));
  SetTitles("Re", "Im", {"Re", "Im", "R", "L/C"});
  FChart->addAxis(BottomLin, Qt::AlignBottom);
  FChart->addAxis(BottomLogAxis, Qt::AlignBottom);
  FChart->addAxis(LeftLin, Qt::AlignLeft);
  FChart->addAxis(LeftLogAxis, Qt::AlignLeft);
  FChart->addAxis(Right, Qt::AlignRight);
  FChart->addAxis(CurveAxis, Qt::AlignRight);
  for (QValueAxis* axis : {BottomLin, LeftLin, Right, CurveAxis}) platform::KeepRoundTicks(FChart, axis);
  for (QLogValueAxis* axis : {BottomLogAxis, LeftLogAxis}) platform::KeepDecadeLabels(axis);
  Attach();
  SetRightGrid(false);
}

// The chart owns the axes and series.
TSorvaneChart::~TSorvaneChart() = default;

QAbstractAxis* TSorvaneChart::BottomAxis() const {
  return BottomIsLog ? static_cast<QAbstractAxis*>(BottomLogAxis) : BottomLin;
}

QAbstractAxis* TSorvaneChart::LeftAxis() const {
  return LeftIsLog ? static_cast<QAbstractAxis*>(LeftLogAxis) : LeftLin;
}

void TSorvaneChart::Detach() {
  for (QLineSeries* s : Series)
    for (QAbstractAxis* axis : s->attachedAxes()) s->detachAxis(axis);
}

// Every axis stays in the chart (taking an axis out and back leaves its old labels behind);
// the inactive ones are hidden and carry no series.
void TSorvaneChart::Attach() {
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(BottomLin), static_cast<QAbstractAxis*>(BottomLogAxis)})
    axis->setVisible(axis == BottomAxis());
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(LeftLin), static_cast<QAbstractAxis*>(LeftLogAxis)})
    axis->setVisible(axis == LeftAxis());
  for (int i = 0; i < 4; ++i) {
    Series[i]->attachAxis(BottomAxis());
    const bool onLeft = i == 0 || i == 2 || AllLeft;
    if (i == 3 && OwnCurveAxis) Series[i]->attachAxis(CurveAxis);
    else Series[i]->attachAxis(onLeft ? LeftAxis() : Right);
  }
  LeftAxis()->setTitleVisible(!AllLeft);
  // With every series on the left the right axis has nothing to show.
  Right->setVisible(!AllLeft);
  CurveAxis->setVisible(OwnCurveAxis);
  Rescale();
  if (OnAxesChanged) OnAxesChanged();
}

void TSorvaneChart::SetBottomLog(bool log) {
  if (log == BottomIsLog) return;
  Detach();
  BottomIsLog = log;
  Attach();
}

void TSorvaneChart::SetLeftLog(bool log) {
  if (log == LeftIsLog) return;
  Detach();
  LeftIsLog = log;
  Attach();
}

void TSorvaneChart::SetLeftForAll(bool all) {
  Detach();
  AllLeft = all;
  Attach();
}

void TSorvaneChart::SetTitles(const QString& left, const QString& right,
                              const std::array<QString, 4>& series) {
  LeftTitleText = left;
  RightTitleText = right;
  for (int i = 0; i < 4; ++i) Series[i]->setName(series[i]);
  TitleAxes();
}

void TSorvaneChart::SetUnits(const QString& left, const QString& right) {
  LeftUnit = left;
  RightUnit = right;
  TitleAxes();
}

// The value axes' titles with their units, the series' units for the readout, and the legend
// in the series' colours.
void TSorvaneChart::TitleAxes() {
  for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(LeftLin), static_cast<QAbstractAxis*>(LeftLogAxis)})
    axis->setTitleText(AxisTitle(LeftTitleText, LeftUnit));
  Right->setTitleText(AxisTitle(RightTitleText, RightUnit));
  for (int i = 0; i < 4; ++i) {
    const bool ownCurve = i == 3 && OwnCurveAxis;
    platform::SetUnit(Series[i], ownCurve ? CurveUnit : i % 2 == 0 ? LeftUnit : RightUnit);
    for (QLegendMarker* marker : FChart->legend()->markers(Series[i])) marker->setLabelBrush(Colour(i));
  }
}

void TSorvaneChart::SetCurveAxis(bool own, const QString& quantity, const QString& unit) {
  CurveUnit = unit;
  CurveAxis->setTitleText(AxisTitle(quantity, unit));
  if (own != OwnCurveAxis) {
    Detach();
    OwnCurveAxis = own;
    StyleSeries4(own);
    Attach();
  }
  TitleAxes();
}

// Series4 is the model's phase (or reactance), dashed, or a measured curve of its own.
void TSorvaneChart::StyleSeries4(bool measured) {
  for (int i = 0; i < 4; ++i) {
    const bool model = i == 2 || (i == 3 && !measured);
    platform::StyleCurve(Series[i], Colour(i), model ? TCurveKind::Model : TCurveKind::Measured);
  }
}

void TSorvaneChart::SetLegendVisible(bool visible) { FChart->legend()->setVisible(visible); }

void TSorvaneChart::SetLeftGrid(bool visible) {
  GridOnLeft = visible;
  LeftLin->setGridLineVisible(visible);
  LeftLogAxis->setGridLineVisible(visible);
}

bool TSorvaneChart::LeftGrid() const { return GridOnLeft; }

void TSorvaneChart::SetRightGrid(bool visible) { Right->setGridLineVisible(visible); }

void TSorvaneChart::SetDrawAllPoints(bool all) {
  DrawAll = all;
  for (int i = 0; i < 4; ++i) ApplyPoints(i);
}

void TSorvaneChart::SetPoints(int i, const QList<QPointF>& points) {
  Full[i] = points;
  ApplyPoints(i);
}

void TSorvaneChart::Clear() {
  for (int i = 0; i < 4; ++i) SetPoints(i, {});
}

// With "Draw all points" off only the first point of each pixel column is painted.
void TSorvaneChart::ApplyPoints(int i) {
  const QList<QPointF>& all = Full[i];
  if (DrawAll || all.size() < 3) {
    Series[i]->replace(all);
    return;
  }
  const double columns = std::max(FChart->plotArea().width(), 100.0);
  const auto at = [&](double x) { return BottomIsLog ? std::log10(std::max(x, 1e-300)) : x; };
  const double lo = at(all.front().x()), hi = at(all.back().x());
  QList<QPointF> thin;
  long long last = std::numeric_limits<long long>::min();
  for (const QPointF& p : all) {
    const long long column = hi > lo ? std::llround((at(p.x()) - lo) / (hi - lo) * columns) : 0;
    if (column != last) thin.append(p);
    last = column;
  }
  Series[i]->replace(thin);
}

void TSorvaneChart::Fit(QAbstractAxis* axis, bool horizontal, bool log,
                        const std::array<bool, 4>& members) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (int i = 0; i < 4; ++i) {
    if (!members[i]) continue;
    for (const QPointF& p : Full[i]) {
      const double v = horizontal ? p.x() : p.y();
      if (!std::isfinite(v) || (log && v <= 0)) continue;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  if (!(lo <= hi)) return;
  if (log) {
    if (hi <= lo) hi = lo * 10;
    static_cast<QLogValueAxis*>(axis)->setRange(lo, hi);
    return;
  }
  // A range too narrow for its magnitude (a constant curve, rounding noise) is widened, so the
  // axis never has to step through more values than a double can tell apart.
  const double magnitude = std::max(std::fabs(lo), std::fabs(hi));
  if (hi - lo <= magnitude * 1e-9) {
    const double pad = magnitude == 0 ? 1 : magnitude * 0.1;
    lo -= pad;
    hi += pad;
  }
  if (!std::isfinite(hi - lo)) return;
  // The axis widens to whole multiples of a 1-2-5 step, with a tick on each; the tick count is
  // set before the range, so an axis never lays out more ticks than it shows.
  const double step = RoundStep((hi - lo) / 5);
  const double from = std::floor(lo / step) * step, to = std::ceil(hi / step) * step;
  const double pad = step * platform::TickEndPad;
  platform::SetRoundRange(FChart, static_cast<QValueAxis*>(axis), from - pad, to + pad);
}

// While the user has zoomed or panned the axes are his; the whole range hands them back.
void TSorvaneChart::Rescale() {
  if (platform::UserZoomed(FChart)) return;
  const bool own = OwnCurveAxis;
  Fit(BottomAxis(), true, BottomIsLog, {true, true, true, true});
  Fit(LeftAxis(), false, LeftIsLog, {true, AllLeft, true, AllLeft && !own});
  Fit(Right, false, false, {false, !AllLeft, false, !AllLeft && !own});
  if (own) Fit(CurveAxis, false, false, {false, false, false, true});
}

} // namespace sorvane
