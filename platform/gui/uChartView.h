#pragma once
// The line chart's view of the GUI toolkit: a QChartView that says when it has painted (every
// series in it has then been drawn) and which value axis the user clicked (left or right of the
// plot area), since the chart itself offers neither.

#include <QChartView>

namespace platform {

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

} // namespace platform
