#include "platform/vmbox/uVirtualCard.h"

#include "platform/clock.h"
#include "platform/src/uWaveFaults.h"
#include "platform/vmbox/uCardPacer.h"
#include "platform/vmbox/uVmboxEnv.h"

namespace platform::vmbox {
namespace {

constexpr double NsPerDay = 86400.0 * 1e9;
constexpr uint32_t DefaultMaxRate = 192000;
constexpr auto FarBehind = std::chrono::seconds(1);

} // namespace

TVirtualCard& TVirtualCard::Instance() {
  static TVirtualCard card;
  return card;
}

wave::TWaveBackend& VirtualCardBackend() { return TVirtualCard::Instance(); }

TVirtualCard::TVirtualCard() {
  TVmboxSettings settings = SettingsFromEnvironment();
  for (auto& box : settings.Boxes) Boxes.push_back(std::make_shared<TVirtualBox>(std::move(box)));
  CardSpeed = settings.Speed;
  InstallTimeSource(Now());
  Thread = std::thread([this] { Loop(); });
}

TVirtualCard::~TVirtualCard() {
  {
    std::lock_guard lock(WakeMutex);
    Quit = true;
  }
  WakeSignal.notify_all();
  Thread.join();
  if (OwnsTimeSource) SetTimeSource(nullptr);
}

std::vector<std::shared_ptr<wave::TWaveDevice>> TVirtualCard::Devices(wave::TDirection direction) {
  const TPort port = direction == wave::TDirection::In ? TPort::Input : TPort::Output;
  std::lock_guard lock(Mutex);
  std::vector<std::shared_ptr<wave::TWaveDevice>> devices;
  for (const auto& box : Boxes) devices.push_back(std::make_shared<TVirtualPort>(*this, box, port));
  return devices;
}

// ---- Configuration ----

void TVirtualCard::Reinitialise(std::vector<TBoxConfig> boxes, TSpeed speed) {
  {
    std::lock_guard lock(Mutex);
    const TDateTime now = Now();
    for (const auto& box : Boxes) {
      box->Removed = true;
      for (const TPort port : {TPort::Input, TPort::Output}) {
        TPortSlot& slot = box->Slot(port);
        if (slot.Stream) slot.Stream->Vanish();
        slot.Stream.reset();
      }
    }
    Boxes.clear();
    for (auto& box : boxes) {
      const std::string fault = ValidateBox(box);
      if (fault.empty()) {
        Boxes.push_back(std::make_shared<TVirtualBox>(std::move(box)));
      } else {
        ReportProblem("box \"" + box.Name + "\" left out: " + fault + ".");
      }
    }
    CardSpeed = speed;
    ClockNs = 0;
    RealTimeIdle = true;
    InGrace = false;
    MaxSampleRate = DefaultMaxRate;
    PositionStart = 0;
    InstallTimeSource(now);
  }
  wave::ClearForcedResults();
  WakeUp();
}

// In fast mode the time of day runs on with the card's clock from `now`, the time the programs
// saw last, so that it never steps back while the card stays fast.
void TVirtualCard::InstallTimeSource(TDateTime now) {
  if (OwnsTimeSource) SetTimeSource(nullptr);
  OwnsTimeSource = CardSpeed == TSpeed::Fast;
  if (!OwnsTimeSource) return;
  TimeBaseDays = now - ClockNs.load() / NsPerDay;
  SetTimeSource([this] { return TimeBaseDays.load() + ClockNs.load() / NsPerDay; });
}

TSpeed TVirtualCard::Speed() {
  std::lock_guard lock(Mutex);
  return CardSpeed;
}

size_t TVirtualCard::BoxCount() {
  std::lock_guard lock(Mutex);
  return Boxes.size();
}

bool TVirtualCard::WithBox(size_t box, const std::function<void(TVirtualBox&)>& action) {
  {
    std::lock_guard lock(Mutex);
    if (box >= Boxes.size()) return false;
    action(*Boxes[box]);
  }
  WakeUp();
  return true;
}

void TVirtualCard::SetMaxRate(uint32_t rate) {
  std::lock_guard lock(Mutex);
  MaxSampleRate = std::max<uint32_t>(rate, 8000);
}

void TVirtualCard::SetPositionStart(uint32_t start) {
  std::lock_guard lock(Mutex);
  PositionStart = start;
}

void TVirtualCard::ClearSettings() {
  {
    std::lock_guard lock(Mutex);
    MaxSampleRate = DefaultMaxRate;
    PositionStart = 0;
    for (const auto& box : Boxes) {
      box->SynchronousOutput = false;
      box->PendingLoss = 0;
      for (const TPort port : {TPort::Input, TPort::Output}) {
        TPortSlot& slot = box->Slot(port);
        slot.Vanished = false;
        slot.ReturnDelayNs = 0;
        if (slot.Stream) slot.Stream->SetReturnDelay(0);
      }
    }
  }
  wave::ClearForcedResults();
  WakeUp();
}

// ---- Ports ----

bool TVirtualCard::PortPresent(const TVirtualBox& box, TPort port) {
  std::lock_guard lock(Mutex);
  return !box.Removed && !box.Slot(port).Vanished;
}

bool TVirtualCard::SynchronousOutput(const TVirtualBox& box) {
  std::lock_guard lock(Mutex);
  return box.SynchronousOutput;
}

uint32_t TVirtualCard::MaxRate() {
  std::lock_guard lock(Mutex);
  return MaxSampleRate;
}

MMRESULT TVirtualCard::Attach(TVirtualBox& box, TPort port,
                              const std::shared_ptr<wave::TWaveStream>& stream) {
  {
    std::lock_guard lock(Mutex);
    TPortSlot& slot = box.Slot(port);
    if (box.Removed || slot.Vanished) return MMSYSERR_NODRIVER;
    if (slot.Stream) return MMSYSERR_ALLOCATED;
    slot = TPortSlot{stream, false, slot.ReturnDelayNs, 0, false};
    stream->SetPositionStart(PositionStart);
    stream->SetReturnDelay(slot.ReturnDelayNs);
    if (port == TPort::Input && box.PendingLoss) {
      stream->LoseFrames(box.PendingLoss);
      box.PendingLoss = 0;
    }
    stream->SetWakeUp([this] { WakeUp(); });
  }
  WakeUp();
  return MMSYSERR_NOERROR;
}

void TVirtualCard::Detach(TVirtualBox& box, TPort port, const wave::TWaveStream& stream) {
  {
    std::lock_guard lock(Mutex);
    TPortSlot& slot = box.Slot(port);
    if (slot.Stream.get() == &stream) slot.Stream.reset();
    box.NoteClosed();
  }
  WakeUp();
}

// ---- The card's thread ----

void TVirtualCard::WakeUp() {
  {
    std::lock_guard lock(WakeMutex);
    ++WakeCount;
  }
  WakeSignal.notify_all();
}

void TVirtualCard::Loop() {
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard lock(WakeMutex);
      if (Quit) return;
      seen = WakeCount;
    }
    TSteady::time_point until;
    const TNext next = Step(until);
    if (next == TNext::Again) continue;
    std::unique_lock lock(WakeMutex);
    const auto changed = [&] { return Quit || WakeCount != seen; };
    if (next == TNext::WaitChange) {
      WakeSignal.wait(lock, changed);
    } else {
      WakeSignal.wait_until(lock, until, changed);
    }
  }
}

TVirtualCard::TNext TVirtualCard::Step(TSteady::time_point& until) {
  std::lock_guard lock(Mutex);
  return CardSpeed == TSpeed::Fast ? StepFast(until) : StepRealTime(until);
}

TVirtualCard::TNext TVirtualCard::StepRealTime(TSteady::time_point& until) {
  const bool active = std::any_of(Boxes.begin(), Boxes.end(), [](auto& b) { return b->Active(); });
  if (!active) {
    RealTimeIdle = true;
    return TNext::WaitChange;
  }
  const auto now = TSteady::now();
  const auto clock = std::chrono::nanoseconds(ClockNs.load());
  if (RealTimeIdle) {
    WallAtZero = now - clock;
    RealTimeIdle = false;
  }
  const auto due = WallAtZero + clock + std::chrono::nanoseconds(StepNs);
  if (now < due) {
    until = due;
    return TNext::WaitUntil;
  }
  // Steps missed for a moment are caught up; after a long stall the card does not rush.
  if (now - due > FarBehind) WallAtZero = now - clock - std::chrono::nanoseconds(StepNs);
  RunTo(ClockNs + StepNs);
  return TNext::Again;
}

TVirtualCard::TNext TVirtualCard::StepFast(TSteady::time_point& until) {
  PaceInputs.clear();
  PaceSlots.clear();
  for (const auto& box : Boxes) {
    for (const TPort port : {TPort::Input, TPort::Output}) {
      TPortSlot& slot = box->Slot(port);
      if (!slot.Stream) continue;
      const wave::TDemand demand = slot.Stream->Demand();
      if (demand.Additions != slot.SeenAdditions) {
        slot.SeenAdditions = demand.Additions;
        slot.Waived = false;
      }
      PaceInputs.push_back({demand, slot.Waived});
      PaceSlots.push_back(&slot);
    }
  }
  const TPace pace = PaceFast(ClockNs, PaceInputs);
  if (pace.Kind != TPaceKind::Grace) InGrace = false;
  if (pace.Kind == TPaceKind::Advance) {
    RunTo(pace.EndNs);
    return TNext::Again;
  }
  if (pace.Kind == TPaceKind::Wait) return TNext::WaitChange;
  const auto now = TSteady::now();
  if (!InGrace) {
    InGrace = true;
    GraceStart = now;
  }
  if (now - GraceStart >= std::chrono::nanoseconds(GraceNs)) {
    for (const size_t i : pace.Low) PaceSlots[i]->Waived = true;
    InGrace = false;
    return TNext::Again;
  }
  until = GraceStart + std::chrono::nanoseconds(GraceNs);
  return TNext::WaitUntil;
}

// The clock shows the step's end before the boxes run it: a buffer the step returns is seen by
// its program at once, and must never find the card's time (or the time of day that follows it
// in fast mode) still before the moment the buffer was filled.
void TVirtualCard::RunTo(uint64_t endNs) {
  const uint64_t start = ClockNs;
  ClockNs = endNs;
  for (const auto& box : Boxes) box->Run(start, endNs);
}

} // namespace platform::vmbox
