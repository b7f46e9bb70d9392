#include "platform/src/uWaveStream.h"

#include <algorithm>
#include <atomic>

namespace platform::wave {
namespace {

// Other threads may poll dwFlags while the driver changes it, so flags are read and written
// atomically (release on write: the data and dwBytesRecorded are complete before DONE shows).
DWORD LoadFlags(WAVEHDR* header) {
  return std::atomic_ref<DWORD>(header->dwFlags).load(std::memory_order_acquire);
}

void StoreFlags(WAVEHDR* header, DWORD flags) {
  std::atomic_ref<DWORD>(header->dwFlags).store(flags, std::memory_order_release);
}

} // namespace

TWaveStream::TWaveStream(TDirection direction, const WAVEFORMATEX& format, TNotifier notifier,
                         void* handle)
    : Dir(direction), Fmt(format), Layout{format.nChannels, format.wBitsPerSample},
      Notifier(notifier), Handle(handle), Queue(format.nBlockAlign) {}

// ---- Front end ----

void TWaveStream::Open() {
  std::lock_guard lock(Mutex);
  Live = true;
  Notifier.Send(TNotice::Open, Handle, nullptr);
}

MMRESULT TWaveStream::Close() {
  std::unique_lock lock(Mutex);
  if (!Live || Closed) return MMSYSERR_INVALHANDLE;
  if (!Queue.Empty() || !Late.empty()) return WAVERR_STILLPLAYING;
  Closed = true;
  Notifier.Send(TNotice::Close, Handle, nullptr);
  return Changed(lock);
}

MMRESULT TWaveStream::Prepare(WAVEHDR* header) {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  const DWORD flags = LoadFlags(header);
  if (flags & WHDR_PREPARED) return MMSYSERR_NOERROR;
  // A buffer must hold at least one frame, so no queue can spin on empty buffers.
  if (!header->lpData || header->dwBufferLength < Fmt.nBlockAlign) return MMSYSERR_INVALPARAM;
  StoreFlags(header, flags | WHDR_PREPARED);
  ++PreparedCount;
  return Changed(lock);
}

MMRESULT TWaveStream::Unprepare(WAVEHDR* header) {
  std::unique_lock lock(Mutex);
  if (!Live || Closed) return MMSYSERR_INVALHANDLE;
  const DWORD flags = LoadFlags(header);
  if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (!(flags & WHDR_PREPARED)) return MMSYSERR_NOERROR;
  StoreFlags(header, flags & ~WHDR_PREPARED);
  if (PreparedCount) --PreparedCount;
  return Changed(lock);
}

MMRESULT TWaveStream::Add(WAVEHDR* header) {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  const DWORD flags = LoadFlags(header);
  if (!(flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  StoreFlags(header, (flags | WHDR_INQUEUE) & ~WHDR_DONE);
  Queue.Add(header);
  ++AddCount;
  return Changed(lock);
}

MMRESULT TWaveStream::Start() {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  Started = true;
  return Changed(lock);
}

MMRESULT TWaveStream::Stop() {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  Started = false;
  // Buffers already finished but held back come first, then the partly filled one.
  while (!Late.empty()) {
    Deliver(Late.front().Header);
    Late.pop_front();
  }
  Done.clear();
  Queue.FinishPartial(Done);
  for (WAVEHDR* header : Done) Deliver(header);
  return Changed(lock);
}

MMRESULT TWaveStream::Pause() {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  Paused = true;
  return Changed(lock);
}

MMRESULT TWaveStream::Restart() {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  Paused = false;
  return Changed(lock);
}

MMRESULT TWaveStream::Reset() {
  std::unique_lock lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  Started = false;
  Paused = false;
  ReturnEverything();
  return Changed(lock);
}

MMRESULT TWaveStream::Position(MMTIME& time) {
  std::lock_guard lock(Mutex);
  if (const MMRESULT result = Usable()) return result;
  // 64-bit arithmetic, then the low 32 bits: every form wraps at 2^32 like the original.
  const uint64_t frames = PositionStart + Frames;
  switch (time.wType) {
  case TIME_BYTES: time.u.cb = static_cast<DWORD>(frames * Fmt.nBlockAlign); break;
  case TIME_MS: time.u.ms = static_cast<DWORD>(frames * 1000 / Fmt.nSamplesPerSec); break;
  default: // formats a wave device cannot give are answered in samples, as drivers do
    time.wType = TIME_SAMPLES;
    time.u.sample = static_cast<DWORD>(frames);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT TWaveStream::Usable() const {
  if (!Live || Closed) return MMSYSERR_INVALHANDLE;
  if (Vanished) return MMSYSERR_NODRIVER;
  return MMSYSERR_NOERROR;
}

// Tells the back end after a successful change, outside the lock.
MMRESULT TWaveStream::Changed(std::unique_lock<std::mutex>& lock) {
  const auto wakeUp = WakeUp;
  lock.unlock();
  if (wakeUp) wakeUp();
  return MMSYSERR_NOERROR;
}

// ---- Back end ----

void TWaveStream::SetWakeUp(std::function<void()> wakeUp) {
  std::lock_guard lock(Mutex);
  WakeUp = std::move(wakeUp);
}

void TWaveStream::SetPositionStart(uint32_t start) {
  std::lock_guard lock(Mutex);
  PositionStart = start;
}

void TWaveStream::SetReturnDelay(uint64_t delayNs) {
  std::lock_guard lock(Mutex);
  ReturnDelayNs = delayNs;
}

void TWaveStream::LoseFrames(uint64_t frames) {
  std::lock_guard lock(Mutex);
  FramesToLose += frames;
}

void TWaveStream::Record(const double* stereo, size_t frames, uint64_t nowNs) {
  std::lock_guard lock(Mutex);
  if (!Live || Closed || Vanished || !Started) return;
  Frames += frames;
  size_t next = static_cast<size_t>(std::min<uint64_t>(FramesToLose, frames));
  FramesToLose -= next;
  Done.clear();
  while (next < frames) {
    const TSpan space = Queue.FreeSpace(Done);
    if (!space.Frames) break;
    const size_t count = std::min(space.Frames, frames - next);
    pcm::EncodeStereo(stereo + 2 * next, count, Layout, space.Data);
    Queue.Recorded(count, Done);
    next += count;
  }
  Finish(Done, nowNs);
}

void TWaveStream::Play(double* stereo, size_t frames, uint64_t nowNs) {
  std::lock_guard lock(Mutex);
  size_t next = 0;
  Done.clear();
  if (Live && !Closed && !Vanished && !Paused) {
    while (next < frames) {
      const TSpan data = Queue.NextToPlay(Done);
      if (!data.Frames) break;
      const size_t count = std::min(data.Frames, frames - next);
      pcm::DecodeToStereo(data.Data, count, Layout, stereo + 2 * next);
      Queue.Played(count, Done);
      next += count;
    }
    Frames += next;
  }
  std::fill(stereo + 2 * next, stereo + 2 * frames, 0.0);
  Finish(Done, nowNs);
}

void TWaveStream::DeliverDue(uint64_t nowNs) {
  std::lock_guard lock(Mutex);
  while (!Late.empty() && Late.front().DueNs <= nowNs) {
    Deliver(Late.front().Header);
    Late.pop_front();
  }
}

void TWaveStream::Vanish(std::string detail) {
  Failure.Note(std::move(detail));
  std::lock_guard lock(Mutex);
  ReturnEverything();
  Vanished = true;
  Started = false;
}

TDemand TWaveStream::Demand() const {
  std::lock_guard lock(Mutex);
  TDemand demand;
  demand.Input = Dir == TDirection::In;
  const bool usable = Live && !Closed && !Vanished;
  demand.Running = usable && (demand.Input ? Started : !Paused);
  demand.Frames = demand.Input ? Queue.CaptureRoom() : Queue.PlayableFrames();
  demand.ExpectsMore = PreparedCount > Queue.Count() + Late.size();
  demand.LatePending = !Late.empty();
  demand.LoseFrames = FramesToLose;
  demand.Additions = AddCount;
  demand.Rate = Rate();
  return demand;
}

// Finished buffers go back at once, or after the return delay; once one waits, later ones
// queue behind it so that the order is kept.
void TWaveStream::Finish(TDoneList& done, uint64_t nowNs) {
  for (WAVEHDR* header : done) {
    if (ReturnDelayNs == 0 && Late.empty()) {
      Deliver(header);
    } else {
      Late.push_back({header, nowNs + ReturnDelayNs});
    }
  }
  done.clear();
}

void TWaveStream::Deliver(WAVEHDR* header) {
  StoreFlags(header, (LoadFlags(header) & ~WHDR_INQUEUE) | WHDR_DONE);
  Notifier.Send(TNotice::Done, Handle, header);
}

void TWaveStream::ReturnEverything() {
  while (!Late.empty()) {
    Deliver(Late.front().Header);
    Late.pop_front();
  }
  Done.clear();
  Queue.TakeAll(Done);
  for (WAVEHDR* header : Done) Deliver(header);
  Done.clear();
}

} // namespace platform::wave
