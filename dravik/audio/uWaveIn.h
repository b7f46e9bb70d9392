#pragma once
// The capture side of the sound card: finds a usable input device, settles a PCM format with the
// driver, keeps a set of capture buffers queued behind a "false buffer" whose samples are thrown
// away, turns every filled buffer into a block of full-scale values, checks each channel's level
// and hands the block to its consumer. It watches the device position and restarts the capture
// cleanly when samples were lost. Everything runs on the user-interface thread; the driver
// reports to the object's hidden window. Its states, and the Boolean fields each of them implies,
// are in uCaptureState.h; Active (of the base) follows the state and only Apply writes it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dravik/audio/uCaptureState.h"
#include "dravik/audio/uCommon.h"
#include "dravik/audio/uPcmCodes.h"

namespace dravik {

// An event that only tells who raised it.
using TNotifyEvent = std::function<void(void* Sender)>;
// The block consumer: true asks the capture to stop.
using TDataEvent = std::function<bool(TDataMatrix& Block)>;
// A level callback with the channel number: true drops the block.
using TChannelEvent = std::function<bool(int32_t Channel)>;

// True when the device position P has passed E, both counted modulo 2^32: positions more than
// 2^31 - 1 apart are compared after both are moved on by 2^31 - 1, so a count that has just
// wrapped still counts as ahead.
bool PositionIsAhead(uint32_t P, uint32_t E);

class TWaveIn : public TMMWinControl {
public:
  // Selects the first usable device and negotiates its format; Ok tells whether a format was
  // found. The owner, when given, deletes the object with itself.
  TWaveIn(QObject* AOwner, TLogEvent AOnLog, bool& Ok);
  // Closes the device and waits (pumping messages) until it has closed.
  ~TWaveIn() override;
  TWaveIn(const TWaveIn&) = delete;
  TWaveIn& operator=(const TWaveIn&) = delete;

  HWAVEIN Handle = nullptr;   // the open device
  WAVEINCAPSA Caps{};         // the device last queried
  WAVEFORMATEX Format{};      // rate, bits and channels kept current; the rest by CompleteFormat
  MMTIME Position{};          // for waveInGetPosition, in samples
  uint32_t FalseFrames = 0;   // frames of the false buffer
  WAVEHDR FalseHeader{};
  uint32_t BlockSize = 1024;  // frames per capture buffer and per block
  std::vector<WAVEHDR> Headers;
  uint32_t BufferCount = 2;
  int32_t QueuedCount = 0;    // capture buffers with the driver (the false buffer not counted)
  uint32_t ExpectedPosition = 0; // device position beyond which the queue runs dry (mod 2^32)
  TDataEvent OnData;
  TNotifyEvent OnStart;
  TNotifyEvent OnStop;
  TNotifyEvent OnFailed;      // Open failed: no run started, and OnStop will not follow
  TNotifyEvent OnStateChange; // after every change of State(); must not call the device back
  TChannelEvent OnOverload;   // peak above 0.99
  TChannelEvent OnLowLevel;   // peak below 0.45
  TSampleReader Reader = nullptr;
  TDataMatrix Block;          // lent to OnData only for the duration of the call
  uint32_t OpenFlags = CALLBACK_WINDOW;

  bool IsUsable(int32_t Device);
  void SelectDevice(int32_t Device);
  uint32_t DeviceCount() const;
  std::string DeviceName(int32_t Device);
  uint32_t Channels() const { return Format.nChannels; }
  uint32_t SampleRate() const { return Format.nSamplesPerSec; }
  uint32_t Bits() const { return Format.wBitsPerSample; }
  void SetSampleRate(uint32_t Rate);
  void SetBits(uint32_t Bits);
  void SetBlockSize(uint32_t Frames);
  std::string FormatText() const { return FormatDescription(Format); }
  std::string ErrorText() const;

  void Open();
  void Close();
  void Invalidate();
  TCaptureState State() const { return CaptureState; }
  bool Resync() const { return FlagsOf(CaptureState).Resync; }     // a restart is pending
  bool Stopping() const { return FlagsOf(CaptureState).Stopping; } // buffers still coming back
  bool Probing() const { return FlagsOf(CaptureState).Probing; }   // a test open is in progress
  bool DeviceOpen() const { return FlagsOf(CaptureState).DeviceOpen; }
  // No device open, opening or closing: a run can start. Also true in ProbeClosing, while a test
  // open that has closed waits for its close notice.
  bool Idle() const { return !Active && !DeviceOpen(); }
  // Buffers the device has given back since the object was made, the false buffer included:
  // a count that stops moving during a run tells of a device that no longer delivers.
  uint64_t ReturnedBuffers() const { return FReturnedBuffers; }

protected:
  void HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::string NativeDetail() const override;

private:
  bool Succeeded(MMRESULT result);
  bool NegotiateFormat();
  void RaiseRate();
  bool Probe();
  static void PumpWhile(const std::function<bool()>& condition);
  void OpenNotice();
  void DataNotice(WPARAM device, WAVEHDR* header);
  void CloseNotice();
  bool AllocateBuffers();
  bool PrepareBuffers();
  bool AddBuffers();
  bool StartCapture();
  void RebaseExpectedPosition();
  bool DataMayBeLost(const WAVEHDR& header);
  void ConvertBuffer(const WAVEHDR& header);
  bool LevelsDropBlock();
  void Requeue(WAVEHDR& header);
  void FinishPause();
  bool ReleaseBuffers();
  void ForceRelease();
  uint32_t Margin() const { return Format.nSamplesPerSec / 256 + 2; }
  // The only place where the state, and with it Active, changes.
  void Apply(TCaptureEvent Event);

  TCaptureState CaptureState = TCaptureState::Idle;
  bool LevelChanged = false; // Invalidate ran since the level callbacks of a block began
  uint64_t FReturnedBuffers = 0;
};

} // namespace dravik
