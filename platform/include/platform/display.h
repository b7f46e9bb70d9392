#pragma once
// Whether the program has a desktop to show its window on.

#include <cstdlib>

namespace platform {

// True when neither DISPLAY nor WAYLAND_DISPLAY names a display: unset and empty alike, as the
// toolkit itself treats an empty one (and would abort for want of a display).
inline bool NoDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return !(x && *x) && !(wayland && *wayland);
}

} // namespace platform
