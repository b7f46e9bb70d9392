#pragma once
// The chart's view: a QChartView that says when it has painted and which value axis the user
// clicked (left or right of the plot area), since the chart itself offers neither.

#include <QChartView>

namespace dravik {

class TChartView : public QChartView {
  Q_OBJECT
public:
  explicit TChartView(QChart* chart, QWidget* parent = nullptr);

signals:
  // After every paint of the chart.
  void Painted();
  // A click beside the plot area: on the right value axis (true) or the left one (false).
  void AxisClicked(bool rightAxis);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

} // namespace dravik
