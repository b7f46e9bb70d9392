#pragma once
// The virtual sound card: its boxes, its clock and the one thread that advances them in steps of
// a few milliseconds, in real time (paced by the steady clock) or fast (paced by the programs,
// see uCardPacer.h; the platform's time of day then follows the card's clock).
//
// Lock order: the card's lock, then a stream's lock. Streams wake the card through a separate
// lock that is never held while another is taken.

#include "platform/clock.h"
#include "platform/src/uWaveBackend.h"
#include "platform/vmbox.h"
#include "platform/vmbox/uCardPacer.h"
#include "platform/vmbox/uVirtualDevices.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform::vmbox {

class TVirtualCard : public wave::TWaveBackend {
public:
  // The card, built from the environment at first use.
  static TVirtualCard& Instance();
  ~TVirtualCard() override;

  std::vector<std::shared_ptr<wave::TWaveDevice>> Devices(wave::TDirection direction) override;

  void Reinitialise(std::vector<TBoxConfig> boxes, TSpeed speed);
  TSpeed Speed();
  size_t BoxCount();
  double AudioSeconds() const { return ClockNs.load() / 1e9; }
  // Runs `action` on a box under the card's lock, then wakes the card; false for an unknown box.
  bool WithBox(size_t box, const std::function<void(TVirtualBox&)>& action);

  // Test settings that are not per box.
  void SetMaxRate(uint32_t rate);
  void SetPositionStart(uint32_t start);
  void ClearSettings();

  // For the ports.
  bool PortPresent(const TVirtualBox& box, TPort port);
  bool SynchronousOutput(const TVirtualBox& box);
  uint32_t MaxRate();
  MMRESULT Attach(TVirtualBox& box, TPort port, const std::shared_ptr<wave::TWaveStream>& stream);
  void Detach(TVirtualBox& box, TPort port, const wave::TWaveStream& stream);

  void WakeUp();

private:
  using TSteady = std::chrono::steady_clock;
  enum class TNext { Again, WaitChange, WaitUntil };

  TVirtualCard();
  void Loop();
  TNext Step(TSteady::time_point& until);
  TNext StepRealTime(TSteady::time_point& until);
  TNext StepFast(TSteady::time_point& until);
  void RunTo(uint64_t endNs);
  void InstallTimeSource(TDateTime now);

  std::mutex Mutex;
  std::vector<std::shared_ptr<TVirtualBox>> Boxes;
  TSpeed CardSpeed = TSpeed::RealTime;
  uint32_t MaxSampleRate = 192000;
  uint32_t PositionStart = 0;
  std::atomic<uint64_t> ClockNs{0};
  std::atomic<double> TimeBaseDays{0};
  bool OwnsTimeSource = false;
  // Real time: the wall time at which card time 0 would have been, while anything is open.
  bool RealTimeIdle = true;
  TSteady::time_point WallAtZero;
  // Fast: when the wait for programs below their reserve began.
  bool InGrace = false;
  TSteady::time_point GraceStart;
  std::vector<TPaceInput> PaceInputs; // reused by every fast step
  std::vector<TPortSlot*> PaceSlots;

  std::mutex WakeMutex;
  std::condition_variable WakeSignal;
  uint64_t WakeCount = 0;
  bool Quit = false;
  std::thread Thread; // last: starts once everything else is built
};

wave::TWaveBackend& VirtualCardBackend();

} // namespace platform::vmbox
