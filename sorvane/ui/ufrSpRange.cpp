#include "sorvane/ui/ufrSpRange.h"

#include <QApplication>
#include <cstdlib>

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "sorvane/ui/uScaleLayout.h"

namespace sorvane {
namespace {

constexpr int ScaleHeight = 16;
constexpr int BarHeight = 20;
constexpr int EditHeight = 22;
constexpr int EditWidth = 80;
constexpr int FrameHeight = ScaleHeight + BarHeight + EditHeight + 1;
constexpr int SplitterWidth = 8;
constexpr int Bevel = 1;     // pnFullRange's border
constexpr int MinSide = 2;   // pnMin and pnMax are never narrower
constexpr int LineHeight = 5;

QFrame* MakePanel(QWidget* parent, const char* name, QPalette::ColorRole colour, QFrame::Shadow shadow) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setFrameStyle(QFrame::Panel | shadow);
  panel->setLineWidth(1);
  panel->setAutoFillBackground(true);
  panel->setBackgroundRole(colour);
  return panel;
}

} // namespace

// ---- The ruler ----

TScaleImage::TScaleImage(QWidget* parent) : QWidget(parent) {
  QFont small = font();
  small.setPointSizeF(7);
  setFont(small);
}

void TScaleImage::DrawScale(double min, double max, int leftLimit, int usable, bool log) {
  Bitmap = QPixmap(std::max(width(), 1), std::max(height(), 1));
  Bitmap.fill(palette().color(QPalette::Button));
  QPainter p(&Bitmap);
  p.setFont(font());
  p.setPen(palette().color(QPalette::ButtonText));
  const QFontMetrics metrics(font());
  TScaleGeometry g;
  g.ImageWidth = Bitmap.width();
  g.LeftLimit = leftLimit;
  g.Usable = usable;
  const QString decade = QString::fromStdString(ScaleText(ScaleDecade(max)));
  g.DecadeTextWidth = metrics.horizontalAdvance(decade);
  g.WideDecadeTextWidth = metrics.horizontalAdvance(decade + "0");
  const TScaleLayout layout = log ? LayoutLogScale(min, max, g) : LayoutScale(min, max, g);
  const auto at = [&](double v) { return log ? LogScaleX(v, min, max, g) : ScaleX(v, min, max, g); };
  const int bottom = Bitmap.height() - 1;
  for (const double v : layout.Labels) {
    const int x = at(v);
    p.drawText(QPoint(x, 1 + metrics.ascent()), QString::fromStdString(ScaleText(v)));
    p.drawLine(x, bottom - 4, x, bottom);
  }
  for (const double v : layout.MinorTicks) {
    const int x = at(v);
    p.drawLine(x, bottom - 2, x, bottom);
  }
  update();
}

void TScaleImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Button));
  p.drawPixmap(0, 0, Bitmap);
}

// ---- The splitters ----

TRangeSplitter::TRangeSplitter(TfrSpRange* owner, bool leftSide, QWidget* parent)
    : QFrame(parent), Owner(owner), LeftSide(leftSide) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Midlight);
  setCursor(Qt::SplitHCursor);
}

void TRangeSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Pressed = true;
  PressX = static_cast<int>(event->globalPosition().x());
  PressWidth = Owner->SideWidth(LeftSide);
}

void TRangeSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (!Pressed) return;
  const int dx = static_cast<int>(event->globalPosition().x()) - PressX;
  int proposed = LeftSide ? PressWidth + dx : PressWidth - dx;
  Owner->SpCanResize(proposed);
  // The splitters never cross: the bar shrinks to nothing at most.
  Owner->SetSideWidth(LeftSide, std::min(proposed, Owner->SideRoom(LeftSide)));
}

void TRangeSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (!Pressed || event->button() != Qt::LeftButton) return;
  Pressed = false;
  if (static_cast<int>(event->globalPosition().x()) == PressX) return;
  if (LeftSide) Owner->SpMinMoved();
  else Owner->SpMaxMoved();
}

// ---- The frame ----

TfrSpRange::TfrSpRange(QWidget* parent) : QFrame(parent) {
  setObjectName("frSpRange");
  setFixedHeight(FrameHeight);
  setMinimumWidth(120);
  imScale = new TScaleImage(this);
  imScale->setObjectName("imScale");
  pnFullRange = MakePanel(this, "pnFullRange", QPalette::Button, QFrame::Sunken);
  pnMin = MakePanel(pnFullRange, "pnMin", QPalette::Base, QFrame::Sunken);
  SpMin = new TRangeSplitter(this, true, pnFullRange);
  SpMin->setObjectName("SpMin");
  pnRange = MakePanel(pnFullRange, "pnRange", QPalette::Midlight, QFrame::Plain);
  pnRange->setFrameStyle(QFrame::NoFrame);
  pnLine = new QFrame(pnRange);
  pnLine->setObjectName("pnLine");
  pnLine->setStyleSheet("QFrame#pnLine { background-color: rgb(255, 0, 0);"
                        " border: 1px solid rgb(128, 0, 0); }");
  SpMax = new TRangeSplitter(this, false, pnFullRange);
  SpMax->setObjectName("SpMax");
  pnMax = MakePanel(pnFullRange, "pnMax", QPalette::Base, QFrame::Sunken);
  for (QObject* o : {static_cast<QObject*>(pnFullRange), static_cast<QObject*>(pnRange),
                     static_cast<QObject*>(pnLine)})
    o->installEventFilter(this);
  edMin = new QLineEdit(this);
  edMin->setObjectName("edMin");
  edMax = new QLineEdit(this);
  edMax->setObjectName("edMax");
  edMax->setAlignment(Qt::AlignRight);
  for (QLineEdit* edit : {edMin, edMax}) {
    edit->setToolTip("Type a limit of the range and press Enter");
    connect(edit, &QLineEdit::editingFinished, this, &TfrSpRange::LimitTyped);
  }
  SetFullRange(1, 100);
}

TfrSpRange::~TfrSpRange() {
  for (QLineEdit* edit : {edMin, edMax}) disconnect(edit, nullptr, this, nullptr);
  for (QObject* o : {static_cast<QObject*>(pnFullRange), static_cast<QObject*>(pnRange),
                     static_cast<QObject*>(pnLine)})
    o->removeEventFilter(this);
}

int TfrSpRange::LeftLimit() const { return SplitterWidth + 3; }
int TfrSpRange::RightLimit() const { return pnFullRange->width() - SplitterWidth - 3; }

void TfrSpRange::SetFullRange(double min, double max) {
  FFullMin = min;
  FFullMax = max;
  imScale->DrawScale(min, max, LeftLimit(), Usable(), Logarithmic());
  SetRange(min, max);
  FLastMin = min + (max - min) * 1 / 3;
  FLastMax = min + (max - min) * 2 / 3;
}

void TfrSpRange::SetRange(double min, double max) {
  if (!(min >= FFullMin)) min = FFullMin;
  // A bound that is not a number would leave the bar without a place: it means the full end.
  if (max > FFullMax || std::isnan(max)) max = FFullMax;
  FRangeMin = min;
  FRangeMax = max;
  Remember();
  PlaceBar();
  Notify();
}

void TfrSpRange::SetLogarithmic(bool log) {
  FLog = log;
  imScale->DrawScale(FFullMin, FFullMax, LeftLimit(), Usable(), Logarithmic());
  PlaceBar();
}

double TfrSpRange::ScalePos(double v) const {
  return Logarithmic() ? std::log(std::max(v, FFullMin) / FFullMin) : v - FFullMin;
}

double TfrSpRange::ValueAt(double pos) const {
  return Logarithmic() ? FFullMin * std::exp(pos) : pos + FFullMin;
}

// The side panels' widths for the selection, then the bar between them.
void TfrSpRange::PlaceBar() {
  const double k = Usable() / ScalePos(FFullMax);
  const bool scaled = std::isfinite(k) && k > 0;
  MinWidth = scaled ? static_cast<int>(std::lround(ScalePos(FRangeMin) * k)) + MinSide : MinSide;
  MaxWidth = scaled ? static_cast<int>(std::lround((ScalePos(FFullMax) - ScalePos(FRangeMax)) * k)) + MinSide
                    : MinSide;
  LayoutBar();
}

// A limit typed and confirmed: the range from both boxes, when they hold numbers in order;
// otherwise the boxes show the range in force again.
void TfrSpRange::LimitTyped() {
  bool okMin = false, okMax = false;
  const double min = edMin->text().trimmed().toDouble(&okMin);
  const double max = edMax->text().trimmed().toDouble(&okMax);
  if (okMin && okMax && min < max && (min != FRangeMin || max != FRangeMax)) SetRange(min, max);
  else ShowLimits();
}

void TfrSpRange::ShowLimits() {
  edMin->setText(QString::number(FRangeMin, 'g', 6));
  edMax->setText(QString::number(FRangeMax, 'g', 6));
}

void TfrSpRange::Remember() {
  if (FRangeMin != FFullMin || FRangeMax != FFullMax) {
    FLastMin = FRangeMin;
    FLastMax = FRangeMax;
  }
}

void TfrSpRange::Notify() {
  ShowLimits();
  if (OnRangeChange) OnRangeChange(FRangeMin, FRangeMax);
}

// Places the side panels, the splitters and the bar between them inside pnFullRange's border.
void TfrSpRange::LayoutBar() {
  const int w = pnFullRange->width();
  const int h = pnFullRange->height() - 2 * Bevel;
  const int rangeLeft = Bevel + MinWidth + SplitterWidth;
  const int rangeWidth = std::max(0, w - Bevel - MaxWidth - SplitterWidth - rangeLeft);
  pnMin->setGeometry(Bevel, Bevel, MinWidth, h);
  SpMin->setGeometry(Bevel + MinWidth, Bevel, SplitterWidth, h);
  pnRange->setGeometry(rangeLeft, Bevel, rangeWidth, h);
  SpMax->setGeometry(rangeLeft + rangeWidth, Bevel, SplitterWidth, h);
  pnMax->setGeometry(w - Bevel - MaxWidth, Bevel, MaxWidth, h);
  pnRangeResize();
}

void TfrSpRange::SetSideWidth(bool left, int width) {
  (left ? MinWidth : MaxWidth) = width;
  LayoutBar();
}

int TfrSpRange::SideRoom(bool left) const {
  const int other = left ? MaxWidth : MinWidth;
  return pnFullRange->width() - 2 * Bevel - 2 * SplitterWidth - other;
}

void TfrSpRange::SpCanResize(int& newSize) const {
  if (newSize < MinSide) newSize = MinSide;
}

void TfrSpRange::SpMinMoved() {
  if (pnRange->x() + pnRange->width() > SpMax->x()) {
    const int w = pnRange->x() - SplitterWidth - 2;
    if (w > MinSide) MinWidth = w;
    LayoutBar();
  }
  RangeFromBar();
}

void TfrSpRange::SpMaxMoved() {
  if (pnRange->x() + pnRange->width() > SpMax->x()) LayoutBar();
  RangeFromBar();
}

void TfrSpRange::RangeFromBar() {
  const double f = ScalePos(FFullMax) / Usable();
  FRangeMin = ValueAt((pnRange->x() - LeftLimit()) * f);
  FRangeMax = ValueAt((pnRange->x() + pnRange->width() - LeftLimit()) * f);
  Remember();
  Notify();
}

void TfrSpRange::pnRangeMouseDown(int globalX) {
  FDragging = true;
  FMoved = false;
  GrabOffset = globalX - pnRange->x();
  DownX = globalX;
  pnRange->setBackgroundRole(QPalette::Dark);
}

void TfrSpRange::pnRangeMouseMove(int globalX) {
  if (!FDragging) return;
  // A hand that trembles during a click or a double-click moves nothing: the bar follows the
  // pointer only once it has gone further than the platform's drag distance.
  if (!FMoved && std::abs(globalX - DownX) < QApplication::startDragDistance()) return;
  FMoved = true;
  const int w = pnRange->width();
  int a = globalX - GrabOffset;
  if (a < LeftLimit()) a = LeftLimit();
  if (a + w > RightLimit()) a = RightLimit() - w;
  if (a - SplitterWidth - 1 != MinWidth) {
    MinWidth = a - SplitterWidth - 1;
    MaxWidth = pnFullRange->width() - a - w - SplitterWidth - 1;
    LayoutBar();
  }
}

void TfrSpRange::pnRangeMouseUp(int globalX) {
  FDragging = false;
  pnRange->setBackgroundRole(QPalette::Button);
  // Only a drag reads the range back from the bar's pixels; a click keeps it exact.
  if (FMoved && globalX != DownX) RangeFromBar();
  FMoved = false;
}

void TfrSpRange::pnRangeDblClick() {
  if (FRangeMin == FFullMin && FRangeMax == FFullMax) SetRange(FLastMin, FLastMax);
  else SetRange(FFullMin, FFullMax);
}

void TfrSpRange::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  imScale->setGeometry(0, 0, width(), ScaleHeight);
  pnFullRange->setGeometry(0, ScaleHeight, width(), BarHeight);
  const int editTop = ScaleHeight + BarHeight + 1;
  edMin->setGeometry(0, editTop, EditWidth, EditHeight);
  edMax->setGeometry(width() - EditWidth, editTop, EditWidth, EditHeight);
  FrameResize();
}

void TfrSpRange::FrameResize() { SetRange(FRangeMin, FRangeMax); }

void TfrSpRange::pnFullRangeResize() {
  imScale->resize(pnFullRange->width(), imScale->height());
  imScale->DrawScale(FFullMin, FFullMax, LeftLimit(), Usable(), Logarithmic());
}

void TfrSpRange::pnRangeResize() {
  pnLine->setGeometry(0, 1, pnRange->width(), LineHeight);
}

bool TfrSpRange::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pnFullRange) {
    if (event->type() == QEvent::Resize) pnFullRangeResize();
    return false;
  }
  const auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
      type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
    return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const int x = static_cast<int>(mouse->globalPosition().x());
  switch (type) {
  case QEvent::MouseButtonPress:
    if (mouse->button() == Qt::LeftButton) pnRangeMouseDown(x);
    break;
  case QEvent::MouseMove: pnRangeMouseMove(x); break;
  case QEvent::MouseButtonRelease:
    if (mouse->button() == Qt::LeftButton) pnRangeMouseUp(x);
    break;
  default: pnRangeDblClick(); break;
  }
  return true;
}

} // namespace sorvane
