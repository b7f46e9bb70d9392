#include "bench/report/uAccuracyPlot.h"

#include <QChart>
#include <QChartView>
#include <QFile>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMap>
#include <QPixmap>
#include <QTextStream>
#include <QVector>

#include <algorithm>

namespace report {

namespace {

struct TPoint {
  QString Program, Kind;
  double Value = 0, Ratio = 0;
};

QVector<TPoint> ReadMainQuantities(const QString& path) {
  QVector<TPoint> points;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return points;
  QTextStream in(&f);
  in.readLine(); // header: program,kind,value,quantity,bias,spread,bound,ratio
  while (!in.atEnd()) {
    const QStringList c = in.readLine().split(',');
    if (c.size() < 8 || c[1] != c[3]) continue; // the component's own quantity only
    points.push_back({c[0], c[1], c[2].toDouble(), c[7].toDouble()});
  }
  return points;
}

QLogValueAxis* LogAxis(const QString& title, double lo, double hi) {
  auto* axis = new QLogValueAxis;
  axis->setTitleText(title);
  axis->setBase(10);
  axis->setLabelFormat("%g");
  axis->setRange(lo, hi);
  axis->setMinorTickCount(-1);
  return axis;
}

bool Plot(const QVector<TPoint>& points, const QString& kind, const QString& unit,
          const QString& file) {
  auto* chart = new QChart;
  chart->setTitle("Spread of " + kind + " readings over the Cramér-Rao bound");
  double lo = 1e300, hi = 0, top = 2;
  QMap<QString, QLineSeries*> series;
  for (const TPoint& p : points) {
    if (p.Kind != kind || !(p.Ratio > 0)) continue;
    if (!series.contains(p.Program)) {
      series[p.Program] = new QLineSeries;
      series[p.Program]->setName(p.Program);
      series[p.Program]->setPointsVisible(true);
    }
    series[p.Program]->append(p.Value, p.Ratio);
    lo = std::min(lo, p.Value), hi = std::max(hi, p.Value), top = std::max(top, p.Ratio);
  }
  if (series.isEmpty()) {
    delete chart;
    return false;
  }
  QLogValueAxis* x = LogAxis(kind + " (" + unit + ")", lo / 2, hi * 2);
  QLogValueAxis* y = LogAxis("spread / bound", 0.3, top * 3);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QLineSeries* s : series) {
    chart->addSeries(s);
    s->attachAxis(x);
    s->attachAxis(y);
  }
  QChartView view(chart);
  view.setRenderHint(QPainter::Antialiasing);
  view.resize(800, 480);
  return view.grab().save(file, "PNG");
}

} // namespace

QStringList WriteAccuracyPlots(const QString& csvPath, const QString& folder) {
  const QVector<TPoint> points = ReadMainQuantities(csvPath);
  QStringList written;
  const std::pair<const char*, const char*> kinds[] = {{"R", "ohm"}, {"L", "H"}, {"C", "F"}};
  for (const auto& [kind, unit] : kinds) {
    const QString name = QString("accuracy_%1.png").arg(kind);
    if (Plot(points, kind, unit, folder + "/" + name)) written << name;
  }
  return written;
}

} // namespace report
