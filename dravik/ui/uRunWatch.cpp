#include "dravik/ui/uRunWatch.h"

namespace dravik {

double StalledCaptureSeconds(uint32_t BlockFrames, uint32_t SampleRate) {
  const double block = SampleRate > 0 ? static_cast<double>(BlockFrames) / SampleRate : 0;
  return 2.0 + 3.0 * block;
}

void TRunWatch::Begin(uint64_t Buffers, TWatchTime Now) {
  FWatching = true;
  FBuffers = Buffers;
  FLastMove = Now;
}

bool TRunWatch::Stalled(uint64_t Buffers, bool Counting, TWatchTime Now, double LimitSeconds) {
  if (!FWatching) return false;
  if (Buffers != FBuffers || !Counting) {
    FBuffers = Buffers;
    FLastMove = Now;
    return false;
  }
  if (Now.Device - FLastMove.Device <= LimitSeconds || Now.Real - FLastMove.Real <= LimitSeconds)
    return false;
  FWatching = false;
  return true;
}

} // namespace dravik
