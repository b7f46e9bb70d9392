#include "platform/src/suspendpoint.h"

namespace platform::detail {
namespace {

thread_local TSuspendCheck Check = nullptr;
thread_local void* Context = nullptr;

} // namespace

void SetSuspendCheck(TSuspendCheck check, void* context) {
  Check = check;
  Context = context;
}

void SuspendPoint() {
  if (Check) Check(Context);
}

} // namespace platform::detail
