#include "fuzz/fuzz_app.h"

#include "fuzz/fuzz_support.h"
#include "platform/messages.h"
#include "platform/vmbox.h"

#include <QApplication>

#include <cstdlib>

namespace fuzz {

void StartApplication() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the windows built on it live until the process ends.
  static QApplication* app = nullptr;
  if (app) return;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("VMBOX_ONLY", "1", 1);
  app = new QApplication(argc, argv);
  platform::vmbox::Reinitialise(platform::vmbox::DefaultBoxes(), platform::vmbox::TSpeed::Fast);
}

void PumpUntilOrAbort(const std::function<bool()>& done, std::chrono::milliseconds limit,
                      const char* what) {
  Require(platform::PumpUntil(done, limit), what);
}

} // namespace fuzz
