#pragma once
// The buttons of the held curves under a chart: "Hold" keeps the curves drawn now, "Held" lists
// every hold with its name, to show or hide it, save it as a results file or remove it, and
// loads a results file as a hold.

#include "platform/gui/uChartHold.h"

#include <QToolButton>
#include <QWidget>

class QMenu;

namespace platform {

class THoldBar : public QWidget {
  Q_OBJECT
public:
  THoldBar(TChartHolds& holds, QWidget* parent = nullptr);

  QToolButton* btnHold;
  QToolButton* btnHeld;

private:
  void Rebuild();
  void AskAndSave(int i);
  void AskAndLoad();

  TChartHolds& Holds;
  QMenu* Menu;
};

} // namespace platform
