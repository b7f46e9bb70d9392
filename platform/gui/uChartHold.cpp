#include "platform/gui/uChartHold.h"

#include "platform/gui/uChartCursor.h"
#include "platform/gui/uChartStyle.h"
#include "platform/gui/uCurveReadout.h"

#include <QFile>
#include <QFileInfo>
#include <QLegend>
#include <QLegendMarker>
#include <QTime>
#include <QGraphicsItem>
#include <algorithm>
#include <set>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr std::size_t FieldWidth = 23;
constexpr qreal HeldBelow = 0.5;

QString XUnitOf(const QLineSeries* series) {
  const QAbstractAxis* axis = HorizontalAxis(series);
  return axis ? UnitOf(axis) : QString();
}

// One line of numbers; false when a field is not a number.
bool ParseLine(const QByteArray& line, std::vector<double>& values) {
  values.clear();
  for (const QByteArray& field : line.simplified().split(' ')) {
    if (field.isEmpty()) continue;
    char* end = nullptr;
    const double v = std::strtod(field.constData(), &end);
    if (end != field.constData() + field.size()) return false;
    values.push_back(v);
  }
  return true;
}

// Every graphics item under the chart, at any depth.
void Descendants(const QGraphicsItem* item, std::set<QGraphicsItem*>& out) {
  for (QGraphicsItem* child : item->childItems()) {
    out.insert(child);
    Descendants(child, out);
  }
}

} // namespace

std::string FormatResultNumber(double v) {
  if (!std::isfinite(v)) {
    const std::string word = std::isnan(v) ? "NAN" : v < 0 ? "-INF" : "INF";
    return std::string(FieldWidth - word.size(), ' ') + word;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.14E", std::fabs(v));
  const char* e = std::strchr(text, 'E');
  const int exponent = std::atoi(e + 1);
  char field[64];
  std::snprintf(field, sizeof field, "%c%.*s%c%04d", std::signbit(v) && v != 0 ? '-' : ' ',
                static_cast<int>(e - text + 1), text, exponent < 0 ? '-' : '+', std::abs(exponent));
  return field;
}

struct TChartHolds::THold {
  QString Name;
  QString XUnit;
  bool Visible = true;
  std::vector<std::pair<std::size_t, QLineSeries*>> Curves; // live index, held copy
};

TChartHolds::TChartHolds(QChart* chart, std::vector<QLineSeries*> live)
    : QObject(chart), Chart(chart), Live(std::move(live)) {}

TChartHolds::~TChartHolds() = default;

QLineSeries* TChartHolds::AddCurve(THold& hold, std::size_t source, const QList<QPointF>& points,
                                   const QString& prefix) {
  QLineSeries* live = Live[source];
  auto* curve = new QLineSeries;
  curve->setName(prefix + " " + live->name().trimmed());
  curve->replace(points);
  StyleCurve(curve, live->pen().color(), TCurveKind::Held);
  SetUnit(curve, UnitOf(live));
  // The toolkit paints series in the order they were added, each as an item of the chart's
  // scene: the items the held curve brings are put a step below, behind the live curves.
  std::set<QGraphicsItem*> before, after;
  Descendants(Chart, before);
  Chart->addSeries(curve);
  for (QAbstractAxis* axis : live->attachedAxes()) curve->attachAxis(axis);
  Descendants(Chart, after);
  for (QGraphicsItem* item : after)
    if (!before.count(item) && (item->parentItem() == Chart || before.count(item->parentItem())))
      item->setZValue(item->zValue() - HeldBelow);
  for (QLegendMarker* marker : Chart->legend()->markers(curve)) marker->setVisible(false);
  hold.Curves.emplace_back(source, curve);
  return curve;
}

QString TChartHolds::Hold() {
  auto hold = std::make_unique<THold>();
  hold->Name = QTime::currentTime().toString("HH:mm:ss");
  for (std::size_t i = 0; i < Live.size(); ++i) {
    if (Live[i]->count() == 0 || !Live[i]->isVisible()) continue;
    if (hold->XUnit.isEmpty()) hold->XUnit = XUnitOf(Live[i]);
    AddCurve(*hold, i, Live[i]->points(), hold->Name);
  }
  if (hold->Curves.empty()) return {};
  Holds.push_back(std::move(hold));
  emit Changed();
  return Holds.back()->Name;
}

QString TChartHolds::Name(int i) const { return Holds.at(static_cast<std::size_t>(i))->Name; }
bool TChartHolds::Visible(int i) const { return Holds.at(static_cast<std::size_t>(i))->Visible; }

std::vector<QLineSeries*> TChartHolds::Curves(int i) const {
  std::vector<QLineSeries*> curves;
  for (const auto& c : Holds.at(static_cast<std::size_t>(i))->Curves) curves.push_back(c.second);
  return curves;
}

void TChartHolds::ShowHold(THold& hold) {
  for (const auto& [source, curve] : hold.Curves)
    curve->setVisible(hold.Visible && XUnitOf(Live[source]) == hold.XUnit);
}

void TChartHolds::SetVisible(int i, bool visible) {
  THold& hold = *Holds.at(static_cast<std::size_t>(i));
  hold.Visible = visible;
  ShowHold(hold);
  emit Changed();
}

void TChartHolds::Remove(int i) {
  const auto at = Holds.begin() + i;
  for (const auto& c : (*at)->Curves) {
    Chart->removeSeries(c.second);
    delete c.second;
  }
  Holds.erase(at);
  emit Changed();
}

void TChartHolds::FollowAxes() {
  for (const auto& hold : Holds) {
    for (const auto& [source, curve] : hold->Curves) {
      for (QAbstractAxis* axis : curve->attachedAxes()) curve->detachAxis(axis);
      for (QAbstractAxis* axis : Live[source]->attachedAxes()) curve->attachAxis(axis);
    }
    ShowHold(*hold);
  }
}

// The frequencies of the hold's first curve; the other curves' values there (read as drawn).
QString TChartHolds::Save(int i, const QString& file) const {
  const THold& hold = *Holds.at(static_cast<std::size_t>(i));
  const QList<QPointF> first = hold.Curves.front().second->points();
  const bool logX = LogarithmicX(hold.Curves.front().second);
  QByteArray text;
  for (const QPointF& p : first) {
    std::string line = FormatResultNumber(p.x());
    for (const auto& c : hold.Curves) {
      const double y = c.second == hold.Curves.front().second ? p.y() : CurveValueAt(c.second->points(), p.x(), logX);
      line += " " + FormatResultNumber(y);
    }
    text += QByteArray::fromStdString(line) + "\r\n";
  }
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size() || !out.flush())
    return "Can not save the held curves to " + file + ": " + out.errorString();
  return {};
}

// Column j + 1 becomes a held copy of live curve j, on its axes; extra columns are ignored.
QString TChartHolds::Load(const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return "Can not read " + file + ": " + in.errorString();
  std::vector<QList<QPointF>> columns(Live.size());
  std::vector<double> values;
  int lineNumber = 0;
  while (!in.atEnd()) {
    const QByteArray line = in.readLine();
    ++lineNumber;
    if (line.trimmed().isEmpty()) continue;
    if (!ParseLine(line, values) || values.size() < 2)
      return QString("%1, line %2: not a line of numbers").arg(file).arg(lineNumber);
    for (std::size_t j = 0; j + 1 < values.size() && j < Live.size(); ++j)
      if (std::isfinite(values[j + 1])) columns[j].append({values[0], values[j + 1]});
  }
  auto hold = std::make_unique<THold>();
  hold->Name = QFileInfo(file).completeBaseName();
  for (std::size_t j = 0; j < Live.size(); ++j) {
    if (columns[j].isEmpty()) continue;
    if (hold->XUnit.isEmpty()) hold->XUnit = XUnitOf(Live[j]);
    AddCurve(*hold, j, columns[j], hold->Name);
  }
  if (hold->Curves.empty()) return file + ": no curves";
  ShowHold(*hold);
  Holds.push_back(std::move(hold));
  emit Changed();
  return {};
}

} // namespace platform
