// Sorvane: the window on a desktop; without a display, the tour of the window on the virtual
// measuring boxes.

#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "platform/display.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/uSorvaneTour.h"

int main(int argc, char** argv) {
  const bool tour = platform::NoDisplay();
  if (tour) {
    // Set before anything reads them: the platform plugin and the virtual card's pace.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("VMBOX_SPEED", "fast", 1);
    setenv("VMBOX_ONLY", "1", 1);
  }
  QApplication app(argc, argv);
#ifdef DESKTOP_FILE_ID
  // Lets a Wayland desktop match the window to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(DESKTOP_FILE_ID);
#endif
  if (tour) return sorvane::RunTour(std::cout, sorvane::TSorvaneFiles::Default());
  sorvane::TForm1 form;
  form.show();
  return app.exec();
}
