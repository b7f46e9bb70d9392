#pragma once
// The event object behind an event HANDLE. Waiters queue in arrival order, so a set or pulse can
// release exactly the threads it is meant to: one for an auto-reset event, all for a manual-reset
// one, and for a pulse only those waiting at that moment.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/wintypes.h"

namespace platform::detail {

class TEventObject {
public:
  TEventObject(bool manualReset, bool initialState);
  TEventObject(const TEventObject&) = delete;
  TEventObject& operator=(const TEventObject&) = delete;

  void Set();
  void Reset();
  void Pulse();
  // WAIT_OBJECT_0 when released, WAIT_TIMEOUT after `milliseconds` (INFINITE: never), WAIT_FAILED
  // when the object is closed before or during the wait.
  DWORD Wait(DWORD milliseconds);
  // Closing wakes every waiter with WAIT_FAILED: nobody can signal a closed event any more, so a
  // thread left waiting on it would wait for ever.
  void Close();
  // Threads blocked in Wait right now (a diagnostic for tests).
  size_t WaiterCount() const;

private:
  struct TWaiter {
    bool Released = false;
  };

  // Marks the longest-waiting thread (or every waiting thread) released; false when none waits.
  bool ReleaseWaiters(bool all);

  mutable std::mutex Mutex;
  std::condition_variable Changed;
  std::deque<TWaiter*> Waiters;
  const bool ManualReset;
  bool Signalled;
  bool Closed = false;
};

// The number of threads waiting on the event behind `event`; 0 for a bad handle.
size_t EventWaiterCount(HANDLE event);

} // namespace platform::detail
