#pragma once
// Shared by the chart tests: one offscreen QApplication for the whole run. It is never
// destroyed: a static one would be torn down after the toolkit's own statics, and crash.

#include <QApplication>

namespace guitest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "platform_gui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Constructed before any member of a fixture that needs the application (a chart does).
struct TWithApp {
  TWithApp() { App(); }
};

} // namespace guitest
