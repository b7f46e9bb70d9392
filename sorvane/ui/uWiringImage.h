#pragma once
// Image1 on the "Setup" tab: the wiring of the measuring box between the sound card's jacks and
// the component under test, painted to fit the widget. The card's left output drives R ballast;
// the left input hears the top of Zx, the right input the top of R ref; S1 shorts Zx for the
// calibration.

#include <QStringList>
#include <QWidget>

namespace sorvane {

class TWiringImage : public QWidget {
public:
  explicit TWiringImage(QWidget* parent = nullptr);
  // Every text the picture shows.
  static QStringList Labels();
  QSize sizeHint() const override { return {520, 240}; }

protected:
  void paintEvent(QPaintEvent* event) override;
};

} // namespace sorvane
