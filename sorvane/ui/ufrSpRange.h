#pragma once
// TfrSpRange: the strip under the chart on which the user picks the frequency sub-range of the
// sweep. A ruler of the full range on top; below it a bar whose ends are dragged with two
// splitters, which is itself dragged along the strip and toggles between the full range and the
// last sub-range on a double-click. Values map linearly to pixels, or logarithmically to follow
// a logarithmic chart above; the chosen limits are shown as numbers under the bar, where they
// can also be typed. The frame knows nothing of audio and reports each new selection through
// OnRangeChange.

#include <QFrame>
#include <QLineEdit>
#include <functional>

namespace sorvane {

class TRangeSplitter;

// The ruler: paints the scale of the full range (uScaleLayout.h) into its own bitmap.
class TScaleImage : public QWidget {
public:
  explicit TScaleImage(QWidget* parent);
  void DrawScale(double min, double max, int leftLimit, int usable, bool log);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QPixmap Bitmap;
};

class TfrSpRange : public QFrame {
  Q_OBJECT
public:
  explicit TfrSpRange(QWidget* parent = nullptr);
  // Closing the window takes the focus from a limit's box while the frame is being destroyed:
  // its "editing finished" must not reach a frame that is gone.
  ~TfrSpRange() override;

  void SetFullRange(double min, double max);
  void SetRange(double min, double max);
  // The ruler and the bar on a logarithmic scale (for a full range above zero); the selection
  // stays as it is and is not reported again.
  void SetLogarithmic(bool log);
  bool Logarithmic() const { return FLog && FFullMin > 0; }

  double RangeMin() const { return FRangeMin; }
  double RangeMax() const { return FRangeMax; }
  double FullMin() const { return FFullMin; }
  double FullMax() const { return FFullMax; }
  double LastMin() const { return FLastMin; }
  double LastMax() const { return FLastMax; }
  bool Dragging() const { return FDragging; }

  // Pixel positions of FullMin and FullMax in the coordinates of pnFullRange.
  int LeftLimit() const;
  int RightLimit() const;

  // The new lower and upper bound; empty by default.
  std::function<void(double lo, double hi)> OnRangeChange;

  TScaleImage* imScale;
  QFrame* pnFullRange;
  QFrame* pnMin;
  TRangeSplitter* SpMin;
  QFrame* pnRange;
  QFrame* pnLine;
  TRangeSplitter* SpMax;
  QFrame* pnMax;
  QLineEdit* edMin; // the selection's limits; a number typed and confirmed selects it
  QLineEdit* edMax;

  // Event handlers, also reached by the splitters.
  void SpCanResize(int& newSize) const;
  void SpMinMoved();
  void SpMaxMoved();
  // The side panels' widths (left: pnMin, else pnMax); setting one lays the bar out again.
  int SideWidth(bool left) const { return left ? MinWidth : MaxWidth; }
  void SetSideWidth(bool left, int width);
  // The widest a side panel may become while the other keeps its width (the bar then has none).
  int SideRoom(bool left) const;

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void FrameResize();
  void pnFullRangeResize();
  void pnRangeResize();
  void pnRangeMouseDown(int globalX);
  void pnRangeMouseMove(int globalX);
  void pnRangeMouseUp(int globalX);
  void pnRangeDblClick();
  void LayoutBar();
  void PlaceBar();
  void RangeFromBar();
  void LimitTyped();
  void ShowLimits();
  // A value's distance from FullMin on the scale (linear or logarithmic), and back.
  double ScalePos(double v) const;
  double ValueAt(double pos) const;
  void Remember();
  void Notify();
  int Usable() const { return RightLimit() - LeftLimit(); }

  bool FMoved = false; // the pointer went beyond the drag distance since the press
  bool FDragging = false;
  int GrabOffset = 0;
  int DownX = 0;
  double FFullMin = 0, FFullMax = 0;
  double FRangeMin = 0, FRangeMax = 0;
  double FLastMin = 0, FLastMax = 0;
  int MinWidth = 2, MaxWidth = 2; // pnMin's and pnMax's widths
  bool FLog = false;
};

// One end of the bar: dragging it resizes the side panel next to it, and each completed move is
// reported to the frame once, when the button comes up.
class TRangeSplitter : public QFrame {
public:
  TRangeSplitter(TfrSpRange* owner, bool leftSide, QWidget* parent);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  TfrSpRange* Owner;
  bool LeftSide;
  bool Pressed = false;
  int PressX = 0;
  int PressWidth = 0;
};

} // namespace sorvane
