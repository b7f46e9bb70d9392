#pragma once
// Shared by the chart tests: one offscreen application for the whole run, never destroyed.

#include "platform/tests/support/app.h"

#include <QApplication>

namespace guitest {

inline QApplication& App() {
  return static_cast<QApplication&>(
      testsupport::Application({testsupport::TAppKind::Widgets, false, "platform_gui_test"}));
}

// Constructed before any member of a fixture that needs the application (a chart does).
struct TWithApp {
  TWithApp() { App(); }
};

} // namespace guitest
