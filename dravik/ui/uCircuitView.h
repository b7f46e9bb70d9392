#pragma once
// The diagram of the measuring circuit, painted: the output's channels, the component under
// test between its two terminals (shorted by ShCC in calibration mode), the reference resistor
// with its leads and ground (outlined dotted in calibration mode), and the two input channels
// with the Swap box between their labels. The controls inside the diagram (cbSwap, edR, lblZ,
// lblR, lblLeft, lblRight) are its children; the window uses them under the same names.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace dravik {

class TCircuitView : public QWidget {
  Q_OBJECT
public:
  explicit TCircuitView(QWidget* parent = nullptr);

  QCheckBox* cbSwap;
  QLineEdit* edR;
  QLabel* lblOhm;
  QLabel* lblZ;
  QLabel* lblR;
  QLabel* lblLeft;
  QLabel* lblRight;

  // Calibration: the terminals shorted and the reference resistor outlined dotted.
  void SetCalibrationMode(bool calibration);
  bool CalibrationMode() const { return FCalibration; }
  // The short across the terminals is shown (ShCC).
  bool ShortShown() const { return FCalibration; }
  // lblZ and lblR back to their captions, as before the first result.
  void ShowNoResult();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QLabel* MakeLabel(const QString& text, const QColor& colour, bool bold);
  void PaintOutput(QPainter& p) const;
  void PaintComponent(QPainter& p) const;
  void PaintReference(QPainter& p) const;
  void PaintInputs(QPainter& p) const;

  bool FCalibration = true;
};

} // namespace dravik
