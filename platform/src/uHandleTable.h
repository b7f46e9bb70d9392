#pragma once
// The live objects of one handle kind, by handle, under one lock. A handle is a number from a
// counter that never repeats: a closed, stale or made-up handle is found missing and never
// dereferenced, and a closed handle can never come to name a newer object. Keys look like
// aligned addresses and each kind starts at its own first key, apart from the others, so that
// 0 and -1 are never handed out. Keys only grow, so the table walks its objects in the order
// they were added.

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace platform::detail {

template <class TObject>
class THandleTable {
public:
  explicit THandleTable(uintptr_t firstKey) : NextKey(firstKey) {}

  // A handle that names nothing yet, for an object that is put under it later.
  void* NewHandle() {
    std::lock_guard lock(Mutex);
    return NextHandle();
  }

  void* Add(TObject object) {
    std::lock_guard lock(Mutex);
    void* const handle = NextHandle();
    Objects.emplace(Key(handle), std::move(object));
    return handle;
  }

  void Put(const void* handle, TObject object) {
    std::lock_guard lock(Mutex);
    Objects[Key(handle)] = std::move(object);
  }

  // A copy of the object, which stays valid for the caller whatever another thread does with
  // the handle meanwhile; an empty (value-initialised) object when the handle names none.
  TObject Find(const void* handle) const {
    std::lock_guard lock(Mutex);
    const auto it = Objects.find(Key(handle));
    return it == Objects.end() ? TObject{} : it->second;
  }

  // Calls use(object) with the lock held, so that the object cannot leave the table meanwhile;
  // false (and no call) when the handle names none.
  template <class TUse>
  bool With(const void* handle, TUse use) const {
    std::lock_guard lock(Mutex);
    const auto it = Objects.find(Key(handle));
    if (it == Objects.end()) return false;
    use(it->second);
    return true;
  }

  // Calls visit(handle, object) for every object in the order they were added, with the lock
  // held.
  template <class TVisit>
  void ForEach(TVisit visit) const {
    std::lock_guard lock(Mutex);
    for (const auto& [key, object] : Objects) visit(reinterpret_cast<void*>(key), object);
  }

  // The object taken out of the table; an empty object when the handle named none.
  TObject Remove(const void* handle) {
    std::lock_guard lock(Mutex);
    const auto it = Objects.find(Key(handle));
    if (it == Objects.end()) return TObject{};
    TObject object = std::move(it->second);
    Objects.erase(it);
    return object;
  }

  // Waits for any caller still inside the lock.
  void Fence() const { std::lock_guard lock(Mutex); }

private:
  static constexpr uintptr_t KeyStep = 16;

  static uintptr_t Key(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

  void* NextHandle() {
    const uintptr_t key = NextKey;
    NextKey += KeyStep;
    return reinterpret_cast<void*>(key);
  }

  mutable std::mutex Mutex;
  std::map<uintptr_t, TObject> Objects;
  uintptr_t NextKey;
};

} // namespace platform::detail
