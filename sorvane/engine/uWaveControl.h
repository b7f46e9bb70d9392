#pragma once
// The blocks that carry samples through Sorvane, the frequency-to-bin mapping of the whole
// analysis, and TWaveControl: the worker thread behind each waveform device, with its ring of ten
// page-aligned buffers and the auto-reset event that the driver signals at open, at every
// returned buffer and at close.
//
// Thread life of a device: idle (suspended) --Prepare--> wsOpening --open notice--> wsRunning
// --Stop--> wsStopping --CloseDevice--> wsClosing --close notice--> buffers released, idle again.
// Idle() (from platform::TThread) is what a window waits for before the program ends.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/mmsystem.h"
#include "platform/thread.h"
#include "sorvane/engine/uShutdownCheck.h"

namespace sorvane {

// One channel's block of samples (full scale = 1) or, after analysis, its packed spectrum.
using TChannelData = std::vector<double>;
// Index 0 is the left channel, 1 the right one; both have the same length.
using TWaveData = std::array<TChannelData, 2>;

// One interleaved stereo frame as the device plays it.
struct TStereoFrame {
  int16_t Left;
  int16_t Right;
};
static_assert(sizeof(TStereoFrame) == 4, "a stereo frame is two 16-bit samples");
using TBufferData = std::vector<TStereoFrame>;

// Round(f*n/fs), half to even, then at least 1 and at most n div 2 - 1 (the bins that every
// consumer of a packed spectrum reads). A frequency that is not a number counts as 0.
int FrequencyToBin(int n, double frequency, double sampleRate);

// Sets both channels to length n (new samples zero) when channel 0 has another length.
void SetWaveLength(TWaveData& wave, size_t n);

// Copies each channel of source into the front of the same channel of dest. Never writes past
// the end of dest: a shorter dest receives only what fits.
void CopyWave(const TWaveData& source, TWaveData& dest);

enum TWaveState : uint8_t { wsOpening = 0, wsRunning = 1, wsStopping = 2, wsClosing = 3 };

constexpr int BufferCount = 10;

class TWaveControl : public platform::TThread {
public:
  TWaveControl();
  // Stops the program with a message when the leaf's destructor did not call Shutdown().
  ~TWaveControl() override;

  // Format and device settings; ignored while the device runs.
  void SetDeviceID(UINT id);
  void SetSampleRate(DWORD rate);
  DWORD SampleRate() const { return Format.nSamplesPerSec; }
  UINT DeviceNumber() const { return DeviceID; }

  int FrequencyToBin(int n, double frequency) const;

  // Asks a running device to stop; the thread resets, closes and goes idle on its own.
  void Stop();

  // Receives the text of a failed open, on the thread that called Start.
  std::function<void(const std::string& text)> OnError;
  // Receives "The input device N is no longer available." (or output) on the main thread, once
  // per run, when the device went away while running: nothing more is recorded or played.
  std::function<void(const std::string& text)> OnLost;

  // Bytes per buffer: about 100 ms of audio rounded down to whole pages, at least one page.
  static DWORD BufferBytes(DWORD rate, WORD blockAlign, DWORD pageSize);

protected:
  // Every leaf class calls this first in its destructor, while its overrides still exist: it
  // stops a running device, waits until the thread has closed it and ends the thread. The base
  // destructor checks that it ran, and the first call checks that it came from the class the
  // device ran as (TShutdownCheck).
  void Shutdown();

  void UpdateFormat();
  void AllocateBuffers();
  // Start's first step: true when an idle device was made ready to open, false when it runs.
  bool Prepare();
  // True when the device is idle or becomes idle within the stop time-out (a stop that is still
  // in progress is waited for, so that a Start right after a Stop is not lost).
  bool AwaitIdleForStart();
  // Waits until the thread has handled the open notice (DeviceOpened has run).
  void AwaitOpened() const;
  // The open failed with `result` (and the driver's native `detail`, waveInGetNativeError /
  // waveOutGetNativeError): the thread releases the buffers and goes idle again; then
  // ReportError.
  void FailOpen(const std::string& text, MMRESULT result, const std::string& detail);
  // OnError, when assigned, with the text followed by the device number, by what `result`
  // means and what to try, and by the native detail in brackets where there is one.
  void ReportError(const std::string& text, MMRESULT result, const std::string& detail = {}) const;
  // On the device thread, after a call on the running device answered MMSYSERR_NODRIVER: the
  // first time in a run, OnLost synchronised with the main thread. `port` is "input" or "output".
  void ReportLost(const char* port);
  // wsOpening/wsRunning -> wsStopping; true when the caller must reset the device.
  bool RequestStop();
  // Buffers that the driver has returned and the thread has not queued again (any thread may ask
  // while the device runs).
  int ReturnedBuffers() const;
  // dwFlags as the driver last stored it.
  static DWORD HeaderFlags(const WAVEHDR& header);

  virtual void ReleaseBuffers();
  virtual void CloseEvent();
  virtual void ProcessBuffer(WAVEHDR& header) = 0;
  virtual void CloseDevice();
  virtual void ResetDevice() = 0;
  // The driver's open notice arrived; the playback device queues its first buffers here.
  virtual void DeviceOpened() {}

  void Execute() override;
  void TerminatedSet() override;

  int Current = 0;
  UINT DeviceID = 0;
  WAVEFORMATEX Format{};
  std::array<WAVEHDR, BufferCount> Headers{};
  int Position = 0;
  HANDLE Event = nullptr;
  std::atomic<TWaveState> State{wsOpening};

private:
  void ProcessReturnedBuffers();
  void GoIdle();
  bool WaitUntilIdle(unsigned timeoutMs) const;

  // Buffers are allocated (from Prepare until the thread has released them); a thread asked to
  // terminate ends only when this is false, so a device is never left open or its memory lost.
  std::atomic<bool> Active{false};
  // ReportLost has reported this run (cleared by Prepare).
  std::atomic<bool> LostReported{false};
  TShutdownCheck ShutdownCheck{"TWaveControl"};
};

} // namespace sorvane
