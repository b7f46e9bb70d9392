#pragma once
// The main window's line chart: four series on a left and a right value axis over a linear or
// logarithmic frequency axis (and a third value axis for Series4 when it shows L, C, ESR or Q
// per bin), a legend in the series' colours, and value axes that follow the data drawn; the chart itself is handed to the chart view, which owns it. The full points of every series are kept here, so that thinning what is painted
// ("Draw all points" off) never thins what is saved.

#include <QChart>
#include <QLineSeries>
#include <QList>
#include <QLogValueAxis>
#include <QPointF>
#include <QValueAxis>
#include <array>
#include <functional>

namespace sorvane {

class TSorvaneChart {
public:
  TSorvaneChart();
  ~TSorvaneChart();
  TSorvaneChart(const TSorvaneChart&) = delete;
  TSorvaneChart& operator=(const TSorvaneChart&) = delete;

  QChart* Chart() const { return FChart; }
  // Series1, Series2, Series3, Series4 (painted in the order 1, 3, 2, 4).
  const std::array<QLineSeries*, 4>& SeriesList() const { return Series; }

  // The points of series i (0..3) as drawn, and as kept in full.
  void SetPoints(int i, const QList<QPointF>& points);
  const QList<QPointF>& Points(int i) const { return Full[i]; }
  void Clear();
  // Every point painted, or at most one per pixel column of the plot area.
  void SetDrawAllPoints(bool all);
  bool DrawAllPoints() const { return DrawAll; }

  void SetBottomLog(bool log);
  bool BottomLog() const { return BottomIsLog; }
  void SetLeftLog(bool log);
  bool LeftLog() const { return LeftIsLog; }
  // Series2 and Series4 on the left axis (its title hidden) or on the right one.
  void SetLeftForAll(bool all);
  bool LeftForAll() const { return AllLeft; }

  void SetTitles(const QString& left, const QString& right, const std::array<QString, 4>& series);
  // The units of the left and right axes ("Ohm", "°", empty for a ratio); the titles show them.
  void SetUnits(const QString& left, const QString& right);
  QString LeftTitle() const { return LeftTitleText; }
  QString RightTitle() const { return RightTitleText; }
  // Series4 on an axis of its own (right of the right axis), as a measured curve of the
  // quantity in the unit (L in "µH", Q without one); otherwise the model's curve on the
  // right axis.
  void SetCurveAxis(bool own, const QString& quantity, const QString& unit);
  bool CurveOwnAxis() const { return OwnCurveAxis; }
  QValueAxis* CurveAxisOf() const { return CurveAxis; }
  bool LeftTitleVisible() const { return !AllLeft; }
  void SetLegendVisible(bool visible);
  void SetLeftGrid(bool visible);
  void SetRightGrid(bool visible);
  bool LeftGrid() const;
  bool RightGrid() const { return Right->isGridLineVisible(); }

  // The value axes follow the data drawn.
  void Rescale();
  // After the series have moved to other axes (the held copies follow them).
  std::function<void()> OnAxesChanged;

  QAbstractAxis* BottomAxis() const;
  QAbstractAxis* LeftAxis() const;
  QValueAxis* RightAxis() const { return Right; }

private:
  void Attach();
  void Detach();
  void ApplyPoints(int i);
  void TitleAxes();
  void StyleSeries4(bool measured);
  void Fit(QAbstractAxis* axis, bool horizontal, bool log, const std::array<bool, 4>& members);

  QChart* FChart;
  std::array<QLineSeries*, 4> Series{};
  std::array<QList<QPointF>, 4> Full;
  QValueAxis* BottomLin;
  QLogValueAxis* BottomLogAxis;
  QValueAxis* LeftLin;
  QLogValueAxis* LeftLogAxis;
  QValueAxis* Right;
  QValueAxis* CurveAxis;
  QString LeftTitleText = "Re", RightTitleText = "Im";
  QString LeftUnit = "Ohm", RightUnit = "Ohm", CurveUnit;
  bool OwnCurveAxis = false;
  bool BottomIsLog = false, LeftIsLog = false, AllLeft = false, DrawAll = true;
  bool GridOnLeft = true;
};

} // namespace sorvane
