#pragma once
// Shared by the engine tests: a fast virtual card, waits that serve the main thread's
// synchronised calls, bin powers, and the engine wired as the main window wires it.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app.h"
#include "platform/tests/support/quiet_boxes.h"
#include "sorvane/numeric/uFFT.h"
#include "sorvane/engine/uWaveIn.h"
#include "sorvane/engine/uWaveOut.h"

namespace enginetest {

using namespace std::chrono_literals;
using sorvane::TWaveData;
namespace vmbox = platform::vmbox;

using testsupport::WaitUntil;

// Box 0 without noise, offsets or channel mismatch; box 1 the same with the card's noise.
inline void UseFastCard() {
  std::vector<vmbox::TBoxConfig> boxes(2);
  for (size_t i = 0; i < boxes.size(); ++i) {
    boxes[i].Name = i ? "Noisy box" : "Quiet box";
    boxes[i].Circuit.R = 47;
    boxes[i].Card.NoiseOn = i == 1;
    boxes[i].Card.Matched = true;
    boxes[i].Card.HighPassHz[0] = boxes[i].Card.HighPassHz[1] = 0;
  }
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
}

using testsupport::InputOf;
using testsupport::OutputOf;

// Sum of |X[k]|^2 over bins lo..hi of one channel.
inline double PowerIn(sorvane::TChannelData x, int lo, int hi) {
  sorvane::RealFFT(x.data(), static_cast<int>(x.size()), true);
  double sum = 0;
  for (int k = lo; k <= hi; ++k) sum += x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
  return sum;
}

// Keeps every raw block with the card's time, and every block handed to the main thread.
class TProbe : public sorvane::TSyncIn {
public:
  TProbe() {
    OnBlock = [this](TWaveData& block) {
      Handed.push_back(block);
      if (AskNext) RequestNext();
    };
  }
  ~TProbe() override { Shutdown(); }
  bool AskNext = true;
  bool KeepRaw = true; // set before Start
  std::vector<TWaveData> Handed;
  std::vector<std::pair<TWaveData, platform::TDateTime>> Raw; // under RawLock
  std::mutex RawLock;

protected:
  void PreviewBlock(const TWaveData& block) override {
    if (!KeepRaw) return;
    const platform::TDateTime now = platform::Now();
    std::lock_guard lock(RawLock);
    Raw.emplace_back(block, now);
  }
};

// Playback and capture on one box, owned and wired as the main window does it.
struct TRig {
  sorvane::TWaveOut Out;
  TProbe In;
  std::vector<std::string> Errors;
  explicit TRig(size_t box) {
    Out.OnSignalChange = [this](bool on) { In.EnableCollection(on); };
    Out.OnError = In.WaveIn().OnError = [this](const std::string& text) { Errors.push_back(text); };
    Out.SetDeviceID(OutputOf(box));
    In.SetDeviceID(InputOf(box));
    In.SetBlockLength(2048);
  }
  // Playback first, capture only if playback runs; after a failure both are stopped.
  bool Start() {
    if (Out.Start() && In.Start()) return true;
    Stop();
    return false;
  }
  void Stop() {
    In.Stop();
    Out.Stop();
  }
  bool Idle() const { return Out.Idle() && In.WaveIn().Idle(); }
  bool WaitHanded(size_t count) {
    return WaitUntil([&] { return In.Handed.size() >= count; });
  }
};

} // namespace enginetest
