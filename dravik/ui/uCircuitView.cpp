#include "dravik/ui/uCircuitView.h"

#include <QPainter>

namespace dravik {
namespace {

// The drawing's grid: the component's column, the two input wires' columns and the heights of
// the terminals, the tap between Zx and the reference resistor, and the ground.
constexpr int Width = 298;
constexpr int Height = 156;
constexpr int ColZ = 30;
constexpr int ColInL = 206;
constexpr int ColInR = 282;
constexpr int WireTop = 34;
constexpr int TermTop = 50;
constexpr int TermBottom = 104;
constexpr int Tap = 112;
constexpr int RTop = 118;
constexpr int RBottom = 140;
constexpr int Ground = 146;
constexpr int TermRadius = 4;
// What the result labels show before a result.
constexpr const char* ZCaption = "Zx";
constexpr const char* RCaption = "Rx";

} // namespace

TCircuitView::TCircuitView(QWidget* parent) : QWidget(parent) {
  setObjectName("Circuit");
  MakeLabel("Output", palette().color(QPalette::WindowText), false)->move(4, 0);
  MakeLabel("L", Qt::red, true)->move(ColZ - 4, 16);
  MakeLabel("R", Qt::blue, true)->move(ColZ + 18, 16);
  MakeLabel("Input", palette().color(QPalette::WindowText), false)->move(ColInL - 10, 0);
  lblLeft = MakeLabel("L", Qt::red, true);
  lblLeft->setObjectName("lblLeft");
  lblLeft->move(ColInL - 4, 16);
  lblRight = MakeLabel("R", Qt::blue, true);
  lblRight->setObjectName("lblRight");
  lblRight->move(ColInR - 4, 16);
  cbSwap = new QCheckBox("Swap", this);
  cbSwap->setObjectName("cbSwap");
  cbSwap->move(ColInL + 14, 14);
  lblZ = MakeLabel(ZCaption, palette().color(QPalette::WindowText), true);
  lblZ->setObjectName("lblZ");
  lblZ->setGeometry(ColZ + 24, TermTop + 10, Width - ColZ - 30, 20);
  lblR = MakeLabel(RCaption, palette().color(QPalette::WindowText), true);
  lblR->setObjectName("lblR");
  lblR->setGeometry(ColZ + 24, TermTop + 30, Width - ColZ - 30, 20);
  edR = new QLineEdit("10", this);
  edR->setObjectName("edR");
  edR->setGeometry(ColZ + 24, RTop, 80, 22);
  lblOhm = MakeLabel("Ohm", palette().color(QPalette::WindowText), false);
  lblOhm->move(ColZ + 110, RTop + 3);
  setFixedSize(sizeHint());
}

QSize TCircuitView::sizeHint() const { return {Width, Height}; }

void TCircuitView::ShowNoResult() {
  lblZ->setText(ZCaption);
  lblR->setText(RCaption);
}

QLabel* TCircuitView::MakeLabel(const QString& text, const QColor& colour, bool bold) {
  auto* label = new QLabel(text, this);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, colour);
  label->setPalette(pal);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  label->adjustSize();
  return label;
}

void TCircuitView::SetCalibrationMode(bool calibration) {
  FCalibration = calibration;
  update();
}

void TCircuitView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(palette().color(QPalette::WindowText), 1));
  PaintOutput(p);
  PaintComponent(p);
  PaintReference(p);
  PaintInputs(p);
}

// The output's left channel drives the jig; the right one is marked but unused.
void TCircuitView::PaintOutput(QPainter& p) const {
  p.drawLine(ColZ, WireTop, ColZ, TermTop - TermRadius);
  p.drawEllipse(QPoint(ColZ + 22, WireTop), 2, 2);
}

void TCircuitView::PaintComponent(QPainter& p) const {
  p.drawEllipse(QPoint(ColZ, TermTop), TermRadius, TermRadius);
  p.drawEllipse(QPoint(ColZ, TermBottom), TermRadius, TermRadius);
  const QRect body(ColZ - 10, TermTop + 12, 20, TermBottom - TermTop - 24);
  p.drawLine(ColZ, TermTop + TermRadius, ColZ, body.top());
  p.drawLine(ColZ, body.bottom(), ColZ, TermBottom - TermRadius);
  p.drawRect(body);
  QFont small = p.font();
  small.setPointSizeF(small.pointSizeF() * 0.8);
  p.save();
  p.setFont(small);
  p.drawText(body, Qt::AlignCenter, "Zx");
  p.restore();
  if (!FCalibration) return;
  // ShCC: the terminals shorted, as the switch of the jig does for calibration.
  p.save();
  p.setPen(QPen(palette().color(QPalette::WindowText), 2.5));
  const int side = ColZ - 20;
  p.drawPolyline(QPolygon({QPoint(ColZ - TermRadius, TermTop), QPoint(side, TermTop),
                           QPoint(side, TermBottom), QPoint(ColZ - TermRadius, TermBottom)}));
  p.restore();
}

// shpRUp, shpR and shpRGnd with the ground symbol; dotted while calibrating.
void TCircuitView::PaintReference(QPainter& p) const {
  p.save();
  QPen pen = p.pen();
  if (FCalibration) pen.setStyle(Qt::DotLine);
  p.setPen(pen);
  p.drawLine(ColZ, TermBottom + TermRadius, ColZ, RTop);
  p.drawRect(QRect(ColZ - 7, RTop, 14, RBottom - RTop));
  p.drawLine(ColZ, RBottom, ColZ, Ground);
  p.restore();
  p.drawLine(ColZ - 9, Ground, ColZ + 9, Ground);
  p.drawLine(ColZ - 6, Ground + 3, ColZ + 6, Ground + 3);
  p.drawLine(ColZ - 3, Ground + 6, ColZ + 3, Ground + 6);
}

// Input left takes the top of the series pair, input right the top of the reference resistor.
void TCircuitView::PaintInputs(QPainter& p) const {
  p.drawPolyline(QPolygon({QPoint(ColInL, WireTop), QPoint(ColInL, TermTop),
                           QPoint(ColZ + TermRadius, TermTop)}));
  p.drawPolyline(QPolygon({QPoint(ColInR, WireTop), QPoint(ColInR, Tap), QPoint(ColZ, Tap)}));
  p.setBrush(palette().color(QPalette::WindowText));
  p.drawEllipse(QPoint(ColZ, Tap), 2, 2);
}

} // namespace dravik
