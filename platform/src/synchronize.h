#pragma once
// The queue of synchronised calls that the main thread serves (see platform/thread.h).

#include <cstdint>
#include <functional>

#include "platform/wintypes.h"

namespace platform::detail {

// Queues `method` for the main thread and blocks until it has run or the queue is switched off.
bool SynchronizeFromWorker(const std::function<void()>& method);

// A counter that moves whenever the main thread should look again (a call queued, a thread
// finished). Read it before checking a condition, then serve with the value read, so a wake-up
// between the check and the wait is not lost.
uint64_t WakeCount();
void WakeMainThread();

// Main thread: waits until a call is pending, the wake count differs from `seen` or the time-out
// passes, then runs every pending call; true when one ran.
bool ServeSynchronize(DWORD timeoutMs, uint64_t seen);

// Main thread: makes the Qt event loop serve synchronised calls, once a QCoreApplication exists.
void AttachToEventLoop();

} // namespace platform::detail
