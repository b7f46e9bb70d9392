#include "sorvane/engine/uSignalArrival.h"

#include <cstdlib>

namespace sorvane {

void TSignalArrival::Reset(unsigned rate) {
  Phase = rate > 0 ? TPhase::Waiting : TPhase::Settled;
  HasPrevious = false;
  Remaining = static_cast<int64_t>(LongestWaitSeconds * rate);
  SettleFrames = static_cast<int64_t>(SettleSeconds * rate);
}

bool TSignalArrival::Settled(const TStereoFrame& frame) {
  if (Phase == TPhase::Settled) return true;
  if (Phase == TPhase::Waiting) {
    const bool arrived = HasPrevious && (std::abs(frame.Left - Previous.Left) > ArrivalStep ||
                                         std::abs(frame.Right - Previous.Right) > ArrivalStep);
    Previous = frame;
    HasPrevious = true;
    if (arrived) {
      Phase = TPhase::Settling;
      Remaining = SettleFrames;
    } else if (--Remaining <= 0) {
      Phase = TPhase::Settled;
      return true;
    }
    return false;
  }
  if (--Remaining < 0) {
    Phase = TPhase::Settled;
    return true;
  }
  return false;
}

} // namespace sorvane
