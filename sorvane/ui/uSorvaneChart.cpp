#include "sorvane/ui/uSorvaneChart.h"

#include <QLegendMarker>
#include <algorithm>
#include <cmath>
#include <limits>

namespace sorvane {
namespace {

// The chart's label formats are printf-style: frequencies as they are ("%g", whole numbers
// without decimals, like "#.#"); the linear axes with as many decimals as their step needs.
constexpr const char* FrequencyFormat = "%g";
constexpr const char* ValueFormat = "%.2f";

QString LabelFormat(double step) {
  const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 9);
  return QString("%.%1f").arg(decimals);
}

const std::array<QColor, 4> Colours{QColor(Qt::red), QColor(Qt::blue), QColor(128, 0, 64),
                                    QColor(0, 0, 128)};

// The 1, 2 or 5 times a power of ten nearest above raw.
double RoundStep(double raw) {
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * decade >= raw) return m * decade;
  return 10 * decade;
}

void TitleColour(QAbstractAxis* axis, const QColor& colour) {
  axis->setTitleBrush(colour);
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
    QPen pen(Colours[i]);
    pen.setWidthF(1.2);
    Series[i]->setPen(pen);
  }
  for (const int i : {0, 2, 1, 3}) FChart->addSeries(Series[i]);
  BottomLin = new QValueAxis;
  BottomLin->setLabelFormat(FrequencyFormat);
  BottomLogAxis = new QLogValueAxis;
  BottomLogAxis->setLabelFormat(FrequencyFormat);
  BottomLogAxis->setMinorTickCount(8);
  LeftLin = new QValueAxis;
  LeftLin->setLabelFormat(ValueFormat);
  LeftLogAxis = new QLogValueAxis;
  LeftLogAxis->setLabelFormat("%g");
  LeftLogAxis->setMinorTickCount(8);
  Right = new QValueAxis;
  Right->setLabelFormat(ValueFormat);
  for (QAbstractAxis* left : {static_cast<QAbstractAxis*>(LeftLin), static_cast<QAbstractAxis*>(LeftLogAxis)})
    TitleColour(left, Qt::red);
  TitleColour(Right, Qt::blue);
  SetTitles("Re", "Im", {"Re", "Im", "R", "L/C"});
  FChart->addAxis(BottomLin, Qt::AlignBottom);
  FChart->addAxis(BottomLogAxis, Qt::AlignBottom);
  FChart->addAxis(LeftLin, Qt::AlignLeft);
  FChart->addAxis(LeftLogAxis, Qt::AlignLeft);
  FChart->addAxis(Right, Qt::AlignRight);
  for (QAbstractAxis* axis : FChart->axes()) axis->setTruncateLabels(false);
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
    Series[i]->attachAxis(onLeft ? LeftAxis() : Right);
  }
  LeftAxis()->setTitleVisible(!AllLeft);
  // With every series on the left the right axis has nothing to show.
  Right->setVisible(!AllLeft);
  Rescale();
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
  LeftLin->setTitleText(left);
  LeftLogAxis->setTitleText(left);
  Right->setTitleText(right);
  for (int i = 0; i < 4; ++i) {
    Series[i]->setName(series[i]);
    for (QLegendMarker* marker : FChart->legend()->markers(Series[i]))
      marker->setLabelBrush(Colours[i]);
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
  auto* linear = static_cast<QValueAxis*>(axis);
  linear->setTickType(QValueAxis::TicksFixed);
  linear->setTickCount(std::clamp(static_cast<int>(std::lround((to - from) / step)) + 1, 2, 12));
  linear->setRange(from, to);
  linear->setLabelFormat(LabelFormat(step));
}

void TSorvaneChart::Rescale() {
  Fit(BottomAxis(), true, BottomIsLog, {true, true, true, true});
  Fit(LeftAxis(), false, LeftIsLog, {true, AllLeft, true, AllLeft});
  Fit(Right, false, false, {false, !AllLeft, false, !AllLeft});
}

} // namespace sorvane
