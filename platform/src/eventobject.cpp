#include "platform/src/eventobject.h"

#include <algorithm>
#include <chrono>

#include "platform/kernel.h"

namespace platform::detail {

TEventObject::TEventObject(bool manualReset, bool initialState)
    : ManualReset(manualReset), Signalled(initialState) {}

bool TEventObject::ReleaseWaiters(bool all) {
  if (Waiters.empty()) return false;
  do {
    Waiters.front()->Released = true;
    Waiters.pop_front();
  } while (all && !Waiters.empty());
  Changed.notify_all();
  return true;
}

void TEventObject::Set() {
  std::lock_guard lock(Mutex);
  if (ManualReset) {
    Signalled = true;
    ReleaseWaiters(true);
  } else if (!ReleaseWaiters(false)) {
    Signalled = true; // nobody waits: the next waiter passes and resets it
  }
}

void TEventObject::Reset() {
  std::lock_guard lock(Mutex);
  Signalled = false;
}

void TEventObject::Pulse() {
  std::lock_guard lock(Mutex);
  ReleaseWaiters(ManualReset);
  Signalled = false;
}

DWORD TEventObject::Wait(DWORD milliseconds) {
  std::unique_lock lock(Mutex);
  if (Closed) return WAIT_FAILED;
  if (Signalled) {
    if (!ManualReset) Signalled = false;
    return WAIT_OBJECT_0;
  }
  if (milliseconds == 0) return WAIT_TIMEOUT;

  TWaiter self;
  Waiters.push_back(&self);
  const auto done = [&] { return self.Released || Closed; };
  if (milliseconds == INFINITE) {
    Changed.wait(lock, done);
  } else {
    Changed.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
  }
  if (self.Released) return WAIT_OBJECT_0;
  Waiters.erase(std::find(Waiters.begin(), Waiters.end(), &self));
  return Closed ? WAIT_FAILED : WAIT_TIMEOUT;
}

void TEventObject::Close() {
  std::lock_guard lock(Mutex);
  Closed = true;
  Changed.notify_all();
}

size_t TEventObject::WaiterCount() const {
  std::lock_guard lock(Mutex);
  return Waiters.size();
}

} // namespace platform::detail
