#include "platform/src/uWaveFaults.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace platform::wave {
namespace {

struct TForced {
  std::string Call;
  MMRESULT Code;
  unsigned Count;
};

struct TFaults {
  std::mutex Mutex;
  std::vector<TForced> Entries;
  std::atomic<bool> Any{false}; // lets every call skip the lock when nothing is forced
};

TFaults& Faults() {
  static auto* faults = new TFaults;
  return *faults;
}

} // namespace

void ForceResult(const std::string& call, MMRESULT code, unsigned count) {
  auto& faults = Faults();
  std::lock_guard lock(faults.Mutex);
  if (count == 0) return;
  faults.Entries.push_back({call, code, count});
  faults.Any = true;
}

void ClearForcedResults() {
  auto& faults = Faults();
  std::lock_guard lock(faults.Mutex);
  faults.Entries.clear();
  faults.Any = false;
}

MMRESULT TakeForcedResult(const char* call) {
  auto& faults = Faults();
  if (!faults.Any) return MMSYSERR_NOERROR;
  std::lock_guard lock(faults.Mutex);
  for (auto it = faults.Entries.begin(); it != faults.Entries.end(); ++it) {
    if (it->Call != call) continue;
    const MMRESULT code = it->Code;
    if (it->Count != ForeverCount && --it->Count == 0) faults.Entries.erase(it);
    faults.Any = !faults.Entries.empty();
    return code;
  }
  return MMSYSERR_NOERROR;
}

} // namespace platform::wave
