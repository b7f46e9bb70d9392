#include "dravik/ui/uDravik.h"
#include "dravik/ui/uDravikTour.h"
#include "platform/display.h"
#include "platform/inifile.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv) {
  // Without a display the program shows what it does on the virtual boxes instead.
  const bool tour = platform::NoDisplay();
  if (tour) dravik::PrepareTour();
  QApplication app(argc, argv);
#ifdef DESKTOP_FILE_ID
  // Lets a Wayland desktop match the window to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(DESKTOP_FILE_ID);
#endif
  dravik::TfmLCR window(platform::SettingsFilePath());
  window.show();
  if (tour) return dravik::RunTour(window, std::cout);
  return app.exec();
}
