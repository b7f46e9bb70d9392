#include "fuzz/fuzz_app.h"

#include "fuzz/fuzz_support.h"
#include "platform/messages.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app.h"

namespace fuzz {

void StartApplication() {
  // The application is never destroyed: the windows built on it live until the process ends.
  static const bool started = [] {
    testsupport::Application({testsupport::TAppKind::Widgets, true, "fuzz"});
    platform::vmbox::Reinitialise(platform::vmbox::DefaultBoxes(), platform::vmbox::TSpeed::Fast);
    return true;
  }();
  (void)started;
}

void PumpUntilOrAbort(const std::function<bool()>& done, std::chrono::milliseconds limit,
                      const char* what) {
  Require(platform::PumpUntil(done, limit), what);
}

} // namespace fuzz
