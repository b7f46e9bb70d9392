#pragma once
// The hook through which the kernel's blocking calls let a thread stand still when a suspension
// has been asked of it. A platform::TThread installs its check for its own thread; on every other
// thread the suspend point does nothing.

namespace platform::detail {

using TSuspendCheck = void (*)(void* context);

// Installs (or, with nullptr, removes) the check of the calling thread.
void SetSuspendCheck(TSuspendCheck check, void* context);

// Runs the calling thread's check, if any: it returns once no suspension is in force.
void SuspendPoint();

} // namespace platform::detail
