// Event handles and Sleep. A HANDLE is a number drawn from a counter that never repeats, looked
// up in a registry: a stale, closed or made-up handle is recognised and rejected, never
// dereferenced, and a closed handle can never come to name a newer object.

#include "platform/kernel.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/src/eventobject.h"
#include "platform/src/suspendpoint.h"

namespace {

using platform::detail::TEventObject;

class THandleRegistry {
public:
  HANDLE Add(std::shared_ptr<TEventObject> object) {
    std::lock_guard lock(Mutex);
    const uintptr_t key = NextKey;
    NextKey += KeyStep;
    Objects.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
  }

  // The object stays alive for the caller even if another thread closes the handle meanwhile.
  std::shared_ptr<TEventObject> Find(HANDLE handle) const {
    std::lock_guard lock(Mutex);
    const auto it = Objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == Objects.end() ? nullptr : it->second;
  }

  std::shared_ptr<TEventObject> Remove(HANDLE handle) {
    std::lock_guard lock(Mutex);
    const auto it = Objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == Objects.end()) return nullptr;
    auto object = std::move(it->second);
    Objects.erase(it);
    return object;
  }

private:
  // Keys look like aligned addresses and leave the small values (0, -1) unused.
  static constexpr uintptr_t KeyStep = 16;
  mutable std::mutex Mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<TEventObject>> Objects;
  uintptr_t NextKey = 0x10000;
};

// Never destroyed, so that threads still running at program exit find it intact.
THandleRegistry& Registry() {
  static auto* registry = new THandleRegistry;
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
  return Registry().Add(std::make_shared<TEventObject>(manualReset != FALSE, initialState != FALSE));
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
