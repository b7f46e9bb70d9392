#include "platform/vmbox/uCardPacer.h"

#include <algorithm>

namespace platform::vmbox {
namespace {

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

} // namespace

uint64_t FramesAt(uint64_t ns, uint32_t rate) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(ns) * rate / NsPerSecond);
}

uint64_t LatestTimeFor(uint64_t t0, uint32_t rate, uint64_t frames) {
  // The last nanosecond before frame FramesAt(t0) + frames + 1 begins.
  const unsigned __int128 limit = FramesAt(t0, rate) + static_cast<unsigned __int128>(frames) + 1;
  const unsigned __int128 begins = (limit * NsPerSecond + rate - 1) / rate;
  return begins - 1 > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(begins - 1);
}

uint64_t ReserveFrames(uint32_t rate) { return rate / 50; }

TPace PaceFast(uint64_t nowNs, const std::vector<TPaceInput>& devices) {
  TPace pace;
  uint64_t end = nowNs + StepNs;
  bool work = false;
  for (size_t i = 0; i < devices.size(); ++i) {
    const wave::TDemand& d = devices[i].Demand;
    const auto rate = static_cast<uint32_t>(d.Rate);
    work = work || d.LatePending;
    if (!d.Running) continue;
    const bool expects = d.ExpectsMore && !devices[i].Waived;
    const uint64_t usable = d.Input ? SaturatingAdd(d.Frames, d.LoseFrames) : d.Frames;
    if (d.Input && usable == 0) {
      if (d.LatePending) continue; // its buffers are held back on purpose: it loses frames
      return pace;                 // an input starves: hold the clock
    }
    if (usable > 0) work = true;
    // A step never records more than the queue can take. (Playback needs no such limit: its
    // reserve is larger than a step.)
    if (d.Input) end = std::min(end, LatestTimeFor(nowNs, rate, usable));
    if (expects && usable <= ReserveFrames(rate)) pace.Low.push_back(i);
  }
  if (!pace.Low.empty()) {
    pace.Kind = TPaceKind::Grace;
  } else if (work) {
    pace.Kind = TPaceKind::Advance;
    pace.EndNs = end;
  }
  return pace;
}

} // namespace platform::vmbox
