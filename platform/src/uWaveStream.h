#pragma once
// One open waveform device: its format, notices, queue, position and state, shared by the front
// end (the API calls of the program's threads) and the back end that moves the samples (its own
// thread). Every call takes the stream's lock; notices are sent under it, so they leave in the
// order in which things happened: open first, buffers in queue order, close last.
//
// Front-end calls get arguments the front end has already checked (non-null headers of the right
// size). Back ends call Record / Play with full-scale stereo doubles; the PCM conversion is done
// here for all of them.

#include "platform/mmsystem.h"
#include "platform/src/uNativeDetail.h"
#include "platform/src/uPcm.h"
#include "platform/src/uWaveNotifier.h"
#include "platform/src/uWaveQueue.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace platform::wave {

// What a back end needs to know to pace itself.
struct TDemand {
  bool Input = false;
  bool Running = false;     // input started / output not paused (and the device usable)
  uint64_t Frames = 0;      // room left in the capture queue / frames left to play
  bool ExpectsMore = false; // the program holds prepared buffers it has not queued
  bool LatePending = false; // finished buffers wait for a delayed return
  uint64_t LoseFrames = 0;  // capture frames still to be thrown away
  uint64_t Additions = 0;   // buffers queued since the open (changes when the program hands back)
  double Rate = 0;
};

class TWaveStream {
public:
  TWaveStream(TDirection direction, const WAVEFORMATEX& format, TNotifier notifier, void* handle);
  TWaveStream(const TWaveStream&) = delete;
  TWaveStream& operator=(const TWaveStream&) = delete;

  TDirection Direction() const { return Dir; }
  const WAVEFORMATEX& Format() const { return Fmt; }
  double Rate() const { return Fmt.nSamplesPerSec; }

  // ---- Front end ----
  void Open(); // makes the stream live and sends the open notice
  MMRESULT Close();
  MMRESULT Prepare(WAVEHDR* header);
  MMRESULT Unprepare(WAVEHDR* header);
  MMRESULT Add(WAVEHDR* header);
  MMRESULT Start();   // capture
  MMRESULT Stop();    // capture
  MMRESULT Pause();   // playback
  MMRESULT Restart(); // playback
  MMRESULT Reset();
  MMRESULT Position(MMTIME& time);

  // ---- Back end ----
  void SetWakeUp(std::function<void()> wakeUp); // called after every change by the program
  void SetPositionStart(uint32_t start);
  void SetReturnDelay(uint64_t delayNs);
  void LoseFrames(uint64_t frames);
  // Capture: the device recorded `frames` stereo frames at clock time nowNs. Frames without a
  // queued buffer are lost, as on a card whose program falls behind.
  void Record(const double* stereo, size_t frames, uint64_t nowNs);
  // Playback: fills `frames` stereo frames with what the device plays (silence where nothing
  // is queued or it is paused).
  void Play(double* stereo, size_t frames, uint64_t nowNs);
  void DeliverDue(uint64_t nowNs); // returns delayed buffers that are due
  // The device has gone: everything queued comes back. `detail`: why, in the back end's own
  // terms, for the handle's native error.
  void Vanish(std::string detail = {});
  TDemand Demand() const;

  // The native detail of the handle's failure (empty while nothing failed natively).
  std::string NativeDetail() const { return Failure.Get(); }

private:
  struct TLateReturn {
    WAVEHDR* Header;
    uint64_t DueNs;
  };

  MMRESULT Usable() const;
  MMRESULT Changed(std::unique_lock<std::mutex>& lock);
  void Finish(TDoneList& done, uint64_t nowNs);
  void Deliver(WAVEHDR* header);
  void ReturnEverything();

  const TDirection Dir;
  const WAVEFORMATEX Fmt;
  const pcm::TLayout Layout;
  const TNotifier Notifier;
  void* const Handle;
  TNativeDetail Failure;

  mutable std::mutex Mutex;
  TWaveQueue Queue;
  std::deque<TLateReturn> Late;
  TDoneList Done; // scratch, reused so that no block allocates
  std::function<void()> WakeUp;
  bool Live = false;
  bool Closed = false;
  bool Vanished = false;
  bool Started = false; // capture
  bool Paused = false;  // playback
  uint64_t Frames = 0;
  uint32_t PositionStart = 0;
  uint64_t ReturnDelayNs = 0;
  uint64_t FramesToLose = 0;
  uint64_t PreparedCount = 0;
  uint64_t AddCount = 0;
};

} // namespace platform::wave
