#pragma once
// The main window's chart: three line series (red on the left value axis, blue and fuchsia on
// the right one), a bottom axis that is logarithmic for impedance against frequency or linear
// for waveforms, and the options of the window (everything on the left axis, fixed scale, the
// grid of the axis last clicked). The value axes follow the points unless the scale is fixed.

#include "dravik/measure/uAnalysisOutput.h"

#include <QChart>
#include <QLineSeries>
#include <QString>
#include <QValueAxis>

#include <array>
#include <functional>

namespace dravik {

class TLCRChart {
public:
  TLCRChart();

  // The chart is owned by the view it is shown in.
  QChart* Chart() const { return FChart; }
  QLineSeries* Series(TSeriesId id) const { return FSeries[Index(id)]; }
  QAbstractAxis* BottomAxis() const { return FBottom; }
  QValueAxis* LeftAxis() const { return FLeft; }
  QValueAxis* RightAxis() const { return FRight; }
  bool Logarithmic() const { return FLogarithmic; }

  void SetTitle(TSeriesId id, const QString& title);
  // Replaces the points of a series and rescales the axes (unless the scale is fixed or the
  // user has zoomed).
  void SetPoints(TSeriesId id, const TChartPoints& points);
  // Frequency on a logarithmic axis, or time on a linear one, in the given unit ("Hz", "ms").
  void SetBottomAxis(bool logarithmic, const QString& unit);
  // Series2 and Series3 on the left axis (whose labels then lose their red), or back right.
  void SetAllOnLeft(bool allOnLeft);
  // Fixed: the value axes keep their present ranges.
  void SetFixedScale(bool fixed);
  // Shows the grid of one value axis and hides the other's.
  void ShowGridOf(bool rightAxis);
  // After the series have moved to other axes (the held copies follow them).
  std::function<void()> OnAxesChanged;
  // The axes follow the points again (after the user's zoom has been undone).
  void Rescale();

private:
  static std::size_t Index(TSeriesId id) { return static_cast<std::size_t>(id); }
  QValueAxis* MakeValueAxis(const QColor& colour, Qt::Alignment side);
  void MakeBottomAxes();
  void RescaleValueAxis(QValueAxis* axis);
  void RescaleBottomAxis();
  void TitleValueAxes();

  QChart* FChart;
  std::array<QLineSeries*, 3> FSeries{};
  QValueAxis* FLeft = nullptr;
  QValueAxis* FRight = nullptr;
  QAbstractAxis* FBottom = nullptr; // the one of the two below in use
  QAbstractAxis* FLogBottom = nullptr;
  QAbstractAxis* FLinearBottom = nullptr;
  bool FLogarithmic = true;
  bool FAllOnLeft = false;
  bool FFixed = false;
  QString FValueUnit;
};

} // namespace dravik
