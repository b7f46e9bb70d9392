#pragma once
// The shape of the waveform and mixer back-end tables, and the walk through them that both use:
// in table order, and the virtual measuring box alone when VMBOX_ONLY=1 (so that a test or a
// tour sees the same devices on every machine).

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform::detail {

template <class TBackend>
struct TBackendEntry {
  const char* Name;
  bool Virtual;
  TBackend& (*Instance)();
};

// VMBOX_ONLY is read once, at the first call.
inline bool VirtualOnly() {
  static const bool only = [] {
    const char* value = std::getenv("VMBOX_ONLY");
    return value && std::strcmp(value, "1") == 0;
  }();
  return only;
}

// Calls visit(backend) for each back end that is listed, until a call returns true.
template <class TBackend, size_t N, class TVisit>
void ForEachBackend(const TBackendEntry<TBackend> (&table)[N], TVisit visit) {
  for (const auto& entry : table) {
    if (VirtualOnly() && !entry.Virtual) continue;
    if (visit(entry.Instance())) return;
  }
}

} // namespace platform::detail
