#include "platform/gui/uHoldBar.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>

namespace platform {
namespace {

constexpr const char* FileFilter = "Results file (*.txt);;All files (*)";

} // namespace

THoldBar::THoldBar(TChartHolds& holds, QWidget* parent) : QWidget(parent), Holds(holds) {
  btnHold = new QToolButton(this);
  btnHold->setObjectName("btnHold");
  btnHold->setText("Hold");
  btnHold->setToolTip("Keep a copy of the curves drawn now, to compare with later ones");
  btnHeld = new QToolButton(this);
  btnHeld->setObjectName("btnHeld");
  btnHeld->setText("Held");
  btnHeld->setPopupMode(QToolButton::InstantPopup);
  Menu = new QMenu(btnHeld);
  btnHeld->setMenu(Menu);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  row->addWidget(btnHold);
  row->addWidget(btnHeld);
  connect(btnHold, &QToolButton::clicked, this, [this] { Holds.Hold(); });
  connect(&Holds, &TChartHolds::Changed, this, &THoldBar::Rebuild);
  Rebuild();
}

void THoldBar::Rebuild() {
  Menu->clear();
  for (int i = 0; i < Holds.Count(); ++i) {
    QMenu* hold = Menu->addMenu(Holds.Name(i));
    QAction* show = hold->addAction("Show", this, [this, i](bool on) { Holds.SetVisible(i, on); });
    show->setCheckable(true);
    show->setChecked(Holds.Visible(i));
    hold->addAction("Save...", this, [this, i] { AskAndSave(i); });
    hold->addAction("Remove", this, [this, i] { Holds.Remove(i); });
  }
  if (Holds.Count() > 0) Menu->addSeparator();
  Menu->addAction("Load...", this, &THoldBar::AskAndLoad);
  btnHeld->setText(Holds.Count() > 0 ? QString("Held (%1)").arg(Holds.Count()) : QString("Held"));
}

void THoldBar::AskAndSave(int i) {
  const QString file = QFileDialog::getSaveFileName(this, "Save held curves", Holds.Name(i).replace(':', '-') + ".txt", FileFilter);
  if (file.isEmpty()) return;
  const QString error = Holds.Save(i, file);
  if (!error.isEmpty()) QMessageBox::warning(this, window()->windowTitle(), error);
}

void THoldBar::AskAndLoad() {
  const QString file = QFileDialog::getOpenFileName(this, "Load held curves", QString(), FileFilter);
  if (file.isEmpty()) return;
  const QString error = Holds.Load(file);
  if (!error.isEmpty()) QMessageBox::warning(this, window()->windowTitle(), error);
}

} // namespace platform
