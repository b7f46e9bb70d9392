// Event handles and Sleep. A HANDLE is a number drawn from a counter that never repeats, looked
// up in a registry: a stale, closed or made-up handle is recognised and rejected, never
// dereferenced, and a closed handle can never come to name a newer object.

#include "platform/kernel.h"

#include <chrono>
#include <memory>
#include <thread>

#include "platform/src/eventobject.h"
#include "platform/src/uHandleTable.h"
#include "platform/src/suspendpoint.h"

namespace {

using platform::detail::TEventObject;

using TEventTable = platform::detail::THandleTable<std::shared_ptr<TEventObject>>;

// Never destroyed, so that threads still running at program exit find it intact.
TEventTable& Registry() {
  static auto* registry = new TEventTable(0x10000);
  return *registry;
}

template <class Operation>
BOOL WithEvent(HANDLE event, Operation operation) {
  const auto object = Registry().Find(event);
  if (!object) return FALSE;
  operation(*object);
  return TRUE;
}

} // namespace

namespace platform::detail {

size_t EventWaiterCount(HANDLE event) {
  const auto object = Registry().Find(event);
  return object ? object->WaiterCount() : 0;
}

} // namespace platform::detail

HANDLE CreateEventA(void* /*securityAttributes*/, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
  // Events are private to the program: a named (shared) event cannot be provided.
  if (name && *name) return nullptr;
  return static_cast<HANDLE>(
      Registry().Add(std::make_shared<TEventObject>(manualReset != FALSE, initialState != FALSE)));
}

BOOL SetEvent(HANDLE event) {
  return WithEvent(event, [](TEventObject& e) { e.Set(); });
}

BOOL ResetEvent(HANDLE event) {
  return WithEvent(event, [](TEventObject& e) { e.Reset(); });
}

BOOL PulseEvent(HANDLE event) {
  return WithEvent(event, [](TEventObject& e) { e.Pulse(); });
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  const auto object = Registry().Find(handle);
  if (!object) return WAIT_FAILED;
  // A suspension asked of this thread takes effect here, before and after the wait.
  platform::detail::SuspendPoint();
  const DWORD result = object->Wait(milliseconds);
  platform::detail::SuspendPoint();
  return result;
}

BOOL CloseHandle(HANDLE handle) {
  const auto object = Registry().Remove(handle);
  if (!object) return FALSE;
  object->Close();
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  platform::detail::SuspendPoint();
}
