#pragma once
// A system library loaded at run time, so that a program still starts where it is missing: the
// real sound-card back ends then simply offer no devices.

#include <dlfcn.h>

#include <initializer_list>

namespace platform {

class TSharedLibrary {
public:
  // Loads the first of the names that the system has; Loaded() tells whether one was found.
  TSharedLibrary(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      if ((Handle = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
    }
  }
  // Never unloaded: callback threads of the library may outlive every static object.
  TSharedLibrary(const TSharedLibrary&) = delete;
  TSharedLibrary& operator=(const TSharedLibrary&) = delete;

  bool Loaded() const { return Handle != nullptr; }

  // Binds `function` to the library's symbol; false (and `function` null) when it has none.
  template <class TFunction>
  bool Bind(const char* symbol, TFunction*& function) const {
    function = Handle ? reinterpret_cast<TFunction*>(dlsym(Handle, symbol)) : nullptr;
    return function != nullptr;
  }

private:
  void* Handle = nullptr;
};

} // namespace platform
