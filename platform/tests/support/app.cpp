#include "platform/tests/support/app.h"

#include "platform/messages.h"
#include "platform/thread.h"

#include <QApplication>

#include <cstdlib>
#include <string>

namespace testsupport {

std::unique_ptr<QCoreApplication> MakeApplication(const TAppOptions& options) {
  // The application keeps argc and argv for its whole life.
  static int argc = 1;
  static std::string name;
  static char* argv[2] = {nullptr, nullptr};
  name = options.Name;
  argv[0] = name.data();
  if (options.VirtualOnly) ::setenv("VMBOX_ONLY", "1", 1);
  if (options.Kind == TAppKind::Core) return std::make_unique<QCoreApplication>(argc, argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return std::make_unique<QApplication>(argc, argv);
}

QCoreApplication& Application(const TAppOptions& options) {
  static QCoreApplication* app = MakeApplication(options).release();
  return *app;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return platform::PumpUntil(done, limit);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::CheckSynchronize(1);
  }
  return true;
}

} // namespace testsupport
