#include "platform/gui/uChartView.h"

#include "platform/gui/uChartSvg.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// One notch of the wheel zooms by this factor; a drag shorter than this is a click.
constexpr double WheelZoom = 1.25;
constexpr int DragPx = 4;
constexpr double MaxNotches = 3;

} // namespace

TChartView::TChartView(QChart* chart, QWidget* parent)
    : QChartView(chart, parent), FCursor(std::make_unique<TChartCursor>(chart)), FZoom(chart) {
  setRenderHint(QPainter::Antialiasing);
  setMouseTracking(true);
  Band = new QRubberBand(QRubberBand::Rectangle, viewport());
  Band->hide();
}

TChartView::~TChartView() = default;

QPointF TChartView::ChartPoint(QPoint viewPos) const { return chart()->mapFromScene(mapToScene(viewPos)); }

void TChartView::paintEvent(QPaintEvent* event) {
  QChartView::paintEvent(event);
  emit Painted();
}

void TChartView::mousePressEvent(QMouseEvent* event) {
  const QPointF at = mapToScene(event->position().toPoint());
  const QRectF plot = chart()->plotArea();
  if (at.y() >= plot.top() && at.y() <= plot.bottom()) {
    if (at.x() < plot.left()) emit AxisClicked(false);
    else if (at.x() > plot.right()) emit AxisClicked(true);
  }
  PressAt = event->position().toPoint();
  if (event->button() == Qt::LeftButton && plot.contains(ChartPoint(PressAt))) LeftDown = true;
  if (event->button() == Qt::MiddleButton) {
    Panning = true;
    PanFrom = PressAt;
  }
  QChartView::mousePressEvent(event);
}

void TChartView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (Panning) {
    FZoom.Pan(at - PanFrom);
    PanFrom = at;
  } else if (LeftDown && (at - PressAt).manhattanLength() >= DragPx) {
    Band->setGeometry(QRect(PressAt, at).normalized());
    Band->show();
  }
  FCursor->PointerAt(ChartPoint(at));
  QChartView::mouseMoveEvent(event);
}

void TChartView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && LeftDown) {
    LeftDown = false;
    if (Band->isVisible()) {
      Band->hide();
      FZoom.ZoomTo(QRectF(ChartPoint(PressAt), ChartPoint(at)));
    } else {
      FCursor->SetMarker(ChartPoint(at));
    }
  }
  if (event->button() == Qt::MiddleButton) Panning = false;
  // The view's own release handling would zoom out on the right button.
  QGraphicsView::mouseReleaseEvent(event);
}

void TChartView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && chart()->plotArea().contains(ChartPoint(event->position().toPoint())))
    ShowWholeRange();
  QChartView::mouseDoubleClickEvent(event);
}

void TChartView::wheelEvent(QWheelEvent* event) {
  const QPointF at = ChartPoint(event->position().toPoint());
  // A fast spin is taken as a few notches, so one event never zooms out by orders of magnitude.
  // Some platforms turn the wheel with Shift into a horizontal one.
  const QPoint delta = event->angleDelta();
  const int turn = delta.y() != 0 ? delta.y() : delta.x();
  const double notches = std::clamp(turn / 120.0, -MaxNotches, MaxNotches);
  if (notches == 0 || !chart()->plotArea().contains(at)) return QChartView::wheelEvent(event);
  if (event->modifiers() & Qt::ShiftModifier) {
    FZoom.Pan(QPointF(notches * chart()->plotArea().width() / 10, 0));
  } else {
    // The frequency axis alone; with Ctrl the value axes too.
    const Qt::Orientations directions =
        event->modifiers() & Qt::ControlModifier ? Qt::Horizontal | Qt::Vertical : Qt::Horizontal;
    FZoom.ZoomAt(at, std::pow(WheelZoom, notches), directions);
  }
  FCursor->PointerAt(at);
  event->accept();
}

void TChartView::leaveEvent(QEvent* event) {
  FCursor->PointerLeft();
  QChartView::leaveEvent(event);
}

void TChartView::ShowWholeRange() {
  FZoom.WholeRange();
  emit WholeRangeShown();
}

QMenu* TChartView::MakeContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  QAction* whole = menu->addAction("Whole range", this, &TChartView::ShowWholeRange);
  whole->setEnabled(FZoom.Zoomed());
  menu->addSeparator();
  QAction* copy = menu->addAction("Copy values at marker", this, [this] {
    QApplication::clipboard()->setText(FCursor->MarkerText());
  });
  copy->setEnabled(FCursor->HasMarker());
  QAction* clear = menu->addAction("Clear marker", this, [this] { FCursor->ClearMarker(); });
  clear->setEnabled(FCursor->HasMarker());
  menu->addSeparator();
  menu->addAction("Save image...", this, &TChartView::AskAndSaveImage);
  return menu;
}

void TChartView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = MakeContextMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

bool TChartView::SaveImage(const QString& file) {
  // Neither the cursor nor the rubber band belongs in the picture; the marker does.
  FCursor->PointerLeft();
  if (file.endsWith(".svg", Qt::CaseInsensitive)) return WriteChartSvg(*this, file);
  return grab().save(file, "PNG");
}

void TChartView::AskAndSaveImage() {
  QString file = QFileDialog::getSaveFileName(this, "Save image", "chart.png",
                                              "PNG image (*.png);;SVG image (*.svg)");
  if (file.isEmpty()) return;
  if (!file.endsWith(".png", Qt::CaseInsensitive) && !file.endsWith(".svg", Qt::CaseInsensitive))
    file += ".png";
  if (!SaveImage(file)) QMessageBox::warning(this, window()->windowTitle(), "Can not save the image to " + file);
}

} // namespace platform
