#include "dravik/ui/uRunWatch.h"

namespace dravik {

double StalledCaptureSeconds(uint32_t BlockFrames, uint32_t SampleRate) {
  const double block = SampleRate > 0 ? static_cast<double>(BlockFrames) / SampleRate : 0;
  return 2.0 + 3.0 * block;
}

void TRunWatch::Begin(uint64_t Buffers, double NowSeconds) {
  FWatching = true;
  FBuffers = Buffers;
  FLastMove = NowSeconds;
}

bool TRunWatch::Stalled(uint64_t Buffers, bool Counting, double NowSeconds,
                        double LimitSeconds) {
  if (!FWatching) return false;
  if (Buffers != FBuffers || !Counting) {
    FBuffers = Buffers;
    FLastMove = NowSeconds;
    return false;
  }
  if (QuietSeconds(NowSeconds) <= LimitSeconds) return false;
  FWatching = false;
  return true;
}

} // namespace dravik
