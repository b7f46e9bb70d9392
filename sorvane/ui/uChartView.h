#pragma once
// The chart's view: a QChartView that says when it has painted (every series in it has then
// been drawn) and which value axis the user clicked, since the chart itself offers neither.

#include <QChartView>

namespace sorvane {

class TChartView : public QChartView {
  Q_OBJECT
public:
  explicit TChartView(QChart* chart, QWidget* parent = nullptr);

signals:
  void Painted();
  // A click beside the plot area: on the right value axis (true) or the left one (false).
  void AxisClicked(bool rightAxis);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

} // namespace sorvane
