#pragma once
// The playback device. It finds a usable waveform output, settles a PCM format with the driver,
// and plays a test-signal table without end: when the device opens, the table is converted
// into two output buffers that are queued as one endless loop, and every buffer the driver hands
// back is written again unchanged until playback stops. Everything runs on the GUI thread: the
// driver posts its notices to the object's hidden window.

#include <cstdint>
#include <string>
#include <vector>

#include "dravik/audio/uCommon.h"
#include "dravik/audio/uTestSignals.h"
#include "platform/mmsystem.h"

namespace dravik {

class TWaveOut : public TMMWinControl {
public:
  // Selects the first usable device and settles its format; Ok tells whether that worked.
  TWaveOut(TLogEvent onLog, bool& Ok);
  // Stops playback and waits (pumping messages) until the device has closed.
  ~TWaveOut() override;
  TWaveOut(const TWaveOut&) = delete;
  TWaveOut& operator=(const TWaveOut&) = delete;

  // The device's capabilities can be read (into Caps) and it offers at least one format.
  bool IsUsable(int32_t device);
  // Only while idle and for a usable device: takes it and settles its format.
  void SelectDevice(int32_t device);
  UINT DeviceCount() const;
  std::string DeviceName(int32_t device);

  WORD Channels() const { return FFormat.nChannels; }
  DWORD SampleRate() const { return FFormat.nSamplesPerSec; }
  WORD Bits() const { return FFormat.wBitsPerSample; }
  // Only while idle.
  void SetSampleRate(DWORD rate);
  void SetBits(WORD bits);
  std::string FormatText() const;
  // The driver's text for LastResult; empty when it is 0.
  std::string ErrorText() const;

  // Test signals (see uTestSignals.h): fill the table, then Open. While the device is open they
  // change nothing; a failure is reported and nothing is played.
  void MultiSin(int32_t HighestTone, int32_t Step, uint32_t Period);
  void Trapezium(long double RiseTime, long double FlatTime);
  // Opens the device; playback starts when the open notice arrives.
  void Open();
  // Stops playback and closes the device; finishes through the notices while buffers are out.
  void Stop();
  // A device is open (or being opened, stopped or closed): settings and signals must wait.
  bool Busy() const { return Active || FHandle != nullptr; }
  // The device could not be opened, the start in its open notice failed, or it refused a buffer
  // (it has gone): the sound has stopped, or never started, without being asked to.
  std::function<void(void* Sender)> OnFailed;

  HWAVEOUT Handle() const { return FHandle; }
  const WAVEOUTCAPSA& Caps() const { return FCaps; }
  const WAVEFORMATEX& Format() const { return FFormat; }
  // Frames in the signal table and in each output buffer: the period of the played signal.
  int32_t BufferFrames() const { return FBufferFrames; }
  const std::vector<WAVEHDR>& Headers() const { return FHeaders; }
  const TDataMatrix& Signal() const { return FSignal; }
  int32_t QueuedCount() const { return FQueuedCount; }
  bool Stopping() const { return FStopping; }
  bool Probing() const { return FProbing; }
  DWORD OpenFlags() const { return FOpenFlags; }

protected:
  void HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::string NativeDetail() const override;

private:
  bool NegotiateFormat();
  void RaiseRate();
  bool Probe();
  bool OpenDevice();
  void Play(TSignalTable&& table);

  void OnOpen();
  void OnDone(WAVEHDR* header);
  void OnClose();
  bool AllocateBuffers();
  bool QueueBuffer(size_t n);
  void StartFailed();
  bool ReleaseBuffers();
  int HeaderNumber(const WAVEHDR* header) const;

  void Abandon();
  void FreeIdleBuffers();

  WAVEOUTCAPSA FCaps{};
  WAVEFORMATEX FFormat{};
  int32_t FBufferFrames = 1024;
  std::vector<WAVEHDR> FHeaders;
  TDataMatrix FSignal;
  int32_t FQueuedCount = 0;
  bool FStopping = false;
  bool FProbing = false;
  DWORD FOpenFlags = CALLBACK_WINDOW;
  HWAVEOUT FHandle = nullptr;
  bool FStartFailed = false; // open, but the start inside the open notice failed
  bool FClosing = false;     // waveOutClose done, the close notice is still to come
  bool FDestroying = false;
};

} // namespace dravik
