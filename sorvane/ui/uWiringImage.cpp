#include "sorvane/ui/uWiringImage.h"

#include <QPainter>
#include <QPainterPath>

namespace sorvane {
namespace {

// The drawing is made on a 520 x 240 grid and scaled to the widget.
constexpr double GridW = 520, GridH = 240;

void Jack(QPainter& p, QPointF at) {
  p.setBrush(Qt::white);
  p.drawEllipse(at, 5, 5);
  p.setBrush(Qt::black);
  p.drawEllipse(at, 1.5, 1.5);
  p.setBrush(Qt::NoBrush);
}

void Node(QPainter& p, QPointF at) {
  p.setBrush(Qt::black);
  p.drawEllipse(at, 2.5, 2.5);
  p.setBrush(Qt::NoBrush);
}

// A resistor from (x, y) to (x + 40, y) or, vertical, to (x, y + 40).
void Resistor(QPainter& p, QPointF at, bool vertical) {
  p.setBrush(Qt::white);
  if (vertical) p.drawRect(QRectF(at.x() - 6, at.y(), 12, 40));
  else p.drawRect(QRectF(at.x(), at.y() - 6, 40, 12));
  p.setBrush(Qt::NoBrush);
}

void Text(QPainter& p, QPointF at, const QString& text, bool bold = false) {
  QFont f = p.font();
  f.setBold(bold);
  p.setFont(f);
  p.drawText(at, text);
}

void Ground(QPainter& p, QPointF at) {
  p.drawLine(at + QPointF(-10, 0), at + QPointF(10, 0));
  p.drawLine(at + QPointF(-6, 4), at + QPointF(6, 4));
  p.drawLine(at + QPointF(-2, 8), at + QPointF(2, 8));
}

void Coil(QPainter& p, QPointF top) {
  QPainterPath path(top);
  for (int i = 0; i < 4; ++i)
    path.arcTo(QRectF(top.x() - 6, top.y() + i * 10, 12, 10), 90, -180);
  p.drawPath(path);
}

void Capacitor(QPainter& p, QPointF top) {
  p.drawLine(top, top + QPointF(0, 16));
  p.drawLine(top + QPointF(-10, 16), top + QPointF(10, 16));
  p.drawLine(top + QPointF(-10, 24), top + QPointF(10, 24));
  p.drawLine(top + QPointF(0, 24), top + QPointF(0, 40));
}

} // namespace

TWiringImage::TWiringImage(QWidget* parent) : QWidget(parent) {
  setObjectName("Image1");
  setMinimumSize(260, 120);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
}

QStringList TWiringImage::Labels() {
  return {"Connection box", "Line Out Left", "Line Out Right", "Line In Left", "Line In Right",
          "R ballast", "R ref", "S1", "Zx Out", "Zx In", "Lx", "Cx", "IN", "OUT", "COM"};
}

void TWiringImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const double scale = std::min(width() / GridW, height() / GridH);
  p.translate((width() - GridW * scale) / 2, (height() - GridH * scale) / 2);
  p.scale(scale, scale);
  QFont f = font();
  f.setPointSizeF(8);
  p.setFont(f);
  p.setPen(QPen(Qt::black, 1.2));

  // The sound card's jacks.
  Text(p, {10, 20}, "Sound card", true);
  Jack(p, {100, 50});
  Text(p, {10, 54}, "Line Out Left");
  Jack(p, {100, 80});
  Text(p, {10, 84}, "Line Out Right");
  Jack(p, {100, 150});
  Text(p, {10, 154}, "Line In Left");
  Jack(p, {100, 180});
  Text(p, {10, 184}, "Line In Right");

  // The box and its jacks.
  p.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
  p.drawRect(QRectF(150, 25, 250, 200));
  p.setPen(QPen(Qt::black, 1.2));
  Text(p, {158, 20}, "Connection box", true);
  Jack(p, {160, 50});
  Text(p, {170, 66}, "IN");
  Jack(p, {160, 150});
  Jack(p, {160, 180});
  Text(p, {172, 169}, "OUT");
  Jack(p, {160, 215});
  Text(p, {172, 219}, "COM");
  p.drawLine(QPointF(105, 50), QPointF(155, 50));
  p.drawLine(QPointF(105, 150), QPointF(155, 150));
  p.drawLine(QPointF(105, 180), QPointF(155, 180));
  Ground(p, {160, 228});
  p.drawLine(QPointF(160, 220), QPointF(160, 228));

  // IN -> R ballast -> top of Zx (heard by the left input).
  p.drawLine(QPointF(165, 50), QPointF(220, 50));
  Resistor(p, {220, 50}, false);
  Text(p, {219, 72}, "R ballast");
  p.drawLine(QPointF(260, 50), QPointF(330, 50));
  Node(p, {300, 50});
  p.drawLine(QPointF(300, 50), QPointF(300, 150));
  p.drawLine(QPointF(165, 150), QPointF(300, 150));
  Node(p, {300, 150});

  // Zx between its two terminals, shorted by S1 for the calibration.
  Jack(p, {335, 50});
  Text(p, {345, 46}, "Zx Out");
  Jack(p, {335, 110});
  Text(p, {345, 124}, "Zx In");
  p.drawLine(QPointF(330, 50), QPointF(330, 65));
  p.drawLine(QPointF(330, 65), QPointF(315, 88)); // S1, open
  p.drawLine(QPointF(330, 95), QPointF(330, 110));
  Text(p, {300, 86}, "S1");
  p.drawLine(QPointF(330, 110), QPointF(330, 165));

  // The right input hears the top of R ref.
  p.drawLine(QPointF(165, 180), QPointF(330, 180));
  Node(p, {330, 180});
  p.drawLine(QPointF(330, 165), QPointF(330, 180));
  Resistor(p, {370, 170}, true);
  p.drawLine(QPointF(330, 165), QPointF(370, 165));
  p.drawLine(QPointF(370, 165), QPointF(370, 170));
  Text(p, {380, 195}, "R ref");
  p.drawLine(QPointF(370, 210), QPointF(370, 215));
  p.drawLine(QPointF(165, 215), QPointF(370, 215));

  // The component under test outside the box: a coil Lx or a capacitor Cx.
  p.drawLine(QPointF(340, 50), QPointF(470, 50));
  p.drawLine(QPointF(340, 110), QPointF(470, 110));
  p.drawLine(QPointF(430, 50), QPointF(430, 60));
  Coil(p, {430, 60});
  p.drawLine(QPointF(430, 100), QPointF(430, 110));
  Text(p, {440, 84}, "Lx");
  p.drawLine(QPointF(480, 50), QPointF(480, 60));
  Capacitor(p, {480, 60});
  p.drawLine(QPointF(480, 100), QPointF(480, 110));
  p.drawLine(QPointF(470, 50), QPointF(480, 50));
  p.drawLine(QPointF(470, 110), QPointF(480, 110));
  Text(p, {492, 84}, "Cx");
  Text(p, {418, 140}, "Lx or Cx: Zx");
}

} // namespace sorvane
